// Dates and times of the settings file, read in the locales the program meets.
#include "platform/names.h"
#include "settings/valuecodec.h"

#include <QLocale>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static const QLocale locales[] = {QLocale(QStringLiteral("zh_CN")), QLocale(QStringLiteral("en_US")),
                                      QLocale::c(), QLocale(QStringLiteral("de_DE"))};
    const QLocale& locale = locales[data[0] % 4];
    const QString text =
        velquin::decodeLocal8(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));

    // Whatever reads as a date or time is written and read back unchanged.
    if (const auto date = velquin::settingsDateFromText(text, locale)) {
        if (!date->isValid() ||
            velquin::settingsDateFromText(velquin::settingsDateText(*date, locale), locale) != date)
            std::abort();
    }
    if (const auto time = velquin::settingsTimeFromText(text, locale)) {
        if (!time->isValid() ||
            velquin::settingsTimeFromText(velquin::settingsTimeText(*time, locale), locale) != time)
            std::abort();
    }
    (void)velquin::settingsIntegerFromText(text);
    (void)velquin::splitPatternList(text);
    return 0;
}

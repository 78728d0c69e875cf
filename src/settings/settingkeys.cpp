#include "settings/settingkeys.h"

#include "platform/fileops.h"
#include "platform/text.h"
#include "settings/valuecodec.h"
#include "settings/windowsettings.h"

namespace velquin {

std::optional<QString> readText(const StoredText& stored, const QLocale&) {
    return stored.value_or(QString());
}

QString writeText(const QString& text, const QLocale&) {
    return text;
}

QString writeTrimmed(const QString& text, const QLocale&) {
    return trimBlanks(text);
}

std::optional<QString> readExistingFolder(const StoredText& stored, const QLocale&) {
    const QString folder = stored.value_or(defaultOutputFolder());
    return !folder.isEmpty() && FileOps().isDir(folder) ? folder : QString();
}

std::optional<int> readInteger(const StoredText& stored, const QLocale&) {
    return (stored ? settingsIntegerFromText(*stored) : std::nullopt).value_or(0);
}

QString writeSwitch(const bool& on, const QLocale& locale) {
    return writeInteger(on ? 1 : 0, locale);
}

QString writeInteger(const int& value, const QLocale&) {
    return QString::number(value);
}

std::optional<ClashPolicy> readClashCode(const StoredText& stored, const QLocale& locale) {
    const int code = *readInteger(stored, locale);
    return code >= 0 && code < 5 ? ClashPolicy(code) : ClashPolicy::Skip;
}

QString writeClashCode(const ClashPolicy& policy, const QLocale& locale) {
    return writeInteger(int(policy), locale);
}

std::optional<QStringList> readPatternList(const StoredText& stored, const QLocale&) {
    return splitPatternList(stored.value_or(QString()));
}

QString writePatternList(const QStringList& patterns, const QLocale&) {
    return joinPatternList(patterns);
}

std::optional<QDate> readDate(const StoredText& stored, const QLocale& locale) {
    return stored ? settingsDateFromText(*stored, locale) : std::nullopt;
}

QString writeDate(const QDate& date, const QLocale& locale) {
    return settingsDateText(date, locale);
}

std::optional<QTime> readTime(const StoredText& stored, const QLocale& locale) {
    return stored ? settingsTimeFromText(*stored, locale) : std::nullopt;
}

QString writeTime(const QTime& time, const QLocale& locale) {
    return settingsTimeText(time, locale);
}

} // namespace velquin

// The settings file may hold anything; reading it must never crash, and a value written into
// it must read back as written, whatever else the file holds.
#include "memfile.h"
#include "platform/inifile.h"
#include "platform/names.h"
#include "platform/text.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is the file, optionally followed by a NUL and "section\x01key\x01value".
    const QByteArray all(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = all.lastIndexOf('\0');
    const QByteArray fileBytes = cut < 0 ? all : all.left(cut);
    const QList<QByteArray> parts = cut < 0 ? QList<QByteArray>() : all.mid(cut + 1).split('\x01');

    MemFile file(fileBytes);
    velquin::IniFile ini = velquin::IniFile::load(file.path());
    // Without a change the content is given back byte for byte.
    if (ini.bytes() != fileBytes)
        std::abort();
    if (parts.size() != 3)
        return 0;

    const QString section = velquin::decodeLocal8(parts[0]);
    const QString key = velquin::decodeLocal8(parts[1]);
    const QString value = velquin::decodeLocal8(parts[2]);
    const auto before = ini.value(section, key);
    if (!ini.setValue(section, key, value))
        return 0;

    MemFile written(ini.bytes());
    const velquin::IniFile reread = velquin::IniFile::load(written.path());
    const auto after = reread.value(section, key);
    if (!after)
        std::abort();
    // Values without surrounding blanks or quotes, within the length limit, read back exactly.
    const bool plain = velquin::trimBlanks(value) == value && !value.startsWith(QLatin1Char('"')) &&
                       !value.startsWith(QLatin1Char('\'')) &&
                       velquin::encodeLocal8(value).size() <= velquin::IniFile::kMaxValueBytes;
    if (plain && *after != value)
        std::abort();
    (void)before;
    return 0;
}

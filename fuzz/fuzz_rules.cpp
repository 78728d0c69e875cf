// Keyword lists, character ranges and the name filter work on names and typed texts.
#include "engine/rules.h"
#include "platform/names.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // Two control bytes pick the range; the rest is split into a name and a filter or keyword text.
    const int first = int(int8_t(data[0]));
    const int count = int(int8_t(data[1]));
    const QString rest =
        velquin::decodeLocal8(QByteArray(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2)));
    const qsizetype cut = rest.indexOf(QChar(0));
    const QString name = cut < 0 ? rest : rest.left(cut);
    const QString other = cut < 0 ? QString() : rest.mid(cut + 1);

    // The keyword list gives the typed text back when joined with its separator.
    const QStringList keys = velquin::buildKeywordList(other);
    if (keys.join(QLatin1Char(' ')) != other)
        std::abort();
    for (const QString& k : keys)
        (void)velquin::keywordMatches(k, name);

    const QString stretch = velquin::CopyByChars(name, first, count);
    if (stretch.size() > qMax(count, 0) || !name.contains(stretch))
        std::abort();

    const QString filtered = velquin::applyNameFilter(name, other);
    if (filtered.size() > name.size())
        std::abort();
    return 0;
}

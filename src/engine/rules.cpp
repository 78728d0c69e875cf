#include "engine/rules.h"

#include "platform/text.h"

#include <limits>

namespace velquin {

QStringList buildKeywordList(const QString& text) {
    return text.split(QLatin1Char(' '));
}

bool keywordMatches(const QString& keyword, const QString& name) {
    if (trimBlanks(keyword).isEmpty())
        return false;
    return asciiUpper(name).contains(asciiUpper(keyword));
}

QString CopyByChars(const QString& text, int first, int count) {
    constexpr qsizetype kRoom = 254;
    if (text.size() > kRoom || count < 0)
        return QString();
    qsizetype start = 0;
    if (first >= 1) {
        start = qsizetype(first) - 1;
        if (start >= text.size())
            return QString();
    }
    return text.mid(start, count);
}

QString CopyNameRange(const QString& name, int first, int last) {
    constexpr qint64 kLow = std::numeric_limits<int>::min();
    constexpr qint64 kHigh = std::numeric_limits<int>::max();
    const qint64 count = qint64(last) - first + 1;
    return CopyByChars(name, first, int(qBound(kLow, count, kHigh)));
}

QString applyNameFilter(const QString& name, const QString& filterText) {
    QString result = name;
    for (const QString& piece : filterText.split(QLatin1Char('*'))) {
        if (!piece.isEmpty())
            result.remove(piece, Qt::CaseSensitive);
    }
    return result;
}

} // namespace velquin

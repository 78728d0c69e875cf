#include "engine/rules.h"

#include "platform/text.h"

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

QString applyNameFilter(const QString& name, const QString& filterText) {
    QString result = name;
    for (const QString& piece : filterText.split(QLatin1Char('*'))) {
        if (!piece.isEmpty())
            result.remove(piece, Qt::CaseSensitive);
    }
    return result;
}

} // namespace velquin

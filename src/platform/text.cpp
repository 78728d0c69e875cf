#include "platform/text.h"

#include <cerrno>
#include <cstring>
#include <limits>

namespace velquin {

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QString asciiUpper(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(char16_t(u - (u'a' - u'A')));
    }
    return out;
}

namespace {

// Reads an integer of `bits` width; see the header for the accepted forms.
std::optional<qint64> parseInteger(const QString& text, int bits) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        hex = true;
        ++i;
    } else if (i < n && (text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;

    const quint64 unsignedMax = bits == 64 ? std::numeric_limits<quint64>::max() : quint64(0xFFFFFFFFu);
    const quint64 signedMax = bits == 64 ? quint64(std::numeric_limits<qint64>::max()) : quint64(0x7FFFFFFF);
    const quint64 base = hex ? 16 : 10;
    quint64 value = 0;
    for (; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        quint64 digit = 0;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (hex && u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (hex && u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else
            return std::nullopt;
        if (value > (unsignedMax - digit) / base)
            return std::nullopt;
        value = value * base + digit;
    }

    qint64 result = 0;
    if (hex) {
        // The full unsigned width is allowed and wraps to the negative half.
        if (bits == 64)
            result = qint64(value);
        else
            result = qint64(qint32(quint32(value)));
        if (negative)
            result = bits == 64 ? qint64(0 - quint64(result)) : qint64(qint32(0u - quint32(result)));
        return result;
    }
    if (negative) {
        if (value > signedMax + 1)
            return std::nullopt;
        return value == signedMax + 1 ? (bits == 64 ? std::numeric_limits<qint64>::min() : qint64(INT32_MIN))
                                      : -qint64(value);
    }
    if (value > signedMax)
        return std::nullopt;
    return qint64(value);
}

} // namespace

std::optional<qint32> parseInt32(const QString& text) {
    const auto v = parseInteger(text, 32);
    if (!v)
        return std::nullopt;
    return qint32(*v);
}

std::optional<qint64> parseInt64(const QString& text) {
    return parseInteger(text, 64);
}

QString systemReason(int error) {
    // The system's own texts are English wherever no Chinese locale is installed (C.UTF-8 in
    // containers and many minimal systems), so the reasons a run reports come from here.
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EROFS:
        return QStringLiteral("磁盘是只读的");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case EEXIST:
        return QStringLiteral("目标已存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case EISDIR:
        return QStringLiteral("目标是文件夹");
    case EMLINK:
    case ELOOP:
        return QStringLiteral("链接太多");
    case EIO:
        return QStringLiteral("读写错误");
    case EFBIG:
        return QStringLiteral("文件太大");
    case EXDEV:
        return QStringLiteral("不能跨磁盘操作");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace velquin

#include "platform/names.h"

namespace velquin {

namespace {

// Escaped bytes (always 0x80 to 0xFF) land on U+DC80 to U+DCFF.
constexpr char16_t kEscapeBase = 0xDC00;

// Length of the well-formed UTF-8 sequence starting at p (1 to 4), or 0 when it is not one.
int validSequenceLength(const unsigned char* p, qsizetype left, char32_t& cp) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    int len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString decodeLocal8(const QByteArray& bytes) {
    // Nearly every name is valid UTF-8: Qt's decoder is much faster, and a result without
    // U+FFFD proves there was nothing to escape (a real U+FFFD in the input takes the slow way).
    // Qt drops a leading byte-order mark, which is part of a name here.
    if (!bytes.startsWith("\xEF\xBB\xBF")) {
        QString fast = QString::fromUtf8(bytes);
        if (!fast.contains(QChar(QChar::ReplacementCharacter)))
            return fast;
    }
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        char32_t cp = 0;
        const int len = validSequenceLength(p + i, n - i, cp);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return out;
}

QByteArray encodeLocal8(const QString& text) {
    // Without any surrogate (escaped byte or pair) Qt's encoder gives the same bytes, faster.
    bool anySurrogate = false;
    for (const QChar c : text) {
        if (c.isSurrogate()) {
            anySurrogate = true;
            break;
        }
    }
    if (!anySurrogate)
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text.at(i).unicode();
        char32_t cp = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            cp = QChar::surrogateToUcs4(u, text.at(i + 1).unicode());
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.append(char(u - kEscapeBase));
            continue;
        } else if (QChar::isSurrogate(u)) {
            cp = 0xFFFD; // a lone surrogate that no byte came from
        }
        if (cp < 0x80) {
            out.append(char(cp));
        } else if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace velquin

#include "settings/valuecodec.h"

#include "platform/text.h"

namespace velquin {

namespace {

// Rewrites the letter fields of a date/time format outside its quoted literals: `field` is called
// with each run of one letter and returns its replacement.
template <class Replace> QString rewriteFields(const QString& format, Replace replace) {
    QString out;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            const qsizetype close = format.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype end = close < 0 ? format.size() : close + 1;
            out += format.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype run = i + 1;
        while (run < format.size() && format.at(run) == c)
            ++run;
        out += replace(format.mid(i, run - i));
        i = run;
    }
    return out;
}

const QString kIsoDate = QStringLiteral("yyyy-MM-dd");
const QString kIsoTime = QStringLiteral("HH:mm:ss");

} // namespace

std::optional<int> settingsIntegerFromText(const QString& text) {
    return parseInt32(text);
}

QString settingsDateFormat(const QLocale& locale) {
    return rewriteFields(locale.dateFormat(QLocale::ShortFormat), [](const QString& field) {
        return field.front() == QLatin1Char('y') && field.size() < 4 ? QStringLiteral("yyyy") : field;
    });
}

QString settingsTimeFormat(const QLocale& locale) {
    const QString format = rewriteFields(locale.timeFormat(QLocale::LongFormat), [](const QString& field) {
        return field.front() == QLatin1Char('t') ? QString() : field;
    });
    // The zone leaves its separating blank, or the brackets around it, behind.
    QString out = format;
    out.remove(QStringLiteral("()"));
    out = out.trimmed();
    while (out.contains(QStringLiteral("  ")))
        out.replace(QStringLiteral("  "), QStringLiteral(" "));
    return out;
}

QString settingsDateText(const QDate& date, const QLocale& locale) {
    const QString format = settingsDateFormat(locale);
    const QString text = locale.toString(date, format);
    if (locale.toDate(text, format) == date)
        return text;
    return date.toString(kIsoDate);
}

std::optional<QDate> settingsDateFromText(const QString& text, const QLocale& locale) {
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    QDate date = locale.toDate(trimmed, settingsDateFormat(locale));
    if (!date.isValid())
        date = QDate::fromString(trimmed, kIsoDate);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString settingsTimeText(const QTime& time, const QLocale& locale) {
    const QString format = settingsTimeFormat(locale);
    const QString text = locale.toString(time, format);
    if (locale.toTime(text, format) == time)
        return text;
    return time.toString(kIsoTime);
}

std::optional<QTime> settingsTimeFromText(const QString& text, const QLocale& locale) {
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    QTime time = locale.toTime(trimmed, settingsTimeFormat(locale));
    if (!time.isValid())
        time = QTime::fromString(trimmed, kIsoTime);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString joinPatternList(const QStringList& patterns) {
    QString out;
    for (const QString& pattern : patterns) {
        if (!pattern.isEmpty())
            out += pattern + QLatin1Char('|');
    }
    return out;
}

QStringList splitPatternList(const QString& text) {
    QStringList out;
    QString rest = text;
    for (qsizetype bar = rest.indexOf(QLatin1Char('|')); bar >= 0; bar = rest.indexOf(QLatin1Char('|'))) {
        if (bar > 0)
            out.append(rest.left(bar));
        rest.remove(0, bar + 1);
    }
    const QString last = trimBlanks(rest);
    if (!last.isEmpty())
        out.append(last);
    return out;
}

} // namespace velquin

#include "platform/photonames.h"

#include <QHash>
#include <QRegularExpression>

#include <array>

namespace velquin {

namespace {

std::optional<QDateTime> soundLocal(int y, int mo, int d, int h, int mi, int s, int ms) {
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid() || y < 1900 || y > 2200)
        return std::nullopt;
    return QDateTime(date, time, Qt::LocalTime);
}

// A sidecar's ending and which of its photo's names comes before it.
struct Ending {
    QLatin1StringView text;
    bool wholeName; // NAME.EXT + ending
    bool baseName;  // NAME + ending, the photo's extension left out
};

constexpr std::array<Ending, 4> kEndings = {{
    {QLatin1StringView(".xmp"), true, true},
    {QLatin1StringView(".aae"), false, true},
    {QLatin1StringView(".thm"), false, true},
    {QLatin1StringView(".json"), true, false},
}};

// The name without its extension; nullopt when it has none (a leading dot starts no extension).
std::optional<QString> withoutExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1)
        return std::nullopt;
    return name.left(dot);
}

const Ending* endingOf(const QString& fileName) {
    for (const Ending& e : kEndings) {
        if (fileName.size() <= e.text.size() || !fileName.endsWith(e.text, Qt::CaseInsensitive))
            continue;
        // A whole name alone (NAME.EXT.json) needs the photo's extension before the ending.
        if (!e.baseName && !withoutExtension(fileName.left(fileName.size() - e.text.size())))
            return nullptr;
        return &e;
    }
    return nullptr;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QDateTime> dateFromFileName(const QString& baseName) {
    // Each: year, month, day, then hour, minute, second and milliseconds where the name has them.
    static const std::array<QRegularExpression, 3> patterns = {
        // IMG_20240508_123456, VID_..., PXL_20240508_123456789, 20240508_123456
        QRegularExpression(
            QStringLiteral("(?<!\\d)(\\d{4})(\\d{2})(\\d{2})[_-](\\d{2})(\\d{2})(\\d{2})(\\d{3})?(?!\\d)")),
        // Screenshot_2024-05-08-12-34-56, 2024-05-08 12.34.56
        QRegularExpression(QStringLiteral(
            "(?<!\\d)(\\d{4})-(\\d{2})-(\\d{2})[ _-](\\d{2})[.:_-](\\d{2})[.:_-](\\d{2})(?!\\d)")),
        // IMG-20240508-WA0001: a messenger keeps the day only
        QRegularExpression(QStringLiteral("(?<!\\d)(\\d{4})(\\d{2})(\\d{2})-WA\\d"),
                           QRegularExpression::CaseInsensitiveOption),
    };
    for (const QRegularExpression& re : patterns) {
        for (auto it = re.globalMatch(baseName); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const auto num = [&m](int i) { return m.capturedLength(i) ? m.capturedView(i).toInt() : 0; };
            if (const auto when = soundLocal(num(1), num(2), num(3), num(4), num(5), num(6), num(7)))
                return when;
        }
    }
    return std::nullopt;
}

std::optional<QString> sidecarStem(const QString& fileName) {
    const Ending* e = endingOf(fileName);
    if (!e)
        return std::nullopt;
    return fileName.left(fileName.size() - e->text.size());
}

bool isSidecarOf(const QString& sidecarName, const QString& photoName) {
    const Ending* e = endingOf(sidecarName);
    if (!e || endingOf(photoName))
        return false;
    const QString stem = sidecarName.left(sidecarName.size() - e->text.size());
    if (e->wholeName && sameName(stem, photoName))
        return true;
    const std::optional<QString> base = withoutExtension(photoName);
    return e->baseName && base && sameName(stem, *base);
}

std::vector<qsizetype> sidecarPhotos(const QStringList& paths) {
    std::vector<qsizetype> photoOf(size_t(paths.size()), -1);
    const auto split = [](const QString& path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        return std::pair(path.left(slash + 1), path.mid(slash + 1));
    };
    // Folder as written, then the name with letter case folded: one key per photo name.
    const auto key = [](const QString& folder, const QString& name) -> QString {
        return folder + QChar(0) + name.toCaseFolded();
    };
    QHash<QString, qsizetype> byWhole;
    QHash<QString, qsizetype> byBase;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const auto [folder, name] = split(paths[i]);
        if (endingOf(name))
            continue;
        byWhole.insert(key(folder, name), i);
        if (const std::optional<QString> base = withoutExtension(name);
            base && !byBase.contains(key(folder, *base)))
            byBase.insert(key(folder, *base), i);
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const auto [folder, name] = split(paths[i]);
        const Ending* e = endingOf(name);
        if (!e)
            continue;
        const QString k = key(folder, name.left(name.size() - e->text.size()));
        if (e->wholeName && byWhole.contains(k))
            photoOf[size_t(i)] = byWhole.value(k);
        else if (e->baseName && byBase.contains(k))
            photoOf[size_t(i)] = byBase.value(k);
    }
    return photoOf;
}

std::optional<QString> sidecarNameAfterRename(const QString& sidecarName, const QString& oldPhotoName,
                                              const QString& newPhotoName) {
    if (!isSidecarOf(sidecarName, oldPhotoName))
        return std::nullopt;
    const Ending* e = endingOf(sidecarName);
    const QString ending = sidecarName.right(e->text.size());
    const QString stem = sidecarName.left(sidecarName.size() - e->text.size());
    if (e->wholeName && sameName(stem, oldPhotoName))
        return newPhotoName + ending;
    return withoutExtension(newPhotoName).value_or(newPhotoName) + ending;
}

} // namespace velquin

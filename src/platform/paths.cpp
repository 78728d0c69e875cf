#include "platform/paths.h"

namespace velquin {

namespace {
qsizetype lastSeparator(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isPathSeparator(path.at(i)))
            return i;
    }
    return -1;
}
} // namespace

QChar pathSeparator() {
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

bool isPathSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':');
#else
    return c == QLatin1Char('/');
#endif
}

QString fileNameOf(const QString& path) {
    return path.mid(lastSeparator(path) + 1);
}

QString extensionOf(const QString& path) {
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString baseNameOf(const QString& path) {
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

bool endsWithSeparator(const QString& path) {
    return !path.isEmpty() && isPathSeparator(path.back());
}

QString withTrailingSeparator(const QString& path) {
    return endsWithSeparator(path) ? path : path + pathSeparator();
}

bool isFileSystemRoot(const QString& path) {
#ifdef Q_OS_WIN
    return path.endsWith(QLatin1String(":\\")) || path.endsWith(QLatin1String(":/"));
#else
    if (path.isEmpty())
        return false;
    for (QChar c : path) {
        if (c != QLatin1Char('/'))
            return false;
    }
    return true;
#endif
}

} // namespace velquin

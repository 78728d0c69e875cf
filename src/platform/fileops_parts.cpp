#include "platform/fileops_parts.h"

#include <QRandomGenerator>

#include <cerrno>

namespace velquin {

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FileStamp stampOf(const struct stat& st) {
    return FileStamp{
        idOf(st), static_cast<qint64>(st.st_size),
        FileTime{static_cast<qint64>(st.st_mtim.tv_sec), static_cast<qint32>(st.st_mtim.tv_nsec)}};
}

QByteArray temporaryName() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = QByteArrayLiteral(".velquin-");
    for (int i = 0; i < 12; ++i)
        name += kChars[QRandomGenerator::global()->bounded(int(sizeof(kChars) - 1))];
    return name;
}

} // namespace velquin

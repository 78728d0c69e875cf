#include "lists/listfile.h"

#include "lists/sourcelistmodel.h"
#include "platform/dialogs.h"
#include "platform/names.h"
#include "platform/text.h"

namespace velquin {

QByteArray formatListFile(const QStringList& entries) {
    QByteArray out;
    for (const QString& entry : entries) {
        out += encodeLocal8(entry);
        out += "\r\n";
    }
    return out;
}

QStringList parseListFile(const QByteArray& bytes) {
    qsizetype end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < end) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(decodeLocal8(bytes.mid(start, i - start)));
        i += (c == '\r' && i + 1 < end && bytes.at(i + 1) == '\n') ? 2 : 1;
        start = i;
    }
    if (start < end)
        lines.append(decodeLocal8(bytes.mid(start, end - start)));
    return lines;
}

FsResult writeFileReplacing(const QString& path, const QByteArray& bytes, const FileOps& fs) {
    return fs.writeFile(path, bytes);
}

std::optional<QByteArray> readWholeFile(const QString& path, int* error, const FileOps& fs) {
    return fs.readFile(path, error);
}

void exportList(const SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner) {
    if (list.isEmpty()) {
        dialogs.information(owner, QStringLiteral("当前文件列表为空！"));
        return;
    }
    const QString defaultName =
        kind == ListKind::Files ? QStringLiteral("file.lst") : QStringLiteral("dir.lst");
    const std::optional<QString> target =
        dialogs.saveFile(owner, QStringLiteral("列表文件(*.lst)"), QStringLiteral("*.lst"), defaultName);
    if (!target || target->isEmpty())
        return;
    const FsResult written = writeFileReplacing(*target, formatListFile(list.entries()));
    if (!written.ok())
        dialogs.error(
            owner, QStringLiteral("Cannot create file \"%1\". %2").arg(*target, systemReason(written.error)));
}

void importList(SourceListModel& list, ListKind kind, Dialogs& dialogs, QObject* owner, const FileOps& fs) {
    const std::optional<QString> source =
        dialogs.openFile(owner, QStringLiteral("*.lst"), QStringLiteral("*.lst"));
    if (!source || source->isEmpty())
        return;
    int error = 0;
    const std::optional<QByteArray> bytes = readWholeFile(*source, &error, fs);
    if (!bytes) {
        dialogs.error(owner, QStringLiteral("Cannot open file \"%1\". %2").arg(*source, systemReason(error)));
        return;
    }
    QStringList accepted;
    for (const QString& line : parseListFile(*bytes)) {
        if (line.isEmpty())
            continue;
        if (kind == ListKind::Files ? fs.isFile(line) : fs.isDir(line))
            accepted.append(line);
    }
    list.addUnique(accepted);
}

} // namespace velquin

#include "lists/sourcelistmodel.h"

namespace velquin {

SourceListModel::SourceListModel(QObject* parent) : QAbstractListModel(parent) {
}

QString SourceListModel::duplicateKey(const QString& path) {
#ifdef Q_OS_WIN
    return path.toCaseFolded();
#else
    return path;
#endif
}

SourceListModel::IndexKey::IndexKey(const QString& path)
    : text(duplicateKey(path)), hash(qHash(text, QHashSeed::globalSeed())) {
}

int SourceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant SourceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= entries_.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return entries_.at(index.row());
    return QVariant();
}

bool SourceListModel::contains(const QString& path) const {
    return counts_.contains(IndexKey(path));
}

bool SourceListModel::addUnique(const QString& path) {
    // One lookup that also reserves the key's slot.
    qint32& listed = counts_[IndexKey(path)];
    if (listed > 0)
        return false;
    listed = 1;
    const int row = int(entries_.size());
    beginInsertRows(QModelIndex(), row, row);
    entries_.append(path);
    endInsertRows();
    return true;
}

qsizetype SourceListModel::addUnique(const QStringList& paths) {
    QStringList fresh;
    fresh.reserve(paths.size());
    // Grown once for the batch rather than rehashed step by step on the way.
    counts_.reserve(counts_.size() + paths.size());
    for (const QString& path : paths) {
        // Counted at once, so a second equal path later in the batch is refused too.
        qint32& listed = counts_[IndexKey(path)];
        if (listed > 0)
            continue;
        listed = 1;
        fresh.append(path);
    }
    if (!fresh.isEmpty())
        appendRows(fresh);
    return fresh.size();
}

void SourceListModel::addAll(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    for (const QString& path : paths)
        ++counts_[IndexKey(path)];
    appendRows(paths);
}

void SourceListModel::appendRows(const QStringList& paths) {
    const int first = int(entries_.size());
    beginInsertRows(QModelIndex(), first, first + int(paths.size()) - 1);
    entries_.append(paths);
    endInsertRows();
}

bool SourceListModel::removeAt(qsizetype row) {
    if (row < 0 || row >= entries_.size())
        return false;
    const IndexKey key(entries_.at(row));
    beginRemoveRows(QModelIndex(), int(row), int(row));
    entries_.removeAt(row);
    auto it = counts_.find(key);
    if (it != counts_.end() && --it.value() <= 0)
        counts_.erase(it);
    endRemoveRows();
    return true;
}

void SourceListModel::clear() {
    if (entries_.isEmpty())
        return;
    beginResetModel();
    entries_.clear();
    counts_.clear();
    endResetModel();
}

} // namespace velquin

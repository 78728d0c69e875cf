#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QString>
#include <QStringList>

namespace velquin {

// The ordered list of source paths of a window (files or folders), shown in insertion order.
// Selection belongs to the view. Lookups for the duplicate rule go through a hash index kept in
// step with the entries, so adding stays constant time even with a million entries.
class SourceListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit SourceListModel(QObject* parent = nullptr);

    // The key two paths are compared by: letter case is ignored only where the platform's file
    // names ignore it (Windows); on Linux paths differing in case are different files.
    static QString duplicateKey(const QString& path);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The entries in list order (implicitly shared: copying is cheap).
    const QStringList& entries() const { return entries_; }
    qsizetype count() const { return entries_.size(); }
    bool isEmpty() const { return entries_.isEmpty(); }
    const QString& at(qsizetype row) const { return entries_.at(row); }
    // True when an entry equal to `path` under the duplicate rule is listed.
    bool contains(const QString& path) const;

    // Appends `path` unless an equal entry is listed; true when appended.
    bool addUnique(const QString& path);
    // Appends, in order, each path not yet listed (the batch itself included) in one insertion.
    // Returns how many were appended.
    qsizetype addUnique(const QStringList& paths);
    // Appends every path without the duplicate test (dropped files), in one insertion.
    void addAll(const QStringList& paths);

    // Removes one entry; false when the row does not exist.
    bool removeAt(qsizetype row);
    // Removes every entry.
    void clear();

private:
    void appendRows(const QStringList& paths);

    // A key with its hash kept beside it: probing a large index then compares hashes and reads
    // the text of an entry only when they match, instead of for every occupied slot.
    struct IndexKey {
        explicit IndexKey(const QString& path);
        QString text;
        size_t hash;
        bool operator==(const IndexKey& other) const { return hash == other.hash && text == other.text; }
        friend size_t qHash(const IndexKey& key, size_t) { return key.hash; }
    };

    QStringList entries_;
    // How many entries share each key: drops may list the same path more than once, and the
    // key must stay present until the last of them is removed.
    QHash<IndexKey, qint32> counts_;
};

} // namespace velquin

#pragma once

#include <QListView>
#include <QStringList>

class QMimeData;

namespace velquin {

class FileOps;
class SourceListModel;

// The list of source paths of a main window: one entry selected at most, uniform rows so that
// a million entries scroll smoothly. The file window lets local files be dropped on it.
class SourceListView : public QListView {
    Q_OBJECT
public:
    explicit SourceListView(QWidget* parent = nullptr);

    void setSourceModel(SourceListModel* model);
    SourceListModel* sourceModel() const { return model_; }

    // Accepts drops of local files from now on; existing files are appended without the
    // duplicate test, folders and missing paths are skipped.
    void enableFileDrops(const FileOps* fs);

    // The selected row, or -1.
    int selectedRow() const;
    // Removes the selected entry (nothing without one); afterwards nothing is selected.
    void removeSelected();

    // The local paths a drag carries, decoded byte for byte from their URLs.
    static QStringList localPathsOf(const QMimeData* mime);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    SourceListModel* model_ = nullptr;
    const FileOps* dropFs_ = nullptr;
};

} // namespace velquin

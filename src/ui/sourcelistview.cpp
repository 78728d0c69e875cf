#include "ui/sourcelistview.h"

#include "lists/filelist.h"
#include "lists/sourcelistmodel.h"
#include "platform/names.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace velquin {

SourceListView::SourceListView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
}

void SourceListView::setSourceModel(SourceListModel* model) {
    model_ = model;
    setModel(model);
}

void SourceListView::enableFileDrops(const FileOps* fs) {
    dropFs_ = fs;
    setAcceptDrops(fs != nullptr);
    viewport()->setAcceptDrops(fs != nullptr);
}

int SourceListView::selectedRow() const {
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SourceListView::removeSelected() {
    const int row = selectedRow();
    if (row < 0 || !model_)
        return;
    model_->removeAt(row);
    selectionModel()->clearSelection();
}

QStringList SourceListView::localPathsOf(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
#ifdef Q_OS_WIN
        paths.append(url.toLocalFile());
#else
        // toLocalFile() would turn bytes that are no valid UTF-8 into replacement characters;
        // the percent-encoded form keeps them.
        paths.append(decodeLocal8(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())));
#endif
    }
    return paths;
}

namespace {
// The list only takes the paths: the drop is a copy, never a move, so a file manager that
// honours the answer never removes the source files.
void acceptAsCopy(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
} // namespace

void SourceListView::dragEnterEvent(QDragEnterEvent* event) {
    if (dropFs_ && model_ && event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction))
        acceptAsCopy(event);
    else
        event->ignore();
}

void SourceListView::dragMoveEvent(QDragMoveEvent* event) {
    if (dropFs_ && model_ && event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction))
        acceptAsCopy(event);
    else
        event->ignore();
}

void SourceListView::dropEvent(QDropEvent* event) {
    if (!dropFs_ || !model_) {
        event->ignore();
        return;
    }
    AddDroppedFiles(*model_, localPathsOf(event->mimeData()), *dropFs_);
    acceptAsCopy(event);
}

} // namespace velquin

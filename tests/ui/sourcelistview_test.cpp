#include "ui/sourcelistview.h"

#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "platform/names.h"
#include "support/testdir.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace velquin {
namespace {

// Sends a drop of `urls` to the view's viewport; returns whether it was accepted, and as what.
bool drop(SourceListView& view, const QList<QUrl>& urls, Qt::DropAction* action = nullptr) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier,
                       QEvent::Drop);
    dropped.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(view.viewport(), &dropped);
    if (action)
        *action = dropped.dropAction();
    return dropped.isAccepted();
}

class SourceListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.setObjectName(QStringLiteral("ListBox1"));
        view.setSourceModel(&model);
        view.resize(300, 200);
        view.show();
    }
    test::TestDir dir;
    FileOps fs;
    SourceListModel model;
    SourceListView view;
};

TEST_F(SourceListViewTest, DropsAddExistingFilesAsACopy) {
    const QString file = dir.file(QStringLiteral("a.txt"));
    const QString folder = dir.folder(QStringLiteral("sub"));
    EXPECT_FALSE(drop(view, {QUrl::fromLocalFile(file)})) << "drops are off until the window allows them";
    EXPECT_EQ(model.count(), 0);

    view.enableFileDrops(&fs);
    model.addUnique(file);
    Qt::DropAction action = Qt::IgnoreAction;
    EXPECT_TRUE(drop(view,
                     {QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder),
                      QUrl::fromLocalFile(dir.path(QStringLiteral("missing.txt"))),
                      QUrl(QStringLiteral("https://example.org/a.txt"))},
                     &action));
    EXPECT_EQ(action, Qt::CopyAction) << "the source must never be moved away";
    EXPECT_EQ(model.entries(), QStringList({file, file}));
}

TEST_F(SourceListViewTest, DroppedNamesThatAreNoValidUtf8KeepTheirBytes) {
    const QByteArray raw = encodeLocal8(dir.path()) + QByteArray("/\xc4\xe3\xba\xc3.txt");
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(raw.toPercentEncoding("/")), QUrl::TolerantMode);
    view.enableFileDrops(&fs);
    EXPECT_TRUE(drop(view, {url}));
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(encodeLocal8(model.at(0)), raw);
    ::unlink(raw.constData()); // the temporary folder cannot remove a name it cannot list
}

TEST_F(SourceListViewTest, RemovingTheSelectedEntryLeavesNoSelection) {
    model.addUnique({QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")});
    EXPECT_TRUE(view.uniformItemSizes());
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::SingleSelection);
    view.removeSelected(); // nothing selected: nothing happens
    EXPECT_EQ(model.count(), 3);
    view.setCurrentIndex(model.index(1));
    EXPECT_EQ(view.selectedRow(), 1);
    view.removeSelected();
    EXPECT_EQ(model.entries(), QStringList({QStringLiteral("/a"), QStringLiteral("/c")}));
    EXPECT_EQ(view.selectedRow(), -1);
}

} // namespace
} // namespace velquin

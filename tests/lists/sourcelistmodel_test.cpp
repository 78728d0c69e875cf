#include "lists/sourcelistmodel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velquin {
namespace {

QStringList paths(std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* n : names)
        out.append(QString::fromUtf8(n));
    return out;
}

TEST(SourceListModel, AddUniqueRefusesEqualEntriesAlsoWithinOneBatch) {
    SourceListModel model;
    EXPECT_TRUE(model.addUnique(QStringLiteral("/d/a.txt")));
    EXPECT_FALSE(model.addUnique(QStringLiteral("/d/a.txt")));
    QSignalSpy inserted(&model, &SourceListModel::rowsInserted);
    EXPECT_EQ(model.addUnique(paths({"/d/b.txt", "/d/a.txt", "/d/c.txt", "/d/b.txt"})), 2);
    EXPECT_EQ(inserted.count(), 1) << "one batch, one insertion";
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 1);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 2);
    EXPECT_EQ(model.entries(), paths({"/d/a.txt", "/d/b.txt", "/d/c.txt"}));
    EXPECT_EQ(model.data(model.index(1)).toString(), QStringLiteral("/d/b.txt"));
    EXPECT_EQ(model.rowCount(), 3);

    // Nothing new: no insertion signal at all.
    EXPECT_EQ(model.addUnique(paths({"/d/c.txt"})), 0);
    EXPECT_EQ(inserted.count(), 1);
}

TEST(SourceListModel, LetterCaseMattersWhereFileNamesHonourIt) {
    SourceListModel model;
    model.addUnique(QStringLiteral("/Data/A.TXT"));
#ifdef Q_OS_WIN
    EXPECT_FALSE(model.addUnique(QStringLiteral("/data/a.txt")));
#else
    EXPECT_TRUE(model.addUnique(QStringLiteral("/data/a.txt")));
#endif
}

TEST(SourceListModel, IndexStaysRightAfterDropsAndRemovals) {
    SourceListModel model;
    model.addUnique(paths({"/a", "/b"}));
    model.addAll(paths({"/a", "/a", "/c"})); // drops skip the duplicate test
    EXPECT_EQ(model.entries(), paths({"/a", "/b", "/a", "/a", "/c"}));

    // The key stays while any entry with it is left.
    for (int row : {3, 2}) {
        ASSERT_TRUE(model.removeAt(row));
        EXPECT_TRUE(model.contains(QStringLiteral("/a")));
        EXPECT_FALSE(model.addUnique(QStringLiteral("/a")));
    }
    ASSERT_TRUE(model.removeAt(0));
    EXPECT_FALSE(model.contains(QStringLiteral("/a")));
    EXPECT_EQ(model.entries(), paths({"/b", "/c"}));
    EXPECT_TRUE(model.addUnique(QStringLiteral("/a")));
    EXPECT_EQ(model.entries(), paths({"/b", "/c", "/a"}));

    EXPECT_FALSE(model.removeAt(-1));
    EXPECT_FALSE(model.removeAt(3));
    EXPECT_EQ(model.count(), 3);

    model.clear();
    EXPECT_TRUE(model.isEmpty());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.addUnique(QStringLiteral("/b")));
}

TEST(SourceListModel, ClearingAnEmptyListSignalsNothing) {
    SourceListModel model;
    QSignalSpy reset(&model, &SourceListModel::modelReset);
    model.clear();
    EXPECT_EQ(reset.count(), 0);
    model.addAll({});
    EXPECT_EQ(model.count(), 0);
}

} // namespace
} // namespace velquin

// Ten thousand files of one name meet in one folder under auto-numbering: each takes the first
// free name, in list order, and none is written over.

#include "ledger.h"
#include "support/scriptedhost.h"

#include "platform/names.h"
#include "support/testdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::test {
namespace {

// Every transfer searches from the plain name again, so n clashes cost n * n / 2 look-ups: the
// default keeps the suite quick; VELQUIN_FAULT_CLASHES=10000 runs the full-size case.
int clashCount() {
    const int fromEnvironment = qEnvironmentVariableIntValue("VELQUIN_FAULT_CLASHES");
    return fromEnvironment > 0 ? fromEnvironment : 2000;
}

TEST(AutoNumberClashes, EveryFileOfOneNameGetsItsOwnNumberAndKeepsItsContent) {
    const int count = clashCount();
    TestDir dir(QStringLiteral("/dev/shm"));
    Ledger ledger;
    QStringList files;
    files.reserve(count);
    for (int i = 0; i < count; ++i)
        files.append(ledger.add(dir.path(QStringLiteral("src/s%1/a").arg(i)), identifiedContent(i, 40)));

    ScriptedHost host;
    host.outputText = dir.path(QStringLiteral("out"));
    host.policy = ClashPolicy::AutoNumber;
    runFileSort(byNameJob(files), host, FileOps());
    EXPECT_TRUE(host.endedNormally());

    // The n-th file of the list holds a_n (the first plain a): content names the file.
    const QString folder = dir.path(QStringLiteral("out/a"));
    int misplaced = 0;
    for (int i = 0; i < count; ++i) {
        const QString name = i == 0 ? QStringLiteral("a") : QStringLiteral("a_%1").arg(i);
        const std::optional<QByteArray> content = dir.read(QStringLiteral("out/a/") + name);
        if (content != identifiedContent(i, 40) && ++misplaced <= 5)
            ADD_FAILURE() << name.toStdString() << " does not hold the content of file " << i;
    }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(filesUnder(folder).size(), count);

    const Verdict verdict = ledger.verify({dir.path()});
    tally(QStringLiteral("6 auto-numbering clashes"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
}

// Names that are not valid UTF-8 (GBK bytes from an old archive, a stray 0xFF) are numbered like
// any other, byte for byte, by file runs (Copy and Move) and by folder copies.
TEST(AutoNumberClashes, RawNamesAreNumberedByteForByte) {
    const QByteArray raw = "\xb1\xa8\xb8\xe6\xff";
    for (const int way : {0, 1, 2}) {
        SCOPED_TRACE(way);
        TestDir dir(QStringLiteral("/dev/shm"));
        const RawTreeRemover remover(dir.path());
        const QByteArray base = encodeLocal8(dir.path());
        Ledger ledger;
        QStringList files;
        QStringList folders;
        for (int i = 0; i < 20; ++i) {
            const QByteArray folder = base + "/src/s" + QByteArray::number(i) + "\x80";
            folders.append(decodeLocal8(folder));
            files.append(ledger.add(decodeLocal8(folder + '/' + raw + ".txt"), identifiedContent(i, 60)));
        }
        ScriptedHost host;
        host.outputText = dir.path(QStringLiteral("out"));
        host.policy = ClashPolicy::AutoNumber;
        host.mode = way == 1 ? TransferMode::Move : TransferMode::Copy;
        QByteArray landing = base + "/out/.txt/";
        if (way == 2) {
            // Every folder's copy meets in out/<its own name>: give them all one name.
            folders.clear();
            for (int i = 0; i < 20; ++i) {
                const QByteArray folder = base + "/src/s" + QByteArray::number(i) + "\x80";
                const QByteArray same = base + "/many/" + QByteArray::number(i) + "/" + raw;
                const QByteArray many = base + "/many";
                const QByteArray parent = many + "/" + QByteArray::number(i);
                ASSERT_TRUE(::mkdir(many.constData(), 0755) == 0 || errno == EEXIST);
                ASSERT_EQ(::mkdir(parent.constData(), 0755), 0);
                ASSERT_EQ(::rename(folder.constData(), same.constData()), 0);
                folders.append(decodeLocal8(same));
            }
            FolderSortJob job = folderByNameJob(folders);
            job.Criterion = FolderSortCriterion::ByFileCount;
            job.fields.EdtFileCount = QStringLiteral("1");
            runFolderSort(job, host, FileOps());
            landing = base + "/out/" + raw + "/";
        } else {
            runFileSort(byTypeJob(files), host, FileOps());
        }
        EXPECT_TRUE(host.endedNormally());
        for (int i = 0; i < 20; ++i) {
            const QByteArray name =
                i == 0 ? QByteArray(raw + ".txt") : QByteArray(raw + "_" + QByteArray::number(i) + ".txt");
            EXPECT_EQ(readRaw(landing + name), identifiedContent(i, 60)) << name.toHex().constData();
        }
        const Verdict verdict = ledger.verify({dir.path()});
        tally(QStringLiteral("6 auto-numbering raw names"), verdict);
        EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();
    }
}

} // namespace
} // namespace velquin::test

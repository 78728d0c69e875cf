// Ten thousand files of one name meet in one folder under auto-numbering: each takes the first
// free name, in list order, and none is written over.

#include "headlesshost.h"
#include "ledger.h"

#include "support/testdir.h"

#include <gtest/gtest.h>

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

    HeadlessHost host;
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

} // namespace
} // namespace velquin::test

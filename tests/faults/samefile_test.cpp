// A file moved or copied onto itself under another name (a hard link, a symbolic link either
// way, a linked folder, a path with "./", "//" or ".."): nothing is written or removed, except
// that auto-numbering may add a numbered copy or move the other name to one. Nothing is lost.

#include "ledger.h"
#include "support/scriptedhost.h"

#include "platform/names.h"
#include "support/testdir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <unistd.h>

namespace velquin::test {
namespace {

// How the listed source and the run's target (output/.txt/a.txt) come to be one file.
enum class Alias {
    SamePath,          // the target itself is listed
    DotSlash,          // output/.txt/./a.txt
    DoubleSlash,       // output//.txt//a.txt
    DotDot,            // output/.txt/../.txt/a.txt
    OutputWithDots,    // the output folder typed as output/./ with the target listed
    HardLink,          // src/a.txt is a second name of the target
    SourceLinksTarget, // src/a.txt is a symbolic link to the target
    TargetLinksSource, // the target is a symbolic link to src/a.txt
    LinkedFolder,      // output/.txt is a symbolic link to src
    LinkFromOtherFs,   // a link on tmpfs to the target on disk
};

struct AliasCase {
    Alias alias;
    TransferMode mode;
    ClashPolicy policy;
};

const char* aliasName(Alias alias) {
    static const char* const names[] = {
        "SamePath", "DotSlash",          "DoubleSlash",       "DotDot",       "OutputWithDots",
        "HardLink", "SourceLinksTarget", "TargetLinksSource", "LinkedFolder", "LinkFromOtherFs"};
    return names[int(alias)];
}

std::string caseName(const ::testing::TestParamInfo<AliasCase>& info) {
    static const char* const policies[] = {"Skip", "Overwrite", "AskYes", "AutoNumber", "ReplaceOlder"};
    const AliasCase& c = info.param;
    return std::string(aliasName(c.alias)) + (c.mode == TransferMode::Move ? "Move" : "Copy") +
           policies[int(c.policy)];
}

void link(const QString& from, const QString& to, bool symbolic) {
    const QByteArray a = encodeLocal8(from);
    const QByteArray b = encodeLocal8(to);
    ASSERT_EQ(symbolic ? ::symlink(a.constData(), b.constData()) : ::link(a.constData(), b.constData()), 0)
        << b.constData();
}

class SameFile : public ::testing::TestWithParam<AliasCase> {};

TEST_P(SameFile, NothingIsLostWhenSourceAndTargetAreOneFile) {
    const AliasCase c = GetParam();
    TestDir dir;
    TestDir shm(QStringLiteral("/dev/shm"));
    const QString out = dir.path(QStringLiteral("out"));
    const QString target = out + QStringLiteral("/.txt/a.txt");
    const QByteArray content = identifiedContent(1, 3000);
    Ledger ledger;

    QString outputText = out;
    QString source = target;
    switch (c.alias) {
    case Alias::SamePath:
    case Alias::OutputWithDots:
    case Alias::DotSlash:
    case Alias::DoubleSlash:
    case Alias::DotDot:
        ledger.add(target, content);
        if (c.alias == Alias::OutputWithDots)
            outputText = out + QStringLiteral("/./");
        if (c.alias == Alias::DotSlash)
            source = out + QStringLiteral("/.txt/./a.txt");
        if (c.alias == Alias::DoubleSlash)
            source = out + QStringLiteral("//.txt//a.txt");
        if (c.alias == Alias::DotDot)
            source = out + QStringLiteral("/.txt/../.txt/a.txt");
        break;
    case Alias::HardLink:
        ledger.add(target, content);
        dir.folder(QStringLiteral("src"));
        source = dir.path(QStringLiteral("src/a.txt"));
        link(target, source, false);
        break;
    case Alias::SourceLinksTarget:
        ledger.add(target, content);
        dir.folder(QStringLiteral("src"));
        source = dir.path(QStringLiteral("src/a.txt"));
        link(target, source, true);
        break;
    case Alias::TargetLinksSource:
        source = ledger.add(dir.path(QStringLiteral("src/a.txt")), content);
        dir.folder(QStringLiteral("out/.txt"));
        link(source, target, true);
        break;
    case Alias::LinkedFolder:
        source = ledger.add(dir.path(QStringLiteral("src/a.txt")), content);
        dir.folder(QStringLiteral("out"));
        link(dir.path(QStringLiteral("src")), out + QStringLiteral("/.txt"), true);
        break;
    case Alias::LinkFromOtherFs:
        ledger.add(target, content);
        source = shm.path(QStringLiteral("a.txt"));
        link(target, source, true);
        break;
    }
    if (HasFatalFailure())
        return;
    const QMap<QString, QByteArray> before = treeState(dir.path());
    const QMap<QString, QByteArray> beforeShm = treeState(shm.path());

    ScriptedHost host;
    host.outputText = outputText;
    host.mode = c.mode;
    host.policy = c.policy;
    host.answerYes = true;
    runFileSort(byTypeJob({source}), host, FileOps());
    EXPECT_TRUE(host.endedNormally());

    const Verdict verdict = ledger.verify({dir.path(), shm.path()});
    tally(QStringLiteral("4 one file under two names"), verdict);
    EXPECT_TRUE(verdict.clean()) << verdict.describe().toStdString();

    // Auto-numbering finds the name taken (by the file itself) and uses the next one; every
    // other policy must leave everything as it was.
    const QMap<QString, QByteArray> after = treeState(dir.path());
    if (c.policy != ClashPolicy::AutoNumber) {
        EXPECT_EQ(after, before);
        EXPECT_EQ(treeState(shm.path()), beforeShm);
    } else {
        const QString numbered = out + QStringLiteral("/.txt/a_1.txt");
        const QFileInfo info(numbered);
        EXPECT_TRUE(info.exists()) << "no a_1.txt";
        if (c.mode == TransferMode::Copy) {
            EXPECT_FALSE(info.isSymLink());
            EXPECT_EQ(dir.read(QStringLiteral("out/.txt/a.txt")), content);
        }
    }
}

std::vector<AliasCase> allCases() {
    std::vector<AliasCase> cases;
    for (int a = 0; a <= int(Alias::LinkFromOtherFs); ++a) {
        const Alias alias = Alias(a);
        for (ClashPolicy policy : {ClashPolicy::Overwrite, ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder,
                                   ClashPolicy::Skip, ClashPolicy::Ask})
            cases.push_back({alias, TransferMode::Move, policy});
        for (ClashPolicy policy :
             {ClashPolicy::Overwrite, ClashPolicy::AutoNumber, ClashPolicy::ReplaceOlder})
            cases.push_back({alias, TransferMode::Copy, policy});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, SameFile, ::testing::ValuesIn(allCases()), caseName);

} // namespace
} // namespace velquin::test

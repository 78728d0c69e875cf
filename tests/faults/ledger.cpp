#include "ledger.h"

#include "platform/names.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::test {

namespace {

// Reads through the plain system calls: the checks must not lean on the code they check.
std::optional<QByteArray> readBytes(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buffer, n);
    }
    ::close(fd);
    return data;
}

// Calls visit(path, name, stat) for every entry below `folder`, folders before their content.
template <typename Visit> void walkAll(const QByteArray& folder, int depth, Visit&& visit) {
    if (depth > 64)
        return;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    std::vector<QByteArray> names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    for (const QByteArray& name : names) {
        const QByteArray path = folder + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            continue;
        visit(path, name, st);
        if (S_ISDIR(st.st_mode))
            walkAll(path, depth + 1, visit);
    }
}

template <typename Visit> void walk(const QByteArray& folder, int depth, Visit&& visit) {
    walkAll(folder, depth, [&visit](const QByteArray& path, const QByteArray& name, const struct stat& st) {
        if (S_ISREG(st.st_mode))
            visit(path, name);
    });
}

struct Row {
    int runs = 0;
    int checked = 0;
    int lost = 0;
    int partial = 0;
    int temps = 0;
};

std::map<QString, Row>& table() {
    static std::map<QString, Row> rows;
    return rows;
}

// Prints the scenario table once all tests have run.
class TallyPrinter : public ::testing::Environment {
public:
    void TearDown() override {
        if (table().empty())
            return;
        std::printf("\n%-50s %6s %9s %6s %8s %6s\n", "scenario", "runs", "checked", "lost", "partial",
                    "temps");
        for (const auto& [name, row] : table())
            std::printf("%-50s %6d %9d %6d %8d %6d\n", qPrintable(name), row.runs, row.checked, row.lost,
                        row.partial, row.temps);
    }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new TallyPrinter);

} // namespace

QByteArray identifiedContent(int id, int size) {
    QByteArray data = "#" + QByteArray::number(id) + "\n";
    QRandomGenerator generator(quint32(id) * 2654435761u + 17u);
    data.reserve(qMax(size, int(data.size())));
    while (data.size() < size)
        data.append(char('a' + generator.bounded(26)));
    return data;
}

void writeWhole(const QString& path, const QByteArray& content) {
    const QByteArray bytes = encodeLocal8(path);
    for (qsizetype slash = bytes.indexOf('/', 1); slash > 0; slash = bytes.indexOf('/', slash + 1))
        ::mkdir(bytes.left(slash).constData(), 0777);
    const int fd = ::open(bytes.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::close(fd) != 0) {
        std::perror(bytes.constData());
        std::abort();
    }
}

bool looksLikeHiddenTemp(const QByteArray& name) {
    static const QByteArray prefix = QByteArrayLiteral(".velquin-");
    if (name.size() != prefix.size() + 12 || !name.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i) {
        const char c = name.at(i);
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

QString Verdict::describe() const {
    QString text = QStringLiteral("%1 files required").arg(checked);
    const auto list = [&text](const char* what, const QStringList& paths) {
        if (paths.isEmpty())
            return;
        text += QStringLiteral("; %1 %2: ").arg(paths.size()).arg(QLatin1String(what));
        text += QStringList(paths.mid(0, 8)).join(QStringLiteral(", "));
    };
    list("lost", lost);
    list("partial", partial);
    list("temporaries left", temps);
    list("found twice", twice);
    return text;
}

QString Ledger::add(const QString& path, const QByteArray& content) {
    writeWhole(path, content);
    contents_.insert(content, path);
    return path;
}

Verdict Ledger::verify(const QStringList& roots, const QList<QByteArray>& alsoWhole) const {
    Verdict verdict;
    verdict.checked = size();
    QHash<QByteArray, int> found;
    for (const QString& root : roots) {
        walk(encodeLocal8(root), 0, [&](const QByteArray& path, const QByteArray& name) {
            if (looksLikeHiddenTemp(name)) {
                verdict.temps.append(decodeLocal8(path));
                return;
            }
            const std::optional<QByteArray> data = readBytes(path);
            if (data && contents_.contains(*data))
                ++found[*data];
            else if (!data || !alsoWhole.contains(*data))
                verdict.partial.append(decodeLocal8(path));
        });
    }
    for (auto it = contents_.cbegin(); it != contents_.cend(); ++it) {
        const int copies = found.value(it.key());
        if (copies == 0)
            verdict.lost.append(it.value());
        else if (copies > 1)
            verdict.twice.append(it.value());
    }
    verdict.lost.sort();
    verdict.twice.sort();
    return verdict;
}

void tally(const QString& scenario, const Verdict& verdict) {
    Row& row = table()[scenario];
    ++row.runs;
    row.checked += verdict.checked;
    row.lost += int(verdict.lost.size());
    row.partial += int(verdict.partial.size());
    row.temps += int(verdict.temps.size());
}

QMap<QString, QByteArray> treeState(const QString& root) {
    QMap<QString, QByteArray> state;
    walkAll(encodeLocal8(root), 0,
            [&state](const QByteArray& path, const QByteArray&, const struct stat& st) {
                QByteArray what = "other";
                if (S_ISDIR(st.st_mode)) {
                    what = "dir";
                } else if (S_ISLNK(st.st_mode)) {
                    char target[4096];
                    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
                    what = "link:" + QByteArray(target, n > 0 ? int(n) : 0);
                } else if (S_ISREG(st.st_mode)) {
                    what = "file:" + readBytes(path).value_or("(unreadable)");
                }
                state.insert(decodeLocal8(path), what);
            });
    return state;
}

RawTreeRemover::~RawTreeRemover() {
    std::vector<QByteArray> folders;
    walkAll(encodeLocal8(root_), 0,
            [&folders](const QByteArray& path, const QByteArray&, const struct stat& st) {
                if (S_ISDIR(st.st_mode))
                    folders.push_back(path);
                else
                    ::unlink(path.constData());
            });
    // Deepest first: every folder comes after the folder that holds it.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        ::rmdir(it->constData());
}

std::optional<QByteArray> readRaw(const QByteArray& path) {
    return readBytes(path);
}

QStringList filesUnder(const QString& root) {
    QStringList files;
    walk(encodeLocal8(root), 0,
         [&files](const QByteArray& path, const QByteArray&) { files.append(decodeLocal8(path)); });
    files.sort();
    return files;
}

} // namespace velquin::test

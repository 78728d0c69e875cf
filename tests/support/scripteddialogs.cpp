#include "support/scripteddialogs.h"

namespace velquin::test {

namespace {
template <typename T> T take(std::deque<T>& queue, T fallback) {
    if (queue.empty())
        return fallback;
    T v = queue.front();
    queue.pop_front();
    return v;
}
} // namespace

void ScriptedDialogs::information(QObject* owner, const QString& text) {
    calls.append({Kind::Information, owner, text, {}, false, {}, {}});
}

void ScriptedDialogs::informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                             const QString& details) {
    calls.append({Kind::Information, owner, text, {}, false, line, details});
    if (whileDetailsBox)
        whileDetailsBox();
}

bool ScriptedDialogs::question(QObject* owner, const QString& text, bool yesIsDefault) {
    calls.append({Kind::Question, owner, text, {}, yesIsDefault, {}, {}});
    if (whileQuestion)
        whileQuestion();
    return take(answers, false);
}

bool ScriptedDialogs::questionWithDetails(QObject* owner, const QString& text, const QString& details,
                                          bool yesIsDefault) {
    calls.append({Kind::Question, owner, text, {}, yesIsDefault, {}, details});
    return take(answers, false);
}

bool ScriptedDialogs::warningQuestion(QObject* owner, const QString& text) {
    calls.append({Kind::WarningQuestion, owner, text, {}, false, {}, {}});
    return take(answers, false);
}

void ScriptedDialogs::error(QObject* owner, const QString& text) {
    calls.append({Kind::Error, owner, text, {}, false, {}, {}});
}

std::optional<QString> ScriptedDialogs::chooseFolder(QObject* owner, const QString& caption) {
    calls.append({Kind::ChooseFolder, owner, caption, {}, false, {}, {}});
    return take(folders, std::optional<QString>());
}

QStringList ScriptedDialogs::openFiles(QObject* owner, const QString& filterName, const QString& pattern) {
    calls.append({Kind::OpenFiles, owner, filterName, pattern, false, {}, {}});
    return take(fileLists, QStringList());
}

std::optional<QString> ScriptedDialogs::openFile(QObject* owner, const QString& filterName,
                                                 const QString& pattern) {
    calls.append({Kind::OpenFile, owner, filterName, pattern, false, {}, {}});
    return take(files, std::optional<QString>());
}

std::optional<QString> ScriptedDialogs::saveFile(QObject* owner, const QString& filterName,
                                                 const QString& pattern, const QString& defaultName) {
    calls.append(
        {Kind::SaveFile, owner, filterName, pattern + QLatin1Char('|') + defaultName, false, {}, {}});
    return take(files, std::optional<QString>());
}

QStringList ScriptedDialogs::texts(Kind kind) const {
    QStringList out;
    for (const Call& c : calls) {
        if (c.kind == kind)
            out.append(c.text);
    }
    return out;
}

} // namespace velquin::test

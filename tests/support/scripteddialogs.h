#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

namespace velquin::test {

// Records every box and chooser and answers from queues. An unqueued question answers No, an
// unqueued chooser is cancelled, so a missing answer never blocks a test.
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind {
        Information,
        Question,
        WarningQuestion,
        Error,
        ChooseFolder,
        OpenFiles,
        OpenFile,
        SaveFile
    };
    struct Call {
        Kind kind;
        QObject* owner = nullptr;
        QString text;  // message text, or chooser caption / filter name
        QString extra; // pattern of a file chooser, default name of a save chooser
        bool yesIsDefault = false;
        QString line;    // informationWithDetails: the line under the text
        QString details; // informationWithDetails, questionWithDetails: the details area
    };

    void information(QObject* owner, const QString& text) override;
    // Recorded as an Information call with its line and details.
    void informationWithDetails(QObject* owner, const QString& text, const QString& line,
                                const QString& details) override;
    bool question(QObject* owner, const QString& text, bool yesIsDefault) override;
    // Recorded as a Question call with its details.
    bool questionWithDetails(QObject* owner, const QString& text, const QString& details,
                             bool yesIsDefault) override;
    bool warningQuestion(QObject* owner, const QString& text) override;
    void error(QObject* owner, const QString& text) override;
    std::optional<QString> chooseFolder(QObject* owner, const QString& caption) override;
    QStringList openFiles(QObject* owner, const QString& filterName, const QString& pattern) override;
    std::optional<QString> openFile(QObject* owner, const QString& filterName,
                                    const QString& pattern) override;
    std::optional<QString> saveFile(QObject* owner, const QString& filterName, const QString& pattern,
                                    const QString& defaultName) override;

    // Answers, taken in order by the calls of their kind.
    std::deque<bool> answers;                   // question, warningQuestion
    std::deque<std::optional<QString>> folders; // chooseFolder
    std::deque<QStringList> fileLists;          // openFiles
    std::deque<std::optional<QString>> files;   // openFile, saveFile

    std::function<void()> whileDetailsBox; // runs inside informationWithDetails, as if the box stood
    std::function<void()> whileQuestion;   // runs inside question, as if the box stood

    QList<Call> calls;
    QStringList texts(Kind kind) const;
    void clear() { calls.clear(); }
};

} // namespace velquin::test

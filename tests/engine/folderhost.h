#pragma once

#include "engine/runhost.h"
#include "platform/fileops.h"
#include "support/testdir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

namespace velquin::test {

// A run host without widgets for the folder tests: records what the window would show and
// answers the clash question from a queue (an unqueued question answers No).
class FolderHost : public RunHost {
public:
    QString output;
    ClashPolicy policy = ClashPolicy::Skip;
    std::deque<bool> answers;
    // Called before every clashPolicy() read, so a test can change the policy between folders.
    std::function<void(int reads)> onPolicyRead;

    QStringList messages;
    QList<FocusTarget> focus;
    int chooserOpened = 0;
    QList<bool> lockStates;
    QStringList questions; // targets asked about
    QList<int> progress;
    int policyReads = 0;
    QStringList log; // "lock", "unlock", "progress N", "info TEXT" in the order they happened

    QString outputFolderText() override { return output; }
    void setOutputFolderText(const QString& text) override { output = text; }
    void information(const QString& text) override {
        messages.append(text);
        log.append(QStringLiteral("info ") + text);
    }
    void focusField(FocusTarget target) override { focus.append(target); }
    void chooseOutputFolder() override { ++chooserOpened; }
    void setLocked(bool locked) override {
        lockStates.append(locked);
        log.append(locked ? QStringLiteral("lock") : QStringLiteral("unlock"));
    }
    ClashPolicy clashPolicy() override {
        if (onPolicyRead)
            onPolicyRead(policyReads);
        ++policyReads;
        return policy;
    }
    bool askOverwrite(const QString& target) override {
        questions.append(target);
        if (answers.empty())
            return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void setProgress(int position) override {
        progress.append(position);
        log.append(QStringLiteral("progress ") + QString::number(position));
    }
    bool stopRequested() override { return stop && stop(); }
    void closingMessage(const QString& text, const QString& line, const QString& details) override {
        information(text);
        closingLine = line;
        closingDetails = details;
    }
    std::function<bool()> stop; // the stop button
    QString closingLine;
    QString closingDetails;
};

// What a folder test works in: a fresh folder, the real file operations and a scripted host.
// A suite whose every test needs one fresh sandbox derives its fixture from it.
struct FolderSandbox {
    TestDir d;
    FileOps fs;
    FolderHost host;
};

} // namespace velquin::test

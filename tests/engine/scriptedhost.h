#pragma once

#include "engine/runhost.h"

#include <deque>
#include <functional>
#include <vector>

namespace velquin::test {

// A file run's window without widgets: records what the run shows and does, answers the clash
// question from a queue (an unqueued question answers No) and hands out the per-item options.
class ScriptedFileRunHost : public FileRunHost {
public:
    QString outputFolderText() override { return outputText; }
    void setOutputFolderText(const QString& text) override;
    void information(const QString& text) override;
    void focusField(FocusTarget target) override { focus.push_back(target); }
    void chooseOutputFolder() override;
    void setLocked(bool locked) override;
    ClashPolicy clashPolicy() override { return policy; }
    bool askOverwrite(const QString& target) override;
    void setProgress(int position) override;
    TransferMode transferMode() override { return mode; }
    TypeFilter typeFilter() override { return filter; }
    bool stopRequested() override { return stop && stop(); }
    ReplaceKeeper* replaceKeeper() override { return keeper; }
    QString journalPath() override { return journal; }
    // Recorded as a message, with its line and details.
    void closingMessage(const QString& text, const QString& line, const QString& details) override;
    QStringList pictureTypes() override { return pictures; }

    // Options handed to the run.
    QString outputText;
    ClashPolicy policy = ClashPolicy::Skip;
    TransferMode mode = TransferMode::Copy;
    TypeFilter filter;
    QStringList pictures = defaultPictureTypes();
    std::deque<bool> answers;
    QString chosenFolder;                // put into the field when the chooser opens, if not empty
    std::function<void(int)> onProgress; // runs after each progress step is recorded
    std::function<bool()> stop;          // the stop button
    ReplaceKeeper* keeper = nullptr;     // where replaced files go
    QString journal;                     // the run's journal, "" for none

    // What the run did.
    QStringList messages;
    std::vector<FocusTarget> focus;
    int chooserCalls = 0;
    int outputWrites = 0;
    std::vector<bool> lockCalls;
    std::vector<int> progress;
    QStringList questions;  // the targets asked about
    QStringList events;     // "lock", "unlock", "progress N", "message TEXT" in the order they came
    QString closingLine;    // the closing box's failure line
    QString closingDetails; // and its details

    static QStringList defaultPictureTypes();
};

} // namespace velquin::test

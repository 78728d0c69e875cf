#pragma once

#include "engine/filerun.h"
#include "engine/folderrun.h"
#include "engine/runhost.h"
#include "platform/fileops.h"
#include "support/testdir.h"

#include <deque>
#include <functional>
#include <vector>

namespace velquin::test {

// A window for file and folder runs without widgets: hands out fixed options, records what the
// run shows and does, and answers the clash question from a queue (`answerYes` once it is empty).
// The hooks let a scenario change the world under a running run.
class ScriptedHost : public FileRunHost {
public:
    QString outputFolderText() override { return outputText; }
    void setOutputFolderText(const QString& text) override;
    void information(const QString& text) override;
    void focusField(FocusTarget target) override { focus.push_back(target); }
    void chooseOutputFolder() override;
    void setLocked(bool locked) override;
    ClashPolicy clashPolicy() override;
    bool askOverwrite(const QString& target) override;
    void setProgress(int position) override;
    void partialProgress(int position) override;
    void progressText(const QString& text) override { lines.append(text); }
    TransferMode transferMode() override { return mode; }
    TypeFilter typeFilter() override { return filter; }
    bool stopRequested() override { return stop && stop(); }
    ReplaceKeeper* replaceKeeper() override { return keeper; }
    QString journalPath() override { return journal; }
    bool askReplaceUnkept(const QString& reason) override;
    // Recorded as a message, with its line and details.
    void closingMessage(const QString& text, const QString& line, const QString& details) override;
    QStringList pictureTypes() override { return pictures; }

    // True when the run closed as every run must: unlocked, "分拣工作完成！" as the only
    // message, the bar at 100 before it and back at 0 after it.
    bool endedNormally() const;

    // Options handed to the run.
    QString outputText;
    ClashPolicy policy = ClashPolicy::Skip;
    TransferMode mode = TransferMode::Copy;
    TypeFilter filter;
    QStringList pictures = defaultPictureTypes();
    std::deque<bool> answers;
    bool answerYes = false;              // to a clash question with no queued answer
    bool answerUnkept = false;           // to the question whether to replace what no trash can keep
    QString chosenFolder;                // put into the field when the chooser opens, if not empty
    ReplaceKeeper* keeper = nullptr;     // where replaced files go
    QString journal;                     // the run's journal, "" for none
    std::function<bool()> stop;          // the stop button
    std::function<void(int)> onProgress; // runs after each progress step is recorded
    // Runs with the number of items done at every progress step before the closing 100.
    std::function<void(int)> betweenItems;
    std::function<void(const QString&)> onAsk; // runs while the clash question is open
    // Runs before every clashPolicy() read, so a test can change the policy between folders.
    std::function<void(int reads)> onPolicyRead;

    // What the run did.
    QStringList messages;
    std::vector<FocusTarget> focus;
    int chooserCalls = 0;
    int outputWrites = 0;
    int policyReads = 0;
    std::vector<bool> lockCalls;
    std::vector<int> progress;
    std::vector<int> bar;      // every value the bar took: the steps and the moves inside items
    QStringList lines;         // the progress lines in the order they came
    QStringList questions;     // the targets asked about
    QStringList unkeptReasons; // the reasons the trash question gave, one per time it was asked
    QStringList events;        // "lock", "unlock", "progress N", "message TEXT" in the order they came
    QString closingLine;       // the closing box's failure line, "" when nothing failed
    QString closingDetails;    // and its details

    static QStringList defaultPictureTypes();

private:
    bool locked_ = false;
    int itemSteps_ = 0;
};

// What a folder test works in: a fresh folder, the real file operations and a scripted host.
// A suite whose every test needs one fresh sandbox derives its fixture from it.
struct FolderSandbox {
    TestDir d;
    FileOps fs;
    ScriptedHost host;
};

// A file run that sorts every listed file by its extension (every item reaches the progress
// step, so `betweenItems` runs after each one).
FileSortJob byTypeJob(const QStringList& files);
// A file run that sorts by the whole base name.
FileSortJob byNameJob(const QStringList& files);
// A folder run that sorts by the whole folder name: each listed folder X lands in output/X/X.
FolderSortJob folderByNameJob(const QStringList& folders);

} // namespace velquin::test

#pragma once

#include "engine/filerun.h"
#include "engine/folderrun.h"
#include "engine/runhost.h"

#include <functional>
#include <vector>

namespace velquin::test {

// A window for file and folder runs without widgets: hands out fixed options, answers the clash
// question with `answerYes`, records what the run showed, and calls `betweenItems` with the
// number of items done at every progress step before the last, which is where a scenario
// changes the world under a running run.
class HeadlessHost : public FileRunHost {
public:
    QString outputFolderText() override { return outputText; }
    void setOutputFolderText(const QString& text) override { outputText = text; }
    void information(const QString& text) override { messages.append(text); }
    void focusField(FocusTarget) override {}
    void chooseOutputFolder() override {}
    void setLocked(bool locked) override { locked_ = locked; }
    ClashPolicy clashPolicy() override { return policy; }
    bool askOverwrite(const QString& target) override;
    void setProgress(int position) override;
    TransferMode transferMode() override { return mode; }
    TypeFilter typeFilter() override { return {}; }
    QStringList pictureTypes() override { return {}; }
    QString journalPath() override { return journal; }
    ReplaceKeeper* replaceKeeper() override { return keeper; }
    bool askReplaceUnkept(const QString& reason) override {
        unkeptReasons.append(reason);
        return answerUnkept;
    }
    void closingMessage(const QString& text, const QString& line, const QString&) override {
        information(text);
        closingLine = line;
    }

    // True when the run closed as every run must: unlocked, "分拣工作完成！" as the only
    // message, the bar at 100 before it and back at 0 after it.
    bool endedNormally() const;

    QString outputText;
    ClashPolicy policy = ClashPolicy::Skip;
    TransferMode mode = TransferMode::Copy;
    bool answerYes = false;
    QString journal; // the run's journal, "" for none
    ReplaceKeeper* keeper = nullptr;
    bool answerUnkept = false; // to the question whether to replace what no trash can keep
    std::function<void(int)> betweenItems;
    std::function<void(const QString&)> onAsk; // runs while the clash question is open

    QStringList messages;
    QStringList unkeptReasons; // the reasons the trash question gave, one per time it was asked
    QString closingLine;       // the closing box's count of failed transfers, "" when none failed
    std::vector<int> progress;

private:
    bool locked_ = false;
    int itemSteps_ = 0;
};

// A file run that sorts every listed file by its extension (every item reaches the progress
// step, so `betweenItems` runs after each one).
FileSortJob byTypeJob(const QStringList& files);
// A file run that sorts by the whole base name.
FileSortJob byNameJob(const QStringList& files);
// A folder run that sorts by the whole folder name: each listed folder X lands in output/X/X.
FolderSortJob folderByNameJob(const QStringList& folders);

} // namespace velquin::test

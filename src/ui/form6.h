#pragma once

#include "engine/folderrun.h"
#include "engine/journal.h"
#include "ui/sortwindow.h"

class QLabel;
class QLineEdit;

namespace velquin {

struct AppContext;
class SourceListModel;

// The folder sorting window: the folder list, the three folder criteria, the output folder with
// the clash policy, progress and the start button of the folder run. Created hidden once at
// start-up, right after the file window; shown and hidden only by the window switch.
class TForm6 : public SortWindow {
    Q_OBJECT
public:
    // Registers itself as ctx.form6, builds every control and loads the settings section.
    explicit TForm6(AppContext& ctx, QWidget* parent = nullptr);
    ~TForm6() override;

    // The way in from the file window (its RbForm6Click): shows this window and checks RbForm6.
    void showFromSwitch() override;

    // Handlers, named after control and event (the shared ones are SortWindow's).
    void RbForm1Click(); // hides this window and shows the file window
    void Button1Click(); // add one chosen folder
    void Button5Click(); // add the sub-folders of a chosen folder
    void RbMoveClick();  // the warning question of the move option
    void BtnCopyClick(); // the folder sort run

    // The folder list's entries.
    SourceListModel* folders() const { return folders_; }

    // Band 3: this window's own controls (TabSheet5's tab is never offered)
    QLabel* LabelKeys = nullptr;
    QLineEdit* EdtFileCount = nullptr;

    // What a run of this window is given: the controls as they are now.
    FolderSortJob runJob() const;

private:
    class Host;

    void buildPages();
    const SettingsSection& settingsSection() const override { return kFolderWindowSection; }
    SettingBindings settingBindings() override;
    QWidget* ownField(FocusTarget target) override;
    const char* journalName() const override { return kFoldersJournal; }
    std::optional<Preview> previewRun() override;
    TransferMode previewMode() const override { return TransferMode::Copy; }
    void startRun() override { BtnCopyClick(); }

    SourceListModel* folders_ = nullptr;
};

} // namespace velquin

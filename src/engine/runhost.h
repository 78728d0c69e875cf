#pragma once

#include "engine/types.h"

#include <QString>
#include <QStringList>

namespace velquin {

class ReplaceKeeper;

// What a sort run needs from the window that started it. The windows implement it over their
// controls; tests and the benchmark implement it without widgets. The hooks with a body have a
// default that does nothing, so a host only overrides what it shows.
class RunHost {
public:
    virtual ~RunHost();

    // The output field's text, and writing it back (the run appends the trailing separator).
    virtual QString outputFolderText() = 0;
    virtual void setOutputFolderText(const QString& text) = 0;
    // A message box with the information icon and OK, owned by the window.
    virtual void information(const QString& text) = 0;
    virtual void focusField(FocusTarget target) = 0;
    // The output-folder chooser of the window (its Button3Click).
    virtual void chooseOutputFolder() = 0;
    // true: disable BtnCopy, PageControl1 and Button3, make EdtOutDir read-only, busy cursor;
    // false: undo all of it. Called with false on every way out of a run that locked.
    virtual void setLocked(bool locked) = 0;

    // Read again for every item (folder runs: for every folder).
    virtual ClashPolicy clashPolicy() = 0;
    // The clash question "文件" + target + "已存在，是否覆盖？"; true for Yes.
    virtual bool askOverwrite(const QString& target) = 0;

    // Sets the progress bar (0 to 100), repaints it and lets pending events run (the host may
    // throttle event processing, never the bar's value). Called with the values after items.
    virtual void setProgress(int position) = 0;

    // The bar between two item values while one long item is under way (the files of a folder
    // tree, the bytes of a big file); -1 leaves the bar where it is. Called often inside long
    // items: the place to let pending events run.
    virtual void partialProgress(int position) { (void)position; }
    // The line under the bar: the item being sorted, counts, bytes, speed and time left, a few
    // times a second while a run goes; "" once it is over.
    virtual void progressText(const QString& text) { (void)text; }
    // True once the user asked the run to stop (stop button, Esc, closing the window). The run
    // ends after the file in flight; a long copy stops in the middle and leaves nothing.
    virtual bool stopRequested() { return false; }
    // The closing box: `text` is "分拣工作完成！" or "分拣已停止！"; when transfers failed, `line`
    // counts them and `details` lists them. By default only the text is shown.
    virtual void closingMessage(const QString& text, const QString& line, const QString& details) {
        (void)line;
        (void)details;
        information(text);
    }
    // Where the old content of a replaced target is kept (the desktop trash); nullptr: nowhere.
    virtual ReplaceKeeper* replaceKeeper() { return nullptr; }
    // Asked once in a run, before the first replace whose old target the keeper cannot keep:
    // "无法将被替换的文件放入回收站：" + reason + "。是否仍然替换？"; true for Yes, and the answer
    // holds for the rest of the run. By default No: old targets stay and those items fail.
    virtual bool askReplaceUnkept(const QString& reason) {
        (void)reason;
        return false;
    }
    // The file in which a run writes down what it does, for undo; "" for none.
    virtual QString journalPath() { return QString(); }
};

// The file run reads these again for every item as well.
class FileRunHost : public RunHost {
public:
    virtual TransferMode transferMode() = 0;
    virtual TypeFilter typeFilter() = 0;
    // The texts of the checked items of ChkLstPic.
    virtual QStringList pictureTypes() = 0;
};

} // namespace velquin

#pragma once

#include "engine/preview.h"
#include "engine/types.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QFontMetrics;
class QLabel;
class QPushButton;
class QTableView;

namespace velquin {

class PreviewModel;

// What a run would do, one row per transfer: source, target and the action in words, clashes
// in bold and a warm colour, the items that match no rule greyed at the end. Modal and
// resizable, owned by the window that opens it; the path columns share the width. Tab moves
// from the table to the buttons, and Enter presses the focused button ("关闭" elsewhere).
// exec() returns QDialog::Accepted when the user chose "开始处理" (the caller then starts the
// run), QDialog::Rejected for "关闭" or when the dialog is closed otherwise.
class DlgPreview : public QDialog {
    Q_OBJECT
public:
    // `rows` in run order; matched and unmatched may come mixed, the unmatched are shown last.
    DlgPreview(QWidget* owner, std::vector<PreviewRow> rows, const PreviewCounts& counts, TransferMode mode);
    ~DlgPreview() override;

    // "N 个文件将被复制，M 个冲突将被跳过，K 个不匹配": "移动" for a move run, and what the clash
    // policy does with the conflicts ("将被覆盖", "将逐个询问", "将自动编号", "将只替换旧文件"),
    // nothing of it when there are none.
    static QString countLine(const PreviewCounts& counts, TransferMode mode);
    // `path` shortened to `width` pixels: its start gives way first, so that the folder a file
    // lands in and its name stay whole while they fit, "…" where the cut is; a path that fits
    // stays as it is.
    static QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

    QLabel* LblCount = nullptr;
    QCheckBox* ChkShowUnmatched = nullptr; // "显示不匹配的项目", checked at first
    QTableView* GridPreview = nullptr;
    QPushButton* BtnStart = nullptr; // "开始处理"
    QPushButton* BtnClose = nullptr; // "关闭"

protected:
    // Ctrl+Tab in the table moves on to the next control, as Tab does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PreviewModel* model_ = nullptr;
};

} // namespace velquin

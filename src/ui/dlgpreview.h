#pragma once

#include "engine/preview.h"
#include "engine/types.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

namespace velquin {

class PreviewModel;

// What a run would do, one row per transfer: source, target and the action in words, the
// items that match no rule greyed at the end. Modal and resizable, owned by the window that
// opens it. exec() returns QDialog::Accepted when the user chose "开始处理" (the caller then
// starts the run), QDialog::Rejected for "关闭" or when the dialog is closed otherwise.
class DlgPreview : public QDialog {
    Q_OBJECT
public:
    // `rows` in run order; matched and unmatched may come mixed, the unmatched are shown last.
    DlgPreview(QWidget* owner, std::vector<PreviewRow> rows, const PreviewCounts& counts, TransferMode mode);
    ~DlgPreview() override;

    // "N 个文件将被复制, M 个冲突, K 个不匹配", with "移动" for a move run.
    static QString countLine(const PreviewCounts& counts, TransferMode mode);

    QLabel* LblCount = nullptr;
    QCheckBox* ChkShowUnmatched = nullptr; // "显示不匹配的项目", checked at first
    QTableView* GridPreview = nullptr;
    QPushButton* BtnStart = nullptr; // "开始处理"
    QPushButton* BtnClose = nullptr; // "关闭"

private:
    PreviewModel* model_ = nullptr;
};

} // namespace velquin

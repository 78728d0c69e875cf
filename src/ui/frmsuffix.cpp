#include "ui/frmsuffix.h"

#include "platform/dialogs.h"
#include "platform/text.h"
#include "ui/accessibility.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/placement.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWindow>

namespace velquin {

TfrmSuffix::TfrmSuffix(AppContext& ctx) : ctx_(ctx) {
    ctx.suffix = this;
    setObjectName(QStringLiteral("frmSuffix"));
    setWindowTitle(QStringLiteral("添加文件类型"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    Label1 = new QLabel(QStringLiteral("输入文件扩展名如:*.txt"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(QStringLiteral("*."), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    nameAfterLabel(Edit1, Label1->text());
    Edit1->setFixedWidth(qMax(81, Edit1->fontMetrics().horizontalAdvance(QStringLiteral("*.xxxxxx")) + 12));
    // Patterns are Latin text: start typing without a composing input method.
    Edit1->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    Button1 = new QPushButton(QStringLiteral("添加"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setFixedWidth(qMax(75, Button1->fontMetrics().horizontalAdvance(Button1->text()) + 24));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(Edit1, 1, 0);
    grid->addWidget(Button1, 1, 1);
    // A small box of a fixed size; only a font too large for it makes it as big as its contents.
    setFixedSize(QSize(178, 57).expandedTo(grid->minimumSize()));

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TfrmSuffix::showEvent(QShowEvent* event) {
    if (ctx_.form1 && ctx_.form1->isVisible()) {
        if (QWindow* handle = windowHandle())
            handle->setTransientParent(ctx_.form1->windowHandle());
        centreWindow(this, ctx_.form1->frameGeometry(), ctx_.form1);
    }
    QDialog::showEvent(event);
}

void TfrmSuffix::Button1Click() {
    QString pattern = trimBlanks(Edit1->text());
    // "|" separates the stored patterns; it can never be part of one.
    pattern.remove(QLatin1Char('|'));
    if (!pattern.startsWith(QLatin1String("*.")) || pattern.size() <= 2) {
        ctx_.dialogs.information(nullptr, QStringLiteral("输入文件扩展名如:*.txt !"));
        return;
    }
    if (ctx_.form1) {
        QListWidget* list = ctx_.form1->ListBox2;
        bool listed = false;
        for (int i = 0; i < list->count() && !listed; ++i)
            listed = list->item(i)->text().compare(pattern, Qt::CaseInsensitive) == 0;
        if (!listed)
            list->addItem(pattern);
    }
    accept();
}

} // namespace velquin

#include "ui/form6.h"

#include "ui/appcontext.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velquin {

TForm6::TForm6(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QGuiApplication::applicationDisplayName());
    resize(838, 650);

    Panel9 = new QWidget(this);
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setFixedHeight(33);
    RbForm1 = new QRadioButton(QStringLiteral("文件分拣"), Panel9);
    RbForm1->setObjectName(QStringLiteral("RbForm1"));
    RbForm6 = new QRadioButton(QStringLiteral("文件夹（目录）分拣"), Panel9);
    RbForm6->setObjectName(QStringLiteral("RbForm6"));
    RbForm6->setChecked(true);
    auto* strip = new QHBoxLayout(Panel9);
    strip->addWidget(RbForm1);
    strip->addWidget(RbForm6);
    strip->addStretch();

    auto* bands = new QVBoxLayout(this);
    bands->addWidget(Panel9);
    bands->addStretch();
}

TForm6::~TForm6() = default;

void TForm6::showFromSwitch() {
    show();
    RbForm6->setChecked(true);
}

} // namespace velquin

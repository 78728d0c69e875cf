// Pictures of the windows for looking at the layout: written only when VELQUIN_SHOTS names a folder.
#include "shots.h"

#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "ui/appcontext.h"
#include "ui/appstyle.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/frmsuffix.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace velquin;

TEST(Shots, Form1Pages) {
    const QString dir = test::shotsFolder();
    if (dir.isEmpty())
        GTEST_SKIP() << "VELQUIN_SHOTS not set";
    installAppStyle();
    test::ScriptedDialogs dialogs;
    FileOps fs;
    AppContext ctx{dialogs, fs, QDir::temp().filePath(QStringLiteral("shots.ini"))};
    TForm1 form(ctx);
    TfrmSuffix suffix(ctx);
    form.ListBox2->addItems({QStringLiteral("*.txt"), QStringLiteral("*.doc"), QStringLiteral("*.jpeg"),
                             QStringLiteral("*.png"), QStringLiteral("*.tar.gz"), QStringLiteral("*.x"),
                             QStringLiteral("*.mp3")});
    form.fileList->addAll(
        {QStringLiteral("/home/user/照片/北京游记 001.jpg"),
         QStringLiteral("/home/user/照片/上海游记 002.jpg"), QStringLiteral("/home/user/文档/报告.doc"),
         QStringLiteral("/home/user/文档/报告.pdf"), QStringLiteral("/home/user/music/song.mp3")});
    form.EdtOutDir->setText(QStringLiteral("/home/user/整理/"));
    form.EdtKeys->setText(QStringLiteral("游记 报告"));
    form.EdtOutDir->setFocus();
    test::shootPages(form, form.PageControl1, {0, 1, 2, 3, 4, 5}, dir, QStringLiteral("form1"));
    test::shoot(suffix, dir, QStringLiteral("suffix"));
    TForm3 picker([] { return nullptr; });
    picker.CheckBox1->setFocus();
    test::shoot(picker, dir, QStringLiteral("form3"));
}

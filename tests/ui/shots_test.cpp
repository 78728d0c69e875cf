// Pictures of the windows for looking at the layout: written only when VELQUIN_SHOTS names a folder.
#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/frmsuffix.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace velquin;

TEST(Shots, Form1Pages) {
    const QString dir = qEnvironmentVariable("VELQUIN_SHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "VELQUIN_SHOTS not set";
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
    form.show();
    for (int i = 0; i < 6; ++i) {
        form.PageControl1->setCurrentIndex(i);
        QApplication::processEvents();
        form.grab().save(dir + QStringLiteral("/form1_page%1.png").arg(i));
    }
    suffix.show();
    QApplication::processEvents();
    suffix.grab().save(dir + QStringLiteral("/suffix.png"));
}

#include "ui/appcontext.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"
#include "ui/startup.h"

#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTranslator>

#include <gtest/gtest.h>

namespace velquin {
namespace {

class StartUp : public ::testing::Test {
protected:
    test::TestDir dir;
    test::ScriptedDialogs dialogs;
    FileOps fs;

    QWidgetList visibleWindows() const {
        QWidgetList shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                shown.append(w);
        return shown;
    }
};

TEST_F(StartUp, FiveWindowsWithBothSectionsLoadedAndOnlyTheFileWindowShown) {
    const QString settings =
        dir.file(QStringLiteral("Velquin.ini"), "[Parameter]\r\nEdtKeys=file keys\r\nPage=3\r\n"
                                                "[Parameter2]\r\nEdtKeys=folder keys\r\nPage=1\r\n");
    AppContext ctx{dialogs, fs, settings};
    {
        ProgramWindows windows(ctx);
        ASSERT_NE(ctx.form1, nullptr);
        ASSERT_NE(ctx.form6, nullptr);
        ASSERT_NE(ctx.form3, nullptr);
        ASSERT_NE(ctx.about, nullptr);
        ASSERT_NE(ctx.suffix, nullptr);
        EXPECT_EQ(&windows.form1(), ctx.form1);
        EXPECT_EQ(&windows.form6(), ctx.form6);

        // Both sections are in their windows before anything is shown.
        EXPECT_EQ(ctx.form1->EdtKeys->text(), QStringLiteral("file keys"));
        EXPECT_EQ(ctx.form1->PageControl1->currentIndex(), 3);
        EXPECT_EQ(ctx.form6->EdtKeys->text(), QStringLiteral("folder keys"));
        EXPECT_EQ(ctx.form6->PageControl1->currentIndex(), 1);
        EXPECT_TRUE(visibleWindows().isEmpty());

        windows.form1().show();
        EXPECT_EQ(visibleWindows(), QWidgetList{ctx.form1});
        EXPECT_EQ(ctx.form1->windowTitle(), QStringLiteral("Velquin"));
        EXPECT_EQ(ctx.form6->windowTitle(), QStringLiteral("Velquin"));
        EXPECT_EQ(ctx.about->windowTitle(), QStringLiteral("关于 - Velquin"));
        EXPECT_TRUE(dialogs.calls.isEmpty());
    }
    // The context never outlives the windows it points at.
    EXPECT_EQ(ctx.form1, nullptr);
    EXPECT_EQ(ctx.form6, nullptr);
    EXPECT_EQ(ctx.about, nullptr);
}

TEST_F(StartUp, StartsQuietlyWithoutUsableSettings) {
    // A configuration folder that does not exist, and a settings "file" that is a folder.
    const QString missing = dir.path(QStringLiteral("no/such/folder/Velquin.ini"));
    const QString unreadable = dir.folder(QStringLiteral("Velquin.ini"));
    for (const QString& path : {missing, unreadable}) {
        AppContext ctx{dialogs, fs, path};
        ProgramWindows windows(ctx);
        windows.form1().show();
        EXPECT_EQ(visibleWindows(), QWidgetList{ctx.form1}) << path.toStdString();
        EXPECT_EQ(ctx.form1->PageControl1->currentIndex(), 0);
        EXPECT_EQ(ctx.form6->PageControl1->currentIndex(), 0);
        EXPECT_TRUE(dialogs.calls.isEmpty());
    }
}

TEST_F(StartUp, ApplicationIsNamedAndSpeaksChinese) {
    QApplication* app = qApp;
    ASSERT_NE(app, nullptr);
    QTranslator* translator = prepareApplication(*app);
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Velquin"));
    EXPECT_EQ(QApplication::applicationVersion(), QStringLiteral("2.4.1.0"));
    // No display name is set, so Qt appends none to the captions: the one it reports is only
    // the application's name, and follows it.
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("probe"));
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    EXPECT_TRUE(QApplication::organizationName().isEmpty());
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    ASSERT_NE(translator, nullptr) << "Qt's Simplified Chinese catalogue (qt6-translations-l10n) is missing";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

} // namespace
} // namespace velquin

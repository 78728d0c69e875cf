#include "ui/appcontext.h"
#include "ui/appstyle.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"
#include "ui/singleinstance.h"
#include "ui/startup.h"

#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// "Open with": files named on the command line go to the file window's list, folders to the
// folder window's, and the folder window comes first when it alone got entries.
TEST_F(StartUp, NamedPathsGoToTheirWindowsList) {
    AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
    ProgramWindows windows(ctx);
    const QString file = dir.file(QStringLiteral("a.jpg"), "a");
    const QString folder = dir.folder(QStringLiteral("album"));
    windows.openPaths({file, dir.path(QStringLiteral("missing.txt")), folder}, true);
    EXPECT_EQ(windows.form1().fileList->entries(), QStringList{file});
    EXPECT_EQ(windows.form6().folders()->entries(), QStringList{folder});
    EXPECT_TRUE(visibleWindows().isEmpty()) << "files as well: the file window is the one to show";

    windows.form1().show();
    windows.openPaths({folder}, true);
    EXPECT_EQ(visibleWindows(), QWidgetList{ctx.form6});
    EXPECT_TRUE(ctx.form6->RbForm6->isChecked());
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

// The width `w`'s caption needs whole in its own font, 0 for a widget with no caption to keep.
int captionWidth(const QWidget* w) {
    const QFontMetrics fm(w->font());
    const auto metric = [w](QStyle::PixelMetric m) { return w->style()->pixelMetric(m); };
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return fm.horizontalAdvance(label->text()) + label->width() - label->contentsRect().width();
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    const int text = button ? fm.horizontalAdvance(button->text()) : 0;
    if (qobject_cast<const QCheckBox*>(w))
        return text + metric(QStyle::PM_IndicatorWidth) + metric(QStyle::PM_CheckBoxLabelSpacing);
    if (qobject_cast<const QRadioButton*>(w))
        return text + metric(QStyle::PM_ExclusiveIndicatorWidth) + metric(QStyle::PM_RadioButtonLabelSpacing);
    return qobject_cast<const QPushButton*>(w) ? text + 2 * metric(QStyle::PM_DefaultFrameWidth) : 0;
}

TEST_F(StartUp, EveryCaptionFitsWholeInALargerFont) {
    const QFont normal = QApplication::font();
    QFont larger = normal;
    larger.setPointSizeF(QFontInfo(normal).pointSizeF() * 1.5);
    QApplication::setFont(larger);
    {
        AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
        ProgramWindows windows(ctx);
        for (QWidget* window : QWidgetList{ctx.form1, ctx.form6, ctx.form3, ctx.about, ctx.suffix}) {
            window->show();
            auto* pages = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
            for (int page = 0; page < (pages ? pages->count() : 1); ++page) {
                if (pages)
                    pages->setCurrentIndex(page);
                QApplication::processEvents();
                for (const QWidget* w : window->findChildren<QWidget*>()) {
                    if (!w->isVisibleTo(window))
                        continue;
                    EXPECT_GE(w->width(), captionWidth(w)) << qPrintable(w->objectName()) << " page " << page;
                }
            }
            window->hide();
        }
    }
    QApplication::setFont(normal);
}

TEST_F(StartUp, IndicatorsAndTheFocusFrameStandOutInALightAndADarkTheme) {
    AppStyle style(QStringLiteral("Fusion"));
    // A dark theme whose check box Fusion draws a shade off the panel and whose highlight is too
    // dim to frame the focus.
    QPalette dark = style.standardPalette();
    for (const auto& [role, rgb] : {std::pair{QPalette::Window, 0x303030},
                                    {QPalette::Base, 0x242424},
                                    {QPalette::Button, 0x353535},
                                    {QPalette::Text, 0xffffff},
                                    {QPalette::Highlight, 0x15539e}})
        dark.setColor(role, QColor::fromRgb(QRgb(rgb)));
    for (const QPalette& theme : {style.standardPalette(), dark}) {
        for (const QPalette::ColorRole under : {QPalette::Base, QPalette::Window}) {
            // An unchecked box and circle, and a focused field's frame, each on its own background.
            QStyleOptionButton box;
            box.rect = {0, 0, 16, 16};
            QStyleOptionFrame field;
            field.rect = {0, 0, 40, 16};
            field.lineWidth = 1;
            field.state = QStyle::State_HasFocus;
            const std::tuple<QStyle::PrimitiveElement, QStyleOption*, QPoint> parts[] = {
                {QStyle::PE_IndicatorCheckBox, &box, {}},
                {QStyle::PE_IndicatorRadioButton, &box, {}},
                {QStyle::PE_FrameLineEdit, &field, {1, 8}}};
            for (const auto& [element, option, at] : parts) {
                option->palette = theme;
                option->state |= QStyle::State_Enabled | QStyle::State_Off;
                QImage image(option->rect.size(), QImage::Format_RGB32);
                image.fill(theme.color(under));
                QPainter painter(&image);
                style.drawPrimitive(element, option, &painter);
                painter.end();
                double strongest = 1;
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x)
                        strongest =
                            std::max(strongest, contrastRatio(image.pixelColor(x, y), theme.color(under)));
                }
                // The field: its frame's second pixel, so the frame is two wide.
                const double seen =
                    at.isNull() ? strongest : contrastRatio(image.pixelColor(at), theme.color(under));
                EXPECT_GE(seen, 3.0) << element << " on " << qPrintable(theme.color(under).name());
            }
        }
    }
}

// The program itself, started as a user would, with every per-user folder inside the test's.
class SecondStart : public StartUp {
protected:
    void start(QProcess& program, const QStringList& arguments = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
            env.insert(QLatin1String(var), dir.folder(QLatin1String(var)));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QString::fromUtf8(VELQUIN_PROGRAM), arguments);
        ASSERT_TRUE(program.waitForStarted());
    }
    QString socket() const { return dir.path(QStringLiteral("velquin.socket")); }
};

TEST_F(SecondStart, BringsTheRunningCopyForwardAndLeaves) {
    QProcess first;
    start(first);
    QDeadlineTimer listening(20000);
    while (!QFileInfo::exists(socket()) && !listening.hasExpired() && first.state() == QProcess::Running)
        first.waitForFinished(20);
    ASSERT_TRUE(QFileInfo::exists(socket())) << "the first copy never listened";
    QProcess second;
    start(second);
    // It leaves with 0 only once the first copy answered that its window is shown.
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

TEST_F(SecondStart, VersionAndHelpPrintAndEndWithoutAWindow) {
    const std::pair<const char*, const char*> cases[] = {{"--version", "Velquin "}, {"--help", "--version"}};
    for (const auto& [option, printed] : cases) {
        QProcess program;
        start(program, {QLatin1String(option)});
        ASSERT_TRUE(program.waitForFinished(15000)) << option;
        EXPECT_EQ(program.exitCode(), 0) << option;
        EXPECT_TRUE(program.readAllStandardOutput().contains(printed)) << option;
        EXPECT_FALSE(QFileInfo::exists(socket())) << option << " became the running copy";
    }
}

TEST_F(SecondStart, ASocketLeftBehindIsTakenOver) {
    // What a copy that was killed leaves: a socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socket().toLocal8Bit();
    ASSERT_LT(size_t(path.size()), sizeof(address.sun_path));
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    SingleInstance instance(socket());
    ASSERT_EQ(instance.start(), SingleInstance::Role::First);
    QSignalSpy shown(&instance, &SingleInstance::showRequested);
    QProcess second;
    start(second);
    EXPECT_TRUE(shown.wait(15000));
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
}

} // namespace
} // namespace velquin

#include "ui/appcontext.h"
#include "ui/appstyle.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/form6.h"
#include "ui/frmabout.h"
#include "ui/frmsuffix.h"
#include "ui/singleinstance.h"
#include "ui/startup.h"
#include "ui/windowparts.h"

#include "lists/sourcelistmodel.h"
#include "platform/fileops.h"
#include "support/scripteddialogs.h"
#include "support/testdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>
#include <QVBoxLayout>

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
    const QStyle* style = w->style();
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->wordWrap() || Qt::mightBeRichText(label->text()))
            return 0;
        return fm.horizontalAdvance(label->text()) + label->width() - label->contentsRect().width();
    }
    if (const auto* check = qobject_cast<const QCheckBox*>(w))
        return fm.horizontalAdvance(check->text()) + style->pixelMetric(QStyle::PM_IndicatorWidth) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    if (const auto* radio = qobject_cast<const QRadioButton*>(w))
        return fm.horizontalAdvance(radio->text()) + style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    if (const auto* button = qobject_cast<const QPushButton*>(w))
        return fm.horizontalAdvance(button->text()) + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return 0;
}

TEST_F(StartUp, EveryCaptionFitsWholeInALargerFont) {
    const QFont normal = QApplication::font();
    QFont larger = normal;
    if (normal.pointSizeF() > 0)
        larger.setPointSizeF(normal.pointSizeF() * 1.5);
    else
        larger.setPixelSize(normal.pixelSize() * 3 / 2);
    QApplication::setFont(larger);
    {
        AppContext ctx{dialogs, fs, dir.path(QStringLiteral("Velquin.ini"))};
        ProgramWindows windows(ctx);
        for (QWidget* window : QWidgetList{ctx.form1, ctx.form6, ctx.form3, ctx.about, ctx.suffix}) {
            window->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
            const auto captionsFit = [window](int page) {
                for (const QWidget* w : window->findChildren<QWidget*>()) {
                    if (!w->isVisibleTo(window))
                        continue;
                    EXPECT_GE(w->width(), captionWidth(w)) << window->objectName().toStdString() << " page "
                                                           << page << " " << w->objectName().toStdString();
                }
            };
            auto* pages = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
            for (int page = 0; page < (pages ? pages->count() : 1); ++page) {
                if (pages)
                    pages->setCurrentIndex(page);
                QApplication::processEvents();
                captionsFit(page);
            }
            window->hide();
        }
    }
    QApplication::setFont(normal);
}

// The greatest contrast between `against` and a pixel of `image` inside `area`.
double strongest(const QImage& image, const QRect& area, const QColor& against) {
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, contrastRatio(image.pixelColor(x, y), against));
    }
    return best;
}

TEST_F(StartUp, IndicatorsAndTheFocusFrameStandOutInALightAndADarkTheme) {
    AppStyle style(QStringLiteral("Fusion"));
    // A dark theme whose check box is drawn a shade off its panel and whose highlight is too dim
    // to frame the focus on it.
    QPalette dark = style.standardPalette();
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::Text, QColor(0xff, 0xff, 0xff));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9e));
    for (const QPalette& theme : {style.standardPalette(), dark}) {
        QWidget page;
        page.setPalette(theme);
        auto* field = new QLineEdit(&page);
        auto* sheet = new QWidget(&page);
        QFrame* panel = whitePanel(sheet);
        auto* check = new QCheckBox(QStringLiteral("文件修改时间"), panel);
        auto* radio = new QRadioButton(QStringLiteral("图片高："), panel);
        auto* onPanel = new QVBoxLayout(panel);
        onPanel->addWidget(check);
        onPanel->addWidget(radio);
        auto* rows = new QVBoxLayout(&page);
        rows->addWidget(field);
        rows->addWidget(sheet);
        for (QWidget* w :
             {static_cast<QWidget*>(field), static_cast<QWidget*>(check), static_cast<QWidget*>(radio)})
            w->setStyle(&style);
        page.show();
        page.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([field] { return field->hasFocus(); }));
        const QImage shot = page.grab().toImage();
        const QColor base = theme.color(QPalette::Base);
        for (QAbstractButton* button :
             {static_cast<QAbstractButton*>(check), static_cast<QAbstractButton*>(radio)}) {
            QStyleOptionButton option;
            option.initFrom(button);
            const auto element =
                button == check ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator;
            const QRect indicator =
                style.subElementRect(element, &option, button).translated(button->mapTo(&page, QPoint()));
            EXPECT_GE(strongest(shot, indicator, base), 3.0)
                << button->text().toStdString() << " on " << base.name().toStdString();
        }
        // Two pixels of the focused field's frame, halfway down its left edge.
        const QPoint edge = field->mapTo(&page, QPoint(0, field->height() / 2));
        for (int in : {0, 1})
            EXPECT_GE(contrastRatio(shot.pixelColor(edge + QPoint(in, 0)), theme.color(QPalette::Window)),
                      3.0)
                << in << " on " << theme.color(QPalette::Window).name().toStdString();
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

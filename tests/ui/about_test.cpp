#include "ui/frmabout.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace velquin {
namespace {

// A one-page web server on 127.0.0.1: records each request line and answers with `page`, or
// keeps the connection open without answering while `silent` is set.
class TinyHttpServer : public QObject {
public:
    TinyHttpServer() {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    if (held.removeOne(socket))
                        ++heldClosedByClient;
                    socket->deleteLater();
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort())); }

    QTcpServer server;
    QList<QByteArray> requestLines;
    QByteArray page = "<html><body><p>From the server</p></body></html>";
    QByteArray contentType = "text/html; charset=utf-8";
    bool silent = false;
    QList<QTcpSocket*> held; // connections left unanswered
    int heldClosedByClient = 0;

private:
    void serve(QTcpSocket* socket) {
        QByteArray& buffer = buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        requestLines.append(buffer.left(buffer.indexOf("\r\n")));
        if (silent) {
            held.append(socket);
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
                      "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(page.size()) +
                      "\r\n\r\n" + page);
        socket->disconnectFromHost();
    }
    QHash<QTcpSocket*, QByteArray> buffers;
};

class AboutBox : public ::testing::Test {
protected:
    TfrmAbout about;

    QString shownText() const { return about.WebBrowser1->toPlainText(); }
};

TEST_F(AboutBox, FixedSizeDialogWithCaptionAndCloseButton) {
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 - Velquin"));
    EXPECT_EQ(about.size(), QSize(380, 392));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(about.WebBrowser1->geometry(), QRect(0, 0, 380, 360));
    EXPECT_EQ(about.Button1->text(), QStringLiteral("确定"));
    EXPECT_EQ(about.Button1->size(), QSize(75, 25));
    const int leftMargin = about.Button1->x(),
              rightMargin = about.width() - about.Button1->geometry().right() - 1;
    EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
    EXPECT_GE(about.Button1->y(), 360);
    EXPECT_EQ(about.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1")), about.WebBrowser1);
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("Button1")), about.Button1);
}

TEST_F(AboutBox, AddressCarriesPathAndVersionQuery) {
    const QUrl url = about.aboutPageUrl();
    EXPECT_EQ(url.scheme(), QStringLiteral("http"));
    EXPECT_FALSE(url.host().isEmpty());
    EXPECT_EQ(url.path(), QStringLiteral("/soft/AboutVelquin.asp"));
    EXPECT_EQ(url.query(), QStringLiteral("VER=2.41"));
}

TEST_F(AboutBox, EachShowingRequestsThePageAndShowsIt) {
    TinyHttpServer server;
    about.setServerForTests(server.url());

    for (int showing = 1; showing <= 2; ++showing) {
        about.show();
        EXPECT_TRUE(shownText().contains(QStringLiteral("2.4.1.0"))); // while the page loads
        QTRY_COMPARE(shownText(), QStringLiteral("From the server"));
        ASSERT_EQ(server.requestLines.size(), showing);
        EXPECT_EQ(server.requestLines.last(), QByteArray("GET /soft/AboutVelquin.asp?VER=2.41 HTTP/1.1"));
        about.hide();
    }
}

TEST_F(AboutBox, PageInLegacyCharsetIsDecoded) {
    TinyHttpServer server;
    server.contentType = "text/html";
    // "关于" in GBK, declared by the page itself.
    server.page = "<html><head><meta charset=\"gbk\"></head><body>\xb9\xd8\xd3\xda</body></html>";
    about.setServerForTests(server.url());
    about.show();
    QTRY_COMPARE(shownText(), QStringLiteral("关于"));
}

TEST_F(AboutBox, OfflineKeepsTheLocalTextWithVersions) {
    QTcpServer closed; // a port that was free a moment ago: connection refused
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    about.setServerForTests(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));

    QSignalSpy done(about.findChild<QNetworkAccessManager*>(), &QNetworkAccessManager::finished);
    about.show();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Velquin")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("产品版本：2.4.1.0")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("文件版本：0.3.6.9")));
}

TEST_F(AboutBox, LateReplyOfAnEarlierShowingIsDropped) {
    TinyHttpServer server;
    server.silent = true;
    about.setServerForTests(server.url());
    about.show();
    QTRY_COMPARE(server.requestLines.size(), 1);
    about.hide();

    server.silent = false;
    server.page = "<p>Second</p>";
    about.show();
    QTRY_COMPARE(shownText(), QStringLiteral("Second"));
    EXPECT_EQ(server.requestLines.size(), 2);
    QTRY_COMPARE(server.heldClosedByClient, 1); // the earlier request was given up
}

TEST_F(AboutBox, EscAndOkCloseTheBox) {
    about.setServerForTests(QUrl(QStringLiteral("http://127.0.0.1:1")));
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);

    about.show();
    QTest::mouseClick(about.Button1, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutBoxPlacement, CentredOverTheMainWindowEvenWhenItIsHidden) {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 838, 648);
    TfrmAbout box([&mainWindow] { return &mainWindow; });
    box.setServerForTests(QUrl(QStringLiteral("http://127.0.0.1:1")));
    for (bool mainVisible : {true, false}) {
        mainWindow.setVisible(mainVisible);
        box.show();
        EXPECT_EQ(box.frameGeometry().center(), mainWindow.frameGeometry().center()) << mainVisible;
        box.hide();
    }
}

TEST_F(AboutBox, LinksOfThePageAreNotFollowedInsideTheBox) {
    EXPECT_FALSE(about.WebBrowser1->openLinks());
}

} // namespace
} // namespace velquin

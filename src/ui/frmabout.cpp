#include "ui/frmabout.h"

#include "ui/placement.h"
#include "ui/qtdialogs.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QUrlQuery>

namespace velquin {

namespace {

// The maker's web server. Only tests point the box elsewhere.
const char kAboutServer[] = "http://www.velquin.com";
const char kAboutPath[] = "/soft/AboutVelquin.asp";

// A page that never answers must not keep a request open for the life of the program.
constexpr int kTransferTimeoutMs = 15000;
// An about page is a few kilobytes; anything far bigger is not one and is not read into memory.
constexpr qint64 kMaxPageBytes = 2 * 1024 * 1024;

// Shows what it is given and nothing else: a remote page must not make the box read local
// files (a relative image path resolves to one) or fetch anything.
class AboutPageView : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

// The page's text in the character set its server or its own markup declares; UTF-8 otherwise.
QString decodePage(const QByteArray& body, const QByteArray& contentType) {
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QString name;
    auto m = charset.match(QString::fromLatin1(contentType));
    if (!m.hasMatch())
        m = charset.match(QString::fromLatin1(body.left(2048)));
    if (m.hasMatch())
        name = m.captured(1);
    if (!name.isEmpty()) {
        QStringDecoder decoder(name.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

} // namespace

TfrmAbout::TfrmAbout(std::function<QWidget*()> mainWindow, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(std::move(mainWindow)), server_(QString::fromLatin1(kAboutServer)),
      net_(new QNetworkAccessManager(this)) {
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(380, 392);

    WebBrowser1 = new AboutPageView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(0, 0, 380, 360);
    WebBrowser1->setOpenLinks(false);
    WebBrowser1->setFocusPolicy(Qt::ClickFocus);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        // Links of the page open in the user's browser; the box itself only ever shows the page.
        const QUrl target = aboutPageUrl().resolved(link);
        if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https"))
            QDesktopServices::openUrl(target);
    });

    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    const int buttonWidth = qMax(75, Button1->fontMetrics().horizontalAdvance(Button1->text()) + 24);
    Button1->setGeometry((380 - buttonWidth) / 2, 360 + (32 - 25) / 2, buttonWidth, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    connect(net_, &QNetworkAccessManager::finished, this, &TfrmAbout::pageArrived);
    FormCreate();
}

TfrmAbout::~TfrmAbout() {
    if (reply_)
        reply_->abort();
}

void TfrmAbout::FormCreate() {
    setWindowTitle(QStringLiteral("关于 - ") + applicationTitle());
}

QUrl TfrmAbout::aboutPageUrl() const {
    QUrl url = server_;
    url.setPath(QString::fromLatin1(kAboutPath));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("VER"), QString::fromLatin1(kAboutVersion));
    url.setQuery(query);
    return url;
}

void TfrmAbout::setServerForTests(const QUrl& server) {
    server_ = server;
}

QString TfrmAbout::localText() {
    return QStringLiteral("<div align=\"center\"><br><br><h2>%1</h2>"
                          "<p>产品版本：%2<br>文件版本：%3</p></div>")
        .arg(applicationTitle().toHtmlEscaped(), QString::fromLatin1(kProductVersion),
             QString::fromLatin1(kFileVersion));
}

void TfrmAbout::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        centreOverMainWindow();
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfrmAbout::FormShow() {
    // A reply still on its way belongs to an earlier showing and must not replace this one.
    if (reply_) {
        QNetworkReply* old = reply_;
        reply_ = nullptr;
        old->abort();
    }
    WebBrowser1->setHtml(localText());

    QNetworkRequest request(aboutPageUrl());
    request.setTransferTimeout(kTransferTimeoutMs);
    reply_ = net_->get(request);
    connect(reply_, &QNetworkReply::downloadProgress, this, [reply = reply_.data()](qint64 received, qint64) {
        if (received > kMaxPageBytes)
            reply->abort();
    });
}

void TfrmAbout::pageArrived(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_)
        return;
    reply_ = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300)
        return; // the local text stays; the box says nothing of its own
    const QByteArray body = reply->readAll();
    WebBrowser1->setHtml(decodePage(body, reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()));
}

void TfrmAbout::centreOverMainWindow() {
    QWidget* anchor = mainWindow_ ? mainWindow_() : nullptr;
    // Over the file window even while it is hidden (the folder window opened the box).
    const QRect over = anchor ? anchor->frameGeometry() : centringArea(this, nullptr);
    centreWindow(this, over, anchor && anchor->isVisible() ? anchor : nullptr);
}

} // namespace velquin

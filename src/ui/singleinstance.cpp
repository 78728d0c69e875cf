#include "ui/singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace velquin {

namespace {

const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShown = QByteArrayLiteral("shown\n");
// "open", then each path percent-encoded after a tab, on one line.
const QByteArray kOpen = QByteArrayLiteral("open");

QByteArray request(const QStringList& paths) {
    if (paths.isEmpty())
        return kShow;
    QByteArray line = kOpen;
    for (const QString& path : paths)
        line += '\t' + path.toUtf8().toPercentEncoding();
    return line + '\n';
}
// Long enough for a busy copy (a run lets events through every few milliseconds).
constexpr int kAnswerMs = 5000;
constexpr int kConnectMs = 1000;

} // namespace

QString SingleInstance::defaultName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return QDir(runtime).filePath(QStringLiteral("velquin.socket"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("velquin-%1.socket").arg(::getuid()));
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::tellRunning(const QStringList& paths) const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs))
        return Role::Unavailable;
    socket.write(request(paths));
    if (!socket.waitForBytesWritten(kConnectMs))
        return Role::NoAnswer;
    QByteArray reply;
    while (!reply.endsWith('\n') && socket.waitForReadyRead(kAnswerMs))
        reply += socket.readAll();
    return reply == kShown ? Role::Told : Role::NoAnswer;
}

SingleInstance::Role SingleInstance::start(const QStringList& paths) {
    if (const Role told = tellRunning(paths); told != Role::Unavailable)
        return told;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Another copy may have started meanwhile; if not, the socket is one left behind.
        if (server_->serverError() == QAbstractSocket::AddressInUseError) {
            if (const Role told = tellRunning(paths); told != Role::Unavailable)
                return told;
            QLocalServer::removeServer(name_);
        }
        if (!server_->listen(name_)) {
            delete server_;
            server_ = nullptr;
            return Role::Unavailable;
        }
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
    return Role::First;
}

void SingleInstance::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            const QList<QByteArray> fields = line.chopped(1).split('\t');
            const bool open = line.endsWith('\n') && fields.first() == kOpen;
            if (open) {
                QStringList paths;
                for (qsizetype i = 1; i < fields.size(); ++i)
                    paths.append(QString::fromUtf8(QByteArray::fromPercentEncoding(fields.at(i))));
                emit openRequested(paths);
            }
            if (open || line == kShow) {
                emit showRequested();
                socket->write(kShown);
                socket->flush(); // the asking copy waits for it, whatever this one does next
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace velquin

#include "platform/qt/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <memory>

namespace sundral {
namespace {

// Generous limits: a healthy instance answers at once; these only bound a hung one.
constexpr int kConnectTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 2000;
constexpr int kLockTimeoutMs = 10000;

} // namespace

TSingleInstance::TSingleInstance(const QString& ServerName, QObject* Parent)
    : QObject(Parent), FServerName(ServerName) {}

QString TSingleInstance::SessionKey() {
    QString key;
    for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty()) key += (key.isEmpty() ? QString() : QStringLiteral("+")) + value;
    }
    if (key.isEmpty()) key = qEnvironmentVariable("XDG_SESSION_ID");
    // Display names hold ':' and may name a host or a path: keep the socket name one plain,
    // short file name.
    for (QChar& c : key)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'+')
            c = u'_';
    return key.left(48);
}

QString TSingleInstance::DefaultServerName() {
    QString name = QStringLiteral("OrvaneSundral.MainWindow.") + QString::number(getuid());
    if (const QString session = SessionKey(); !session.isEmpty())
        name += QLatin1Char('.') + session;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return QDir(runtimeDir).filePath(name);
    return QDir(QDir::tempPath()).filePath(name);
}

bool TSingleInstance::Listening() const {
    return FServer && FServer->isListening();
}

TInstanceResult TSingleInstance::Claim(uint16_t Message, const QByteArray& Data) {
    QLockFile lock(FServerName + QStringLiteral(".lock"));
    // Not getting the lock (a start that hangs while holding it) must not keep us from
    // starting: go on without it.
    const bool locked = lock.tryLock(kLockTimeoutMs);
    if (SendMessage(Message, Data)) return irAlreadyRunning;
    const bool listening = Listen();
    if (locked) lock.unlock();
    return listening ? irClaimed : irUnavailable;
}

bool TSingleInstance::SendMessage(uint16_t Message, const QByteArray& Data) {
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    const char bytes[2] = {static_cast<char>(Message >> 8), static_cast<char>(Message & 0xFF)};
    socket.write(bytes, sizeof bytes);
    socket.write(Data.left(kMaxMessageData));
    socket.waitForBytesWritten(kWriteTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWriteTimeoutMs);
    // Whether the instance read the message is not checked: it answered, so it runs.
    return true;
}

bool TSingleInstance::Listen() {
    if (!FServer) {
        FServer = new QLocalServer(this);
        FServer->setSocketOptions(QLocalServer::UserAccessOption);
        connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::AcceptConnections);
    }
    // Nobody answered, so a socket file under our name is left over from a crashed instance.
    QLocalServer::removeServer(FServerName);
    return FServer->listen(FServerName);
}

void TSingleInstance::AcceptConnections() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        // What the connection sent so far; it lives as long as the socket's connections.
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, received] { ReadMessage(socket, *received); });
        connect(socket, &QLocalSocket::disconnected, this,
                [this, socket, received] { EndMessage(socket, *received); });
        // The bytes may have arrived before we connected to readyRead.
        ReadMessage(socket, *received);
    }
}

void TSingleInstance::ReadMessage(QLocalSocket* Socket, QByteArray& Received) {
    Received += Socket->readAll();
    // The data's size comes from the peer: a connection that sends too much is dropped.
    if (Received.size() > 2 + kMaxMessageData) {
        disconnect(Socket, nullptr, this, nullptr);
        Received.clear();
        Socket->abort();
        Socket->deleteLater();
    }
}

void TSingleInstance::EndMessage(QLocalSocket* Socket, QByteArray& Received) {
    ReadMessage(Socket, Received);
    disconnect(Socket, nullptr, this, nullptr);
    Socket->deleteLater();
    if (Received.size() < 2) return;
    const uint16_t message = static_cast<uint16_t>((static_cast<uint8_t>(Received[0]) << 8) |
                                                   static_cast<uint8_t>(Received[1]));
    const QByteArray data = Received.mid(2);
    Received.clear();
    if (OnMessage) OnMessage(message, data);
}

} // namespace sundral

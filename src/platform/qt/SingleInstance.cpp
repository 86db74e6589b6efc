#include "platform/qt/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace sundral {
namespace {

// Generous limits: a healthy instance answers at once; these only bound a hung one.
constexpr int kConnectTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 2000;
constexpr int kLockTimeoutMs = 10000;

} // namespace

TSingleInstance::TSingleInstance(const QString& ServerName, QObject* Parent)
    : QObject(Parent), FServerName(ServerName) {}

QString TSingleInstance::DefaultServerName() {
    const QString name = QStringLiteral("OrvaneSundral.MainWindow.") + QString::number(getuid());
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QFileInfo(runtimeDir).isDir())
        return QDir(runtimeDir).filePath(name);
    return QDir(QDir::tempPath()).filePath(name);
}

bool TSingleInstance::Listening() const {
    return FServer && FServer->isListening();
}

TInstanceResult TSingleInstance::Claim(uint16_t Message) {
    QLockFile lock(FServerName + QStringLiteral(".lock"));
    // Not getting the lock (a start that hangs while holding it) must not keep us from
    // starting: go on without it.
    const bool locked = lock.tryLock(kLockTimeoutMs);
    if (SendMessage(Message)) return irAlreadyRunning;
    const bool listening = Listen();
    if (locked) lock.unlock();
    return listening ? irClaimed : irUnavailable;
}

bool TSingleInstance::SendMessage(uint16_t Message) {
    QLocalSocket socket;
    socket.connectToServer(FServerName);
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    const char bytes[2] = {static_cast<char>(Message >> 8), static_cast<char>(Message & 0xFF)};
    socket.write(bytes, sizeof bytes);
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadMessage(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The bytes may have arrived before we connected to readyRead.
        ReadMessage(socket);
    }
}

void TSingleInstance::ReadMessage(QLocalSocket* Socket) {
    if (Socket->bytesAvailable() < 2) return;
    // One message per connection: whatever follows is not read.
    disconnect(Socket, &QLocalSocket::readyRead, this, nullptr);
    char bytes[2];
    Socket->read(bytes, sizeof bytes);
    const uint16_t message = static_cast<uint16_t>((static_cast<uint8_t>(bytes[0]) << 8) |
                                                   static_cast<uint8_t>(bytes[1]));
    Socket->disconnectFromServer();
    if (OnMessage) OnMessage(message);
}

} // namespace sundral

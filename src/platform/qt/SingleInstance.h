// One running instance per user and display.
//
// The running instance listens on a local socket under a fixed name:
// "OrvaneSundral.MainWindow.<uid>.<session>" in $XDG_RUNTIME_DIR (private to the user) when
// that is set and exists, otherwise in the temporary folder (QDir::tempPath, which follows
// $TMPDIR). <session> names the display the windows appear on ($WAYLAND_DISPLAY and
// $DISPLAY, or $XDG_SESSION_ID without either), so a start on a second display of the same
// user gets a window of its own there; without any of them the name ends at <uid>.
//
// Protocol: a later start connects and sends one message, the message number as two bytes,
// high byte first (0x1A 0x01 for activation), optionally followed by data (a file name as
// UTF-8), then disconnects. The running instance reads each connection to its end and hands
// the number and the data to OnMessage. Connections that send fewer than two bytes, or more
// than kMaxMessageData bytes of data, are dropped.
//
// Claim() settles who runs, under a lock file next to the socket so that two starts at the
// same moment cannot both take over a stale socket:
//  - a listening instance answers: the message is sent, the result is irAlreadyRunning;
//  - nobody answers (no socket, or one left by a crashed instance): the old name is removed,
//    this process listens, the result is irClaimed;
//  - listening fails (the name is taken by a file we may not remove): irUnavailable, and the
//    program runs without single-instance protection.
//
// Threading: GUI thread; OnMessage runs from the event loop. Ownership: the object owns its
// server and the connections it accepted.
#pragma once

#include <cstdint>
#include <functional>

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace sundral {

enum TInstanceResult { irClaimed, irAlreadyRunning, irUnavailable };

// The most data one message may carry.
inline constexpr qsizetype kMaxMessageData = 64 * 1024;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& ServerName, QObject* Parent = nullptr);

    // The full socket path described above.
    static QString DefaultServerName();
    // The <session> part: the display names joined by '+', or the session id, with every
    // character but ASCII letters, digits, '.', '-' and '+' made '_'; empty when none is set.
    static QString SessionKey();

    // Sends Message (and Data) to a running instance, or becomes the running instance.
    TInstanceResult Claim(uint16_t Message, const QByteArray& Data = {});
    // Sends Message and Data to a listening instance; false when none answers.
    bool SendMessage(uint16_t Message, const QByteArray& Data = {});

    QString ServerName() const { return FServerName; }
    bool Listening() const;

    std::function<void(uint16_t Message, const QByteArray& Data)> OnMessage;

private:
    bool Listen();
    void AcceptConnections();
    void ReadMessage(QLocalSocket* Socket, QByteArray& Received);
    void EndMessage(QLocalSocket* Socket, QByteArray& Received);

    QString FServerName;
    QLocalServer* FServer = nullptr;
};

} // namespace sundral

// One instance per user: the protocol in one process, then the real program started twice.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "MainWindowFixture.h"
#include "WaveTools.h"

#include "app/Main.h"
#include "platform/qt/SingleInstance.h"

using namespace sundral;

namespace {

// Failure bound for waits that a working program ends at once; never reached when it works.
constexpr int kGiveUpMs = 60000;

// Leaves a socket file behind with nobody listening, as a crashed instance does.
bool MakeStaleSocket(const QString& Path) {
    const QByteArray path = QFile::encodeName(Path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFile::exists(Path);
}

// The program under test, with its instance socket and its log in a private folder.
class TProgram {
public:
    explicit TProgram(const QTemporaryDir& Folder, const QString& Display = QStringLiteral(":0"),
                      const QString& Log = QStringLiteral("activation.log"))
        : FLogPath(Folder.filePath(Log)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("WAYLAND_DISPLAY");
        env.insert("DISPLAY", Display);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", Folder.path());
        env.insert("TMPDIR", Folder.path());
        env.insert("SUNDRAL_TEST_ACTIVATION_LOG", FLogPath);
        FProcess.setProcessEnvironment(env);
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~TProgram() {
        if (FProcess.state() == QProcess::NotRunning) return;
        FProcess.kill();
        FProcess.waitForFinished(kGiveUpMs);
    }

    QProcess& Process() { return FProcess; }
    void Start(const QStringList& Arguments = {}) {
        FProcess.start(QStringLiteral(SUNDRAL_EXE_PATH), Arguments);
    }

    QStringList LogLines() const {
        QFile file(FLogPath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // Waits until the log holds a line starting with Prefix; returns it (empty on give-up).
    QString WaitForLine(const QString& Prefix) const {
        QDeadlineTimer deadline(kGiveUpMs);
        while (!deadline.hasExpired()) {
            for (const QString& line : LogLines())
                if (line.startsWith(Prefix)) return line;
            QTest::qWait(20);
        }
        return {};
    }
    QString ReadyLine() const { return QStringLiteral("ready pid=%1").arg(FProcess.processId()); }

private:
    QString FLogPath;
    QProcess FProcess;
};

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void messagesReachTheRunningInstance();
    void listeningFailsWhereNoSocketCanBe();
    void secondStartActivatesTheFirst();
    void staleSocketDoesNotStopTheStart();
    void eachDisplayHasItsOwnInstance();
    void handedFileWaitsForTheModalWindows();
};

void SingleInstanceTest::messagesReachTheRunningInstance() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = folder.filePath("instance");
    QVERIFY(MakeStaleSocket(name));

    TSingleInstance first(name);
    QList<uint16_t> received;
    first.OnMessage = [&](uint16_t Message, const QByteArray&) { received << Message; };
    QCOMPARE(first.Claim(WM_ACTIVATEINSTANCE), irClaimed);
    QVERIFY(first.Listening());

    TSingleInstance second(name);
    QCOMPARE(second.Claim(WM_ACTIVATEINSTANCE), irAlreadyRunning);
    QVERIFY(!second.Listening());
    QTRY_COMPARE_WITH_TIMEOUT(received, QList<uint16_t>{0x1A01}, kGiveUpMs);

    // A connection that sends too little delivers nothing; one that sends more delivers one
    // message; each connection is read on its own.
    for (const QByteArray& bytes : {QByteArray("\x1a"), QByteArray("\x12\x34\x56")}) {
        QLocalSocket socket;
        socket.connectToServer(name);
        QVERIFY(socket.waitForConnected(kGiveUpMs));
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(kGiveUpMs));
        socket.disconnectFromServer();
    }
    QVERIFY(second.SendMessage(0x0102));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3, kGiveUpMs);
    // Connections are read as their bytes arrive, not necessarily in the order they were made.
    std::sort(received.begin(), received.end());
    QCOMPARE(received, (QList<uint16_t>{0x0102, 0x1234, 0x1A01}));
}

void SingleInstanceTest::listeningFailsWhereNoSocketCanBe() {
    QTemporaryDir folder;
    TSingleInstance instance(folder.filePath("missing/instance"));
    QCOMPARE(instance.Claim(WM_ACTIVATEINSTANCE), irUnavailable);
    QVERIFY(!instance.Listening());
}

void SingleInstanceTest::secondStartActivatesTheFirst() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    // Each start names a file: the first opens its own, the second hands its file over.
    const QString firstFile = folder.filePath("first.wav"),
                  secondFile = folder.filePath("second.wav");
    for (const QString& file : {firstFile, secondFile})
        QVERIFY(!sundral_test::WriteCountingWave(file.toStdString(), 8000, 1, 8000).empty());
    TProgram first(folder);
    first.Start({firstFile});
    QVERIFY(first.Process().waitForStarted(kGiveUpMs));
    const QString ready = first.ReadyLine() + " file=" + firstFile;
    QCOMPARE(first.WaitForLine("ready"), ready);

    TProgram second(folder);
    second.Process().setWorkingDirectory(folder.path()); // a name relative to its folder
    second.Start({"second.wav"});
    QVERIFY(second.Process().waitForFinished(kGiveUpMs));
    QCOMPARE(second.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.Process().exitCode(), 0);

    const QString activated = first.WaitForLine("activated");
    QCOMPARE(activated, QStringLiteral("activated pid=%1 windows=1 file=%2")
                            .arg(first.Process().processId())
                            .arg(secondFile));
    QCOMPARE(first.Process().state(), QProcess::Running);
    // The second start never became an instance of its own.
    QCOMPARE(first.LogLines(), (QStringList{ready, activated}));
}

void SingleInstanceTest::staleSocketDoesNotStopTheStart() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    // The program finds its socket under the private runtime folder given to it.
    // ... and on the display the program is started on (TProgram's).
    const QByteArray oldRuntimeDir = qgetenv("XDG_RUNTIME_DIR"), oldDisplay = qgetenv("DISPLAY"),
                     oldWayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
    qputenv("DISPLAY", ":0");
    qunsetenv("WAYLAND_DISPLAY");
    const QString name = TSingleInstance::DefaultServerName();
    qputenv("XDG_RUNTIME_DIR", oldRuntimeDir);
    oldDisplay.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", oldDisplay);
    if (!oldWayland.isNull()) qputenv("WAYLAND_DISPLAY", oldWayland);
    QVERIFY(name.startsWith(folder.path()));
    QVERIFY(MakeStaleSocket(name));

    TProgram program(folder);
    program.Start();
    QVERIFY(program.Process().waitForStarted(kGiveUpMs));
    QCOMPARE(program.WaitForLine("ready"), program.ReadyLine());
}

// The same user on two displays: each start gets a window on its own display; a start on
// the first display again hands over to the first.
void SingleInstanceTest::eachDisplayHasItsOwnInstance() {
    struct TEnv {
        const char *Wayland, *Display, *Session;
    };
    auto nameFor = [](const TEnv& E) {
        const QByteArray saved[3] = {qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"),
                                     qgetenv("XDG_SESSION_ID")};
        const char* names[3] = {"WAYLAND_DISPLAY", "DISPLAY", "XDG_SESSION_ID"};
        const char* values[3] = {E.Wayland, E.Display, E.Session};
        for (int i = 0; i < 3; ++i) values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        const QString name = QFileInfo(TSingleInstance::DefaultServerName()).fileName();
        for (int i = 0; i < 3; ++i)
            saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
        return name;
    };
    const QString user = QStringLiteral("OrvaneSundral.MainWindow.%1").arg(getuid());
    QCOMPARE(nameFor({nullptr, ":0", "3"}), user + "._0");
    QCOMPARE(nameFor({nullptr, "host:10.0", nullptr}), user + ".host_10.0");
    QCOMPARE(nameFor({"wayland-1", ":1", nullptr}), user + ".wayland-1+_1");
    QCOMPARE(nameFor({nullptr, nullptr, "c2"}), user + ".c2");
    QCOMPARE(nameFor({nullptr, nullptr, nullptr}), user);
    QCOMPARE(nameFor({nullptr, "../x/y", nullptr}), user + "..._x_y"); // one file name

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    TProgram first(folder, ":41", "first.log");
    first.Start();
    QVERIFY(first.Process().waitForStarted(kGiveUpMs));
    QCOMPARE(first.WaitForLine("ready"), first.ReadyLine());
    TProgram second(folder, ":42", "second.log");
    second.Start();
    QVERIFY(second.Process().waitForStarted(kGiveUpMs));
    QCOMPARE(second.WaitForLine("ready"), second.ReadyLine());
    TProgram again(folder, ":41", "again.log");
    again.Start();
    QVERIFY(again.Process().waitForFinished(kGiveUpMs));
    QCOMPARE(again.Process().exitCode(), 0);
    QVERIFY(first.WaitForLine("activated").startsWith("activated"));
    QCOMPARE(second.LogLines(), QStringList{second.ReadyLine()});
}

// A file handed over while modal windows (a tool window, a message over it) are open waits
// until the last one has closed; the latest file handed over is the one opened.
void SingleInstanceTest::handedFileWaitsForTheModalWindows() {
    sundral_test::TMainWindowFixture f;
    QVERIFY(f.Exposed);
    const auto first = f.Wave("first.wav", 2000);
    f.Open(first);
    const QString firstName = QString::fromStdString(first.string());
    QCOMPARE(f.Window->eOpenFile->text(), firstName);
    const QString early = QString::fromStdString(f.Wave("early.wav", 1000).string());
    const QString late = QString::fromStdString(f.Wave("late.wav", 3000).string());

    QStringList seen; // the main window's file at each step while the windows are open
    QDialog tool(f.Window.get());
    tool.setModal(true);
    QTimer::singleShot(0, &tool, [&] {
        f.Window->OpenHandedFile(early);
        seen << f.Window->eOpenFile->text();
        QDialog message(&tool);
        message.setModal(true);
        QTimer::singleShot(0, &message, [&] {
            f.Window->OpenHandedFile(late);
            seen << f.Window->eOpenFile->text();
            message.accept();
        });
        message.exec();
        QCoreApplication::processEvents(); // the message has gone, the tool window stays
        seen << f.Window->eOpenFile->text();
        tool.accept();
    });
    tool.exec();
    QCOMPARE(seen, (QStringList{firstName, firstName, firstName}));
    QTRY_COMPARE_WITH_TIMEOUT(f.Window->eOpenFile->text(), late, kGiveUpMs);
    QCOMPARE(f.Dialogs.Messages(), QStringList());

    // With nothing in front, a file handed over opens at once.
    f.Window->OpenHandedFile(early);
    QCOMPARE(f.Window->eOpenFile->text(), early);
}

QTEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"

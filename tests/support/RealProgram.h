#pragma once

// Running the real program for end-to-end tests: the built program and its capture helper in a
// folder of their own, a script under an X server of its own inside a network namespace,
// pictures of the screen on request, traffic sent from the other namespace.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/Gui.h"
#include "support/NetnsPair.h"
#include "support/TestFiles.h"

/// Waits until process pid has held a packet socket (capture runs) for 300 ms on end, so that a
/// socket opened only to look at the adapters does not count.
inline bool waitUntilCapturing(qint64 pid, int timeoutMs = 30000) {
    const QString packetSockets = QStringLiteral("/proc/%1/net/packet").arg(pid);
    QElapsedTimer held;
    return waitUntil(
        [&] {
            if (readFile(packetSockets).count('\n') < 2) {
                held.invalidate();
                return false;
            }
            if (!held.isValid())
                held.start();
            return held.elapsed() > 300;
        },
        timeoutMs);
}

/// Copies the built program and its capture helper to root/bin (so its usage logs go to root/bin)
/// and writes
/// its settings under root/cfg: monitor `adapter`, window shown and closed for good, and any
/// further settings lines. False when the program is not built or cannot be copied.
inline bool installProgram(const QString& root, const QString& adapter,
                           const QString& moreSettings = {}) {
    // The program and its capture helper, which it looks for beside itself.
    const QString built = qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/app/");
    if (!QDir().mkpath(root + QStringLiteral("/bin")))
        return false;
    for (const QString& name : {QStringLiteral("quelmint"), QStringLiteral("quelmint-capture")}) {
        const QString binary = built + name;
        const QString program = root + QStringLiteral("/bin/") + name;
        if (!QFile::exists(binary) || !QFile::copy(binary, program))
            return false;
        QFile::setPermissions(program, QFile::permissions(binary));
    }
    return writeFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"),
                     QStringLiteral("[settings]\nInterface=%1\nInterfaceDesc=veth %1\n"
                                    "CloseToTray=False\nStartMinimized=False\n%2")
                         .arg(adapter, moreSettings)
                         .toUtf8());
}

/// The sum of one field (1: seconds monitored, 2: frames lost, 3: bytes not watched, 4: frames
/// not watched) over every day of every coverage file in the log folder (so a test that runs
/// across midnight or New Year sees all of it); -1 when there is no such line.
inline qint64 coverageSum(const QString& logFolder, int field) {
    qint64 sum = -1;
    for (const QString& name :
         QDir(logFolder).entryList({QStringLiteral("*.coverage")}, QDir::Files))
        for (const QByteArray& line : readFile(logFolder + QLatin1Char('/') + name).split('\n')) {
            const QList<QByteArray> f = line.trimmed().split('\t');
            if (f.size() > field && f[0].size() == 10)
                sum = qMax<qint64>(sum, 0) + f[field].toLongLong();
        }
    return sum;
}

/// Asks the script under the X server for a picture of the screen (it takes one to `shot` when
/// root/shoot appears, then touches root/shot-taken) until `shows` holds for it; true when it
/// did within the time.
inline bool shootUntil(const QString& root, const QString& shot,
                       const std::function<bool(const QImage&)>& shows, int timeoutMs = 30000) {
    const QString taken = root + QStringLiteral("/shot-taken");
    return waitUntil(
        [&] {
            QFile::remove(taken);
            return writeFile(root + QStringLiteral("/shoot"), "1") &&
                   waitUntil([&] { return QFile::exists(taken); }, 15000) && shows(QImage(shot));
        },
        timeoutMs);
}

/// Starts root/run.sh under an X server of its own (xvfb-run with `screen`) inside namespace ns,
/// with the program's settings, data and private runtime folder under root; true once started.
inline bool startScriptUnderXvfb(QProcess& xvfb, const QString& ns, const QString& root,
                                 const QString& screen) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "QT_SCALE_FACTOR"})
        env.remove(QString::fromLatin1(name)); // the real display this time
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/cfg"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
    QDir().mkpath(root + QStringLiteral("/run"));
    QFile::setPermissions(root + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    xvfb.setProcessEnvironment(env);
    xvfb.setProcessChannelMode(QProcess::MergedChannels);
    xvfb.start(QStringLiteral("ip"),
               {QStringLiteral("netns"), QStringLiteral("exec"), ns, QStringLiteral("xvfb-run"),
                QStringLiteral("-a"), QStringLiteral("-s"), screen, QStringLiteral("sh"),
                root + QStringLiteral("/run.sh")});
    return xvfb.waitForStarted(5000);
}

/// Runs this test program again under an X server of its own (xvfb-run with `screen`, the xcb
/// platform) with only the cases `filter` names, disabled ones too, and the variables of `env`
/// ("NAME=value") added; its exit code (-1 when it did not run to its end), its output in *out.
inline int runSelfUnderXvfb(const QString& filter, QByteArray* out, const QStringList& env = {},
                            const QString& screen = QStringLiteral("-screen 0 800x600x24")) {
    QProcess child;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    e.remove(QStringLiteral("DISPLAY"));
    for (const QString& v : env)
        e.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    child.setProcessEnvironment(e);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"), screen,
                                             QCoreApplication::applicationFilePath(),
                                             QStringLiteral("--gtest_also_run_disabled_tests"),
                                             QStringLiteral("--gtest_filter=") + filter});
    const bool ended = child.waitForStarted(10000) && child.waitForFinished(120000);
    *out = child.readAll();
    return ended && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

/// Sends count UDP datagrams of payload bytes each from inside namespace ns to address:port
/// (IPv4 or IPv6).
/// Returns how many were handed to the kernel.
inline int sendUdpFrom(const QString& ns, const QString& address, quint16 port, int count,
                       int payload) {
    int sent = 0;
    std::thread sender([&] {
        NetnsEnter enter(ns);
        if (!enter.ok())
            return;
        // An IPv4 or an IPv6 address.
        sockaddr_storage to = {};
        socklen_t length = 0;
        auto* v4 = reinterpret_cast<sockaddr_in*>(&to);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&to);
        if (::inet_pton(AF_INET, address.toLatin1().constData(), &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            length = sizeof *v4;
        } else if (::inet_pton(AF_INET6, address.toLatin1().constData(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            length = sizeof *v6;
        } else {
            return;
        }
        const int fd = ::socket(to.ss_family, SOCK_DGRAM, 0);
        if (fd < 0)
            return;
        const QByteArray data(payload, 'q');
        for (int i = 0; i < count; ++i) {
            if (::sendto(fd, data.constData(), std::size_t(data.size()), 0,
                         reinterpret_cast<sockaddr*>(&to), length) == data.size())
                ++sent;
            if (i % 64 == 63)
                ::usleep(2000); // stay well inside the socket buffers
        }
        ::close(fd);
    });
    sender.join();
    return sent;
}

/// The four figures of a usage line (sent, received, pass-by, total), of a year file or the
/// session file; empty when the text is not one such line.
inline QList<double> usageFigures(const QByteArray& line) {
    const QList<QByteArray> f = line.trimmed().split('\t');
    if (f.size() != 5)
        return {};
    QList<double> figures;
    for (int i = 1; i < 5; ++i)
        figures.append(f[i].toDouble());
    return figures;
}

/// Waits until the session file counts at least `bytes` received; false when it did not within
/// the time.
inline bool waitUntilReceived(const QString& session, double bytes, int timeoutMs = 30000) {
    return waitUntil(
        [&] {
            const QList<double> f = usageFigures(readFile(session));
            return f.size() == 4 && f[1] >= bytes;
        },
        timeoutMs);
}

/// Sends count datagrams of payload bytes from B to A's port: the first alone (it resolves the
/// neighbour), the rest once the session file counts its frameBytes. Returns how many were
/// sent.
inline int sendAfterTheFirst(const NetnsPair& pair, quint16 port, int count, int payload,
                             int frameBytes, const QString& session) {
    const int first = sendUdpFrom(pair.nsB(), pair.addressA(), port, 1, payload);
    if (first != 1 || !waitUntilReceived(session, double(frameBytes), 20000))
        return first;
    return first + sendUdpFrom(pair.nsB(), pair.addressA(), port, count - 1, payload);
}

/// Copies a picture among the build's artifacts (build/artifacts/name); returns where.
inline QString keepPicture(const QString& picture, const QString& name) {
    const QString artifacts =
        qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
    QDir().mkpath(artifacts);
    const QString kept = artifacts + QLatin1Char('/') + name;
    QFile::remove(kept);
    QFile::copy(picture, kept);
    return kept;
}

/// One run of the built program for an end-to-end test: namespaces A and B joined by a veth
/// pair, a temporary folder `root` for the program (installed in root/bin by install(), its
/// settings in root/cfg) and the test's script, run by start() in root under an X server of its
/// own inside namespace A. When the run goes, every process whose id the script wrote to a
/// root/pid* file is killed, and the X server with it.
class ProgramRun {
public:
    /// The namespaces' names begin with prefix; number keeps their addresses apart.
    ProgramRun(const QString& prefix, int number) : pair(prefix, number) {}
    ~ProgramRun() {
        for (const QString& name : QDir(root).entryList({QStringLiteral("pid*")}, QDir::Files)) {
            const int pid = file(name).trimmed().toInt();
            // Only the program: an id that ended may be another process's by now.
            if (pid > 0 &&
                readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).contains("quelmint")) {
                ::kill(pid, SIGCONT); // a stopped program ends too
                ::kill(pid, SIGKILL);
            }
        }
        if (xvfb.state() != QProcess::NotRunning && !xvfb.waitForFinished(10000)) {
            xvfb.kill();
            xvfb.waitForFinished(5000);
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    /// The namespaces and the folder are there.
    bool ok() const { return pair.ok() && tmp.isValid(); }
    /// Installs the program monitoring A's adapter, with these settings lines added.
    bool install(const QString& moreSettings = {}) {
        return installProgram(root, pair.nameA(), moreSettings);
    }
    /// Writes the script (it runs in root) and starts it under the X server; true once started.
    bool start(const QString& script,
               const QString& screen = QStringLiteral("-screen 0 800x600x24")) {
        return writeFile(root + QStringLiteral("/run.sh"),
                         (QStringLiteral("cd '%1'\n").arg(root) + script).toUtf8()) &&
               startScriptUnderXvfb(xvfb, pair.nsA(), root, screen);
    }
    /// The process id that the script wrote to root/name; 0 when none came within the time.
    qint64 pid(const QString& name = QStringLiteral("pid"), int timeoutMs = 30000) const {
        waitUntil([&] { return !file(name).isEmpty(); }, timeoutMs);
        return file(name).trimmed().toLongLong();
    }
    /// A file of the run's folder (empty when missing).
    QByteArray file(const QString& name) const { return readFile(root + QLatin1Char('/') + name); }
    /// Waits until the script has ended; false when it did not within the time.
    bool finished(int timeoutMs) {
        return waitUntil([&] { return xvfb.state() == QProcess::NotRunning; }, timeoutMs);
    }

    /// Script lines: while the program `pid` runs, take a picture of the window called Quelmint
    /// into `picture` whenever root/shoot appears (see shootUntil).
    static QString shooter(const QString& picture) {
        return QStringLiteral(
                   "while kill -0 $pid 2>/dev/null; do\n"
                   "  [ -e shoot ] || { sleep 0.1; continue; }\n"
                   "  id=$(xwininfo -name Quelmint 2>/dev/null | awk '/Window id/ {print $4}')\n"
                   "  [ -n \"$id\" ] && import -window \"$id\" 'png:%1.tmp' >> program.log 2>&1 &&"
                   " mv -f '%1.tmp' '%1'\n"
                   "  rm -f shoot; touch shot-taken\n"
                   "done\n")
            .arg(picture);
    }

    NetnsPair pair;
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QProcess xvfb;
};

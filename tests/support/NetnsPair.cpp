#include "support/NetnsPair.h"

#include <QProcess>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {
int runCommand(const QStringList& command, int timeoutMs, QByteArray* out) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    if (!p.waitForStarted(5000))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    if (out != nullptr)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool ip(const QStringList& args) {
    return runCommand(QStringList{QStringLiteral("ip")} + args, 10000, nullptr) == 0;
}
} // namespace

QString NetnsPair::whyNot(const QStringList& programs) {
    if (geteuid() != 0)
        return QStringLiteral("needs root to create network namespaces (run tools/test as root)");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return QStringLiteral("the ip command (iproute2) is not installed");
    for (const QString& program : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program + QStringLiteral(" is not installed (tools/test installs it)");
    return {};
}

NetnsPair::NetnsPair(const QString& tag, int subnet) : tag_(tag), subnet_(subnet) {
    if (!whyNot().isEmpty())
        return;
    removeAll();
    ok_ = ip({"netns", "add", nsA()}) && ip({"netns", "add", nsB()}) &&
          ip({"-n", nsA(), "link", "set", "lo", "up"}) &&
          ip({"-n", nsB(), "link", "set", "lo", "up"}) && createVeth(true);
}

NetnsPair::~NetnsPair() {
    removeAll();
}

void NetnsPair::removeAll() {
    ip({"netns", "del", nsA()});
    ip({"netns", "del", nsB()});
}

bool NetnsPair::createVeth(bool withAddress) {
    bool ok = ip({"link", "add", nameA(), "netns", nsA(), "type", "veth", "peer", "name", nameB(),
                  "netns", nsB()}) &&
              ip({"-n", nsB(), "addr", "add", addressB() + "/24", "dev", nameB()}) &&
              ip({"-n", nsA(), "link", "set", nameA(), "up"}) &&
              ip({"-n", nsB(), "link", "set", nameB(), "up"});
    if (ok && withAddress)
        ok = addAddressA();
    return ok;
}

bool NetnsPair::addAddressA() {
    return ip({"-n", nsA(), "addr", "add", addressA() + "/24", "dev", nameA()});
}

bool NetnsPair::quiet() {
    const auto mac = [this](const QString& ns, const QString& device) {
        QByteArray out;
        runCommand({"ip", "netns", "exec", ns, "cat",
                    QStringLiteral("/sys/class/net/%1/address").arg(device)},
                   10000, &out);
        return QString::fromLatin1(out.trimmed());
    };
    bool ok = true;
    for (const QString& ns : {nsA(), nsB()})
        ok = ok && runCommand({"ip", "netns", "exec", ns, "sysctl", "-qw",
                               "net.ipv6.conf.all.disable_ipv6=1",
                               "net.ipv6.conf.default.disable_ipv6=1"},
                              10000, nullptr) == 0;
    const QString macA = mac(nsA(), nameA()), macB = mac(nsB(), nameB());
    return ok && !macA.isEmpty() && !macB.isEmpty() &&
           ip({"-n", nsA(), "neigh", "replace", addressB(), "lladdr", macB, "nud", "permanent",
               "dev", nameA()}) &&
           ip({"-n", nsB(), "neigh", "replace", addressA(), "lladdr", macA, "nud", "permanent",
               "dev", nameB()});
}

bool NetnsPair::deleteVeth() {
    return ip({"-n", nsA(), "link", "del", nameA()});
}

int NetnsPair::run(const QString& ns, const QStringList& command, int timeoutMs,
                   QByteArray* out) const {
    return runCommand(QStringList{"ip", "netns", "exec", ns} + command, timeoutMs, out);
}

int NetnsPair::runInA(const QStringList& command, int timeoutMs, QByteArray* out) const {
    return run(nsA(), command, timeoutMs, out);
}

int NetnsPair::runInB(const QStringList& command, int timeoutMs, QByteArray* out) const {
    return run(nsB(), command, timeoutMs, out);
}

NetnsEnter::NetnsEnter(const QString& ns) {
    original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(ns).toLocal8Bit();
    const int target = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (original_ >= 0 && target >= 0)
        ok_ = setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        close(target);
}

NetnsEnter::~NetnsEnter() {
    if (original_ >= 0) {
        if (ok_)
            setns(original_, CLONE_NEWNET);
        close(original_);
    }
}

UdpSink::UdpSink(const QString& ns, quint16 port) {
    // Bound from a thread of its own inside the namespace; the socket stays in it.
    std::thread t([&] {
        NetnsEnter enter(ns);
        if (!enter.ok())
            return;
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    });
    t.join();
}

UdpSink::~UdpSink() {
    if (fd_ >= 0)
        ::close(fd_);
}

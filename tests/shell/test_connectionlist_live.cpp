// The packet list with real traffic: the main window runs under its own X server inside a
// network namespace whose hosts file names the peer, shows the "Packets" tab with "Resolve IP"
// on, and lists datagrams and pings from the other namespace; its picture is kept among the
// build's artifacts.
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

namespace {
constexpr quint16 kPort = 41090;
constexpr int kPayload = 100;
const QString kPeerName = QStringLiteral("peer-b.quelmint.test");

/// /etc/netns/<ns>/ files for `ip netns exec`, removed again.
class NamespaceEtc final {
public:
    explicit NamespaceEtc(const QString& ns) : dir_(QStringLiteral("/etc/netns/") + ns) {
        QDir().mkpath(dir_);
    }
    ~NamespaceEtc() { QDir(dir_).removeRecursively(); }
    NamespaceEtc(const NamespaceEtc&) = delete;
    NamespaceEtc& operator=(const NamespaceEtc&) = delete;
    bool write(const char* name, const QByteArray& text) const {
        return writeFile(dir_ + QLatin1Char('/') + QLatin1String(name), text);
    }

private:
    QString dir_;
};

QList<QByteArray> dumpRows(const QString& root) {
    QFile::remove(root + QStringLiteral("/rows.txt"));
    writeFile(root + QStringLiteral("/dump"), "1");
    waitUntil([&] { return QFile::exists(root + QStringLiteral("/rows.txt")); }, 10000);
    return readFile(root + QStringLiteral("/rows.txt")).split('\n');
}

bool hasRow(const QList<QByteArray>& rows, const QByteArray& row) {
    return rows.contains(row);
}

} // namespace

TEST(ConnectionListLive, RealTrafficWithHostNamesUnderXvfb) {
    ensureApplication();
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "ping");
    const QString buildDir = qEnvironmentVariable("QUELMINT_BUILD_DIR");
    const QString driver = buildDir + QStringLiteral("/tests/shell/connectionlist_driver");
    ASSERT_TRUE(QFile::exists(driver)) << driver.toStdString();
    ProgramRun run(QStringLiteral("cl"), 90); // the driver instead of the program
    ASSERT_TRUE(run.ok());
    const NetnsPair& pair = run.pair;
    const QString& root = run.root;
    // The window's namespace knows the peer by name and has no name server that answers.
    NamespaceEtc etc(pair.nsA());
    ASSERT_TRUE(etc.write("hosts", "127.0.0.1 localhost\n" + pair.addressB().toUtf8() + ' ' +
                                       kPeerName.toUtf8() + '\n'));
    ASSERT_TRUE(etc.write("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n"));
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());

    ASSERT_TRUE(writeFile(root + QStringLiteral("/cfg/Quelmint/Quelmint.conf"),
                          QStringLiteral("[settings]\nInterface=%1\nInterfaceDesc=veth %1\n"
                                         "CloseToTray=False\nStartMinimized=False\n"
                                         "RemoveFromListTime=600\nHiliteNewPacketTime=600\n")
                              .arg(pair.nameA())
                              .toUtf8()));
    const QString shot = root + QStringLiteral("/packets.png");
    const QString script =
        QStringLiteral(
            "'%1' --names > driver.log 2>&1 & pid=$!\n"
            "echo $pid > pid\n"
            "while [ ! -e shoot ]; do sleep 0.1; kill -0 $pid 2>/dev/null || break; done\n"
            "import -window root '%2' >> driver.log 2>&1\n"
            "touch shot-taken\n"
            "wait $pid\n"
            "echo $? > rc\n")
            .arg(driver, shot);
    ASSERT_TRUE(run.start(script, QStringLiteral("-screen 0 640x480x24")));
    const int pid = int(run.pid());
    ASSERT_TRUE(waitUntilCapturing(pid))
        << readFile(root + QStringLiteral("/driver.log")).toStdString();

    // The first datagram starts the lookups (it is listed under the address); once the name
    // is known, the rest are listed under it.
    const QByteArray peer = pair.addressB().toUtf8(), local = pair.addressA().toUtf8();
    ASSERT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 1, kPayload), 1);
    QList<QByteArray> rows;
    ASSERT_TRUE(waitUntil(
        [&] {
            rows = dumpRows(root);
            return rows.contains("lookups " + peer + " 1") &&
                   rows.contains("lookups " + local + " 1");
        },
        30000))
        << rows.join('\n').toStdString();
    // The answers: a name for the peer, none for the local address.
    EXPECT_TRUE(waitUntil(
        [&] {
            rows = dumpRows(root);
            return rows.contains("answered " + peer + ' ' + kPeerName.toUtf8()) &&
                   rows.contains("answered " + local + " -");
        },
        30000))
        << rows.join('\n').toStdString();
    ASSERT_EQ(sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 40, kPayload), 40);
    EXPECT_EQ(pair.runInB({"ping", "-c", "3", "-i", "0.2", "-s", "56", pair.addressA()}), 0);

    const QByteArray udpTail = '|' + local + '|' + QByteArray::number(kPort) + "|4000|UDP|40";
    const QByteArray icmpIn = kPeerName.toUtf8() + "|0|" + local + "|0|0|ICMP|3";
    const QByteArray icmpOut = local + "|0|" + kPeerName.toUtf8() + "|0|0|ICMP|3";
    EXPECT_TRUE(waitUntil(
        [&] {
            rows = dumpRows(root);
            bool udp = false;
            for (const QByteArray& r : rows)
                udp = udp || (r.startsWith(kPeerName.toUtf8() + '|') && r.endsWith(udpTail));
            return udp && hasRow(rows, icmpIn) && hasRow(rows, icmpOut);
        },
        30000))
        << rows.join('\n').toStdString();
    // The datagram before the answer stays under the address; each address was asked once.
    bool dotted = false;
    for (const QByteArray& r : rows)
        dotted = dotted || (r.startsWith(peer + '|') && r.endsWith("|100|UDP|1"));
    EXPECT_TRUE(dotted) << rows.join('\n').toStdString();
    EXPECT_TRUE(rows.contains("lookups " + peer + " 1")) << rows.join('\n').toStdString();
    EXPECT_TRUE(rows.contains("lookups " + local + " 1")) << rows.join('\n').toStdString();
    for (const QByteArray& r : rows)
        if (r.startsWith("paints") || r.startsWith("maxGapMs"))
            std::printf("%s\n", r.constData());

    ASSERT_TRUE(writeFile(root + QStringLiteral("/shoot"), "1"));
    EXPECT_TRUE(
        waitUntil([&] { return QFile::exists(root + QStringLiteral("/shot-taken")); }, 20000));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/quit"), "1"));
    EXPECT_TRUE(run.finished(30000)) << run.xvfb.readAll().toStdString();
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << readFile(root + QStringLiteral("/driver.log")).toStdString();

    const QString saved = keepPicture(shot, QStringLiteral("connectionlist-xvfb.png"));
    std::printf("screenshot %s\n", saved.toLocal8Bit().constData());
}

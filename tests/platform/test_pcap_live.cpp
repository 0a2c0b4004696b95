// Live capture through libpcap on a veth pair between two network namespaces of this test.
#include "platform/HelperCapture.h"
#include "platform/PcapSupport.h"
#include "support/CaptureHelperPath.h"
#include "support/CaptureRecorder.h"
#include "support/NetnsPair.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using namespace frameinfo;
using Frame = RecordedFrame;

constexpr quint16 kUdpPort = 40000;
constexpr quint16 kHttpPort = 8000;

std::optional<QByteArray> udpPayload(const Frame& f) {
    return frameinfo::udpPayload(f, kUdpPort);
}

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

/// User and system time of another process so far (its /proc stat, fields 14 and 15).
double cpuSecondsOf(qint64 pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

/// Runs the event loop for the given time, blocking in between (no busy waiting here).
void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString python() {
    if (QFile::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

class PcapLive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureApp<QCoreApplication>(); }

    void SetUp() override {
        SKIP_WITHOUT_NETNS();
        pair_ = std::make_unique<NetnsPair>(QStringLiteral("cap"), 10);
        ASSERT_TRUE(pair_->ok()) << "could not create the namespaces and the veth pair";
        enter_ = std::make_unique<NetnsEnter>(pair_->nsA());
        ASSERT_TRUE(enter_->ok()) << "could not enter " << pair_->nsA().toStdString();
        capture_ = std::make_unique<HelperCapture>(captureHelperPath());
        capture_->setEvents(&rec_);
    }

    void TearDown() override {
        if (server_) {
            server_->kill();
            server_->waitForFinished(3000);
            server_.reset();
        }
        capture_.reset();
        enter_.reset(); // leave namespace A before it goes
        pair_.reset();
    }

    /// Selects nameA() from a fresh adapter list.
    void selectA() {
        capture_->RefreshAdapters();
        for (const Adapter& a : capture_->Adapters())
            if (a.Name == pair_->nameA())
                capture_->setActiveAdapter(a);
        ASSERT_TRUE(capture_->ActiveAdapter().has_value());
    }

    /// Sends one UDP datagram from namespace B to A's port.
    void sendUdp(const QByteArray& payload) {
        ASSERT_EQ(pair_->runInB({"bash", "-c", "printf %s \"$1\" > /dev/udp/$2/$3", "_",
                                 QString::fromLatin1(payload), pair_->addressA(),
                                 QString::number(kUdpPort)}),
                  0);
    }

    /// Starts a web server in namespace A serving a small file; returns its body.
    QByteArray startServer() {
        const QByteArray body = makePayload(3000, 5);
        if (!dir_.isValid() || !writeFile(dir_.filePath(QStringLiteral("hello.txt")), body))
            return {};
        server_ = std::make_unique<QProcess>();
        server_->setWorkingDirectory(dir_.path());
        server_->setProcessChannelMode(QProcess::MergedChannels);
        server_->start(QStringLiteral("ip"),
                       {"netns", "exec", pair_->nsA(), python(), "-u", "-m", "http.server",
                        "--bind", pair_->addressA(), QString::number(kHttpPort)});
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains("Serving"); ++i) {
            server_->waitForReadyRead(100);
            out += server_->readAll();
        }
        return out.contains("Serving") ? body : QByteArray();
    }

    /// Fetches the served file with curl from namespace B.
    QByteArray fetch() {
        QByteArray out;
        pair_->runInB(
            {"curl", "-s", "--max-time", "10",
             QStringLiteral("http://%1:%2/hello.txt").arg(pair_->addressA()).arg(kHttpPort)},
            15000, &out);
        return out;
    }

    /// What StartCapture throws; "(started)" when it starts.
    QString startError() {
        return captureErrorOf([this] { capture_->StartCapture(); }).value_or("(started)");
    }

    template <typename Pred> bool waitFor(Pred pred, int ms = 5000) {
        return QTest::qWaitFor(pred, ms);
    }

    int udpCount() const {
        int n = 0;
        for (const Frame& f : rec_.frames)
            n += udpPayload(f).has_value();
        return n;
    }

    std::unique_ptr<NetnsPair> pair_;
    std::unique_ptr<NetnsEnter> enter_;
    std::unique_ptr<HelperCapture> capture_;
    std::unique_ptr<QProcess> server_;
    QTemporaryDir dir_;
    CaptureRecorder rec_;
};

TEST_F(PcapLive, ListsTheKernelsAdaptersThenAnyWithTheirAddressesAndLinkTypes) {
    // A second IPv4 address and an IPv6 one: listed in the kernel's order, IPv4 first;
    // the devices in the kernel's order, then "any". A tun device delivers raw IP.
    ASSERT_EQ(pair_->runInA({"ip", "addr", "add", "10.231.10.3/24", "dev", pair_->nameA()}), 0);
    ASSERT_EQ(
        pair_->runInA({"ip", "addr", "add", "fd00:231:10::1/64", "dev", pair_->nameA(), "nodad"}),
        0);
    ASSERT_EQ(pair_->runInA({"ip", "tuntap", "add", "dev", "qmtun0", "mode", "tun"}), 0);
    capture_->RefreshAdapters();

    QStringList names;
    struct if_nameindex* devices = if_nameindex();
    ASSERT_NE(devices, nullptr);
    for (struct if_nameindex* d = devices; d->if_index != 0; ++d)
        names << QString::fromLocal8Bit(d->if_name);
    if_freenameindex(devices);
    names << QStringLiteral("any");
    QStringList addressesOfA;
    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || pair_->nameA() != QLatin1String(a->ifa_name))
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ifa_addr->sa_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                      sizeof text);
        if (a->ifa_addr->sa_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, text,
                      sizeof text);
        if (*text != '\0')
            addressesOfA << QString::fromLatin1(text);
    }
    freeifaddrs(list);

    QStringList listed;
    for (const Adapter& a : capture_->Adapters())
        listed << a.Name;
    EXPECT_EQ(listed, names);
    ASSERT_GE(addressesOfA.size(), 3); // and the link-local IPv6 one, when the kernel made it

    bool sawA = false, sawLo = false;
    for (const Adapter& a : capture_->Adapters()) {
        EXPECT_FALSE(a.Description.trimmed().isEmpty()) << a.Name.toStdString();
        if (a.Name == pair_->nameA()) {
            sawA = true;
            EXPECT_EQ(a.LinkType, 1);
            QStringList texts;
            for (const AdapterAddress& address : a.Addresses)
                texts << address.IPAddress;
            EXPECT_EQ(texts, addressesOfA);
            EXPECT_TRUE(texts.contains(pair_->addressA()));
            EXPECT_TRUE(texts.contains(QStringLiteral("10.231.10.3")));
            EXPECT_TRUE(texts.contains(QStringLiteral("fd00:231:10::1")));
        } else if (a.Name == QLatin1String("lo")) {
            sawLo = true;
            EXPECT_NE(a.LinkType, 1);
            EXPECT_FALSE(pcapsupport::monitorable(a));
        } else if (a.Name == QLatin1String("any")) {
            EXPECT_EQ(a.LinkType, 113);
            EXPECT_TRUE(pcapsupport::monitorable(a));
        } else if (a.Name == QLatin1String("qmtun0")) {
            EXPECT_EQ(a.LinkType, 12);
            EXPECT_EQ(a.Description, QStringLiteral("Tunnel adapter qmtun0"));
            EXPECT_TRUE(pcapsupport::monitorable(a));
        }
        if (a.LinkType == 1) {
            // Everything called Ethernet here must really deliver Ethernet frames.
            EXPECT_TRUE(a.Name == pair_->nameA() || a.Name.startsWith(QLatin1String("eth")) ||
                        a.Name.startsWith(QLatin1String("en")))
                << a.Name.toStdString();
        }
    }
    EXPECT_TRUE(sawA);
    EXPECT_TRUE(sawLo);
    EXPECT_TRUE(capture_->AdapterPresent(pair_->nameA()));
    EXPECT_TRUE(capture_->AdapterPresent(QStringLiteral("lo")));
    EXPECT_FALSE(capture_->AdapterPresent(pair_->nameB())); // lives in the other namespace
    EXPECT_FALSE(capture_->AdapterPresent(QStringLiteral("qmnosuch0")));
    EXPECT_FALSE(capture_->AdapterPresent(QString()));
}

TEST_F(PcapLive, LoopbackAndAnyCaptureSomethingOtherThanEthernet) {
    // Loopback frames carry a made-up Ethernet header and "any" delivers cooked frames;
    // neither is an Ethernet adapter to monitor.
    capture_->RefreshAdapters();
    int checked = 0;
    for (const Adapter& a : capture_->Adapters())
        if (a.Name == QLatin1String("lo") || a.Name == QLatin1String("any")) {
            EXPECT_NE(a.LinkType, 1) << a.Name.toStdString();
            ++checked;
        }
    EXPECT_GE(checked, 1);
}

TEST_F(PcapLive, UdpDatagramsArriveWithExactLengthsAndBytes) {
    selectA();
    capture_->StartCapture();
    EXPECT_TRUE(capture_->isCapturing());
    QByteArray link;
    pair_->runInA({"ip", "-d", "link", "show", pair_->nameA()}, 10000, &link);
    EXPECT_TRUE(link.contains("promiscuity 1")) << link.constData();
    const std::vector<QByteArray> payloads = {makePayload(1, 0), makePayload(100, 1),
                                              makePayload(1472, 2), makePayload(18, 3)};
    for (const QByteArray& p : payloads)
        sendUdp(p);
    ASSERT_TRUE(waitFor([&] { return udpCount() >= int(payloads.size()); }))
        << "frames seen: " << rec_.frames.size();
    std::vector<QByteArray> seen;
    for (const Frame& f : rec_.frames) {
        EXPECT_EQ(f.captureLength, f.packetLength); // full-frame snapshot length
        EXPECT_EQ(quint32(f.bytes.size()), f.captureLength);
        if (auto payload = udpPayload(f)) {
            seen.push_back(*payload);
            EXPECT_EQ(f.packetLength, quint32(14 + 20 + 8 + payload->size()));
            // Sent from B's address to A's.
            EXPECT_EQ(f.bytes.mid(26, 4), QByteArray::fromHex("0ae70a02"));
            EXPECT_EQ(f.bytes.mid(30, 4), QByteArray::fromHex("0ae70a01"));
        }
    }
    EXPECT_EQ(seen, payloads);
    EXPECT_GE(rec_.batchEnds, 1);
    EXPECT_EQ(rec_.sinceBatchEnd, 0) << "frames handed out without a batch end after them";
    std::printf("[ figures ] UDP test: %zu frames, %d batches\n", rec_.frames.size(),
                rec_.batchEnds);
}

TEST_F(PcapLive, ABurstWhileTheProgramIsBusyWaitsInTheHelpersBuffer) {
    // 30000 minimal frames fill about 3 MiB: far more than the 1 MiB kernel buffer asked for
    // here, and nothing is read while they arrive (the sender runs to its end first), so they
    // can only have waited in the helper's own buffer.
    constexpr int kDatagrams = 30000;
    capture_->setBufferBytes(1024 * 1024);
    selectA();
    capture_->setFilter(QStringLiteral("udp dst port %1").arg(kUdpPort));
    capture_->StartCapture();
    sendUdp("warm-up");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    rec_.frames.clear();
    rec_.frames.reserve(kDatagrams);
    const QString script = QStringLiteral("import socket\n"
                                          "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                          "for i in range(%1):\n"
                                          "    s.sendto(b'%08d' % i, ('%2', %3))\n")
                               .arg(kDatagrams)
                               .arg(pair_->addressA())
                               .arg(kUdpPort);
    ASSERT_EQ(pair_->runInB({python(), "-c", script}, 60000), 0);
    const double before = processCpuSeconds();
    ASSERT_TRUE(waitFor([&] { return udpCount() >= kDatagrams; }, 10000))
        << "only " << udpCount() << " of " << kDatagrams << " arrived";
    const double used = processCpuSeconds() - before;
    runEventLoop(1200); // a statistics record of the helper after the last frame
    EXPECT_EQ(udpCount(), kDatagrams);
    EXPECT_EQ(capture_->takeDroppedFrames(), 0u);
    // In order and none twice.
    int expected = 0;
    for (const Frame& f : rec_.frames) {
        if (auto payload = udpPayload(f)) {
            EXPECT_EQ(payload->toInt(), expected++);
        }
    }
    std::printf("[ figures ] burst: %d frames handed out in %d batches, %.1f ms CPU\n", udpCount(),
                rec_.batchEnds, used * 1000);
}

TEST_F(PcapLive, TcpConnectionIsSeenAndFiltersSelectWhatIsDelivered) {
    // A filter set before any adapter is chosen applies at the start.
    const QString tcpOnly = QStringLiteral("tcp port %1").arg(kHttpPort);
    capture_->setFilter(tcpOnly);
    EXPECT_EQ(capture_->Filter(), tcpOnly);
    selectA();
    capture_->StartCapture();
    const QByteArray body = startServer();
    ASSERT_FALSE(body.isEmpty()) << "web server did not start";

    sendUdp("not wanted");
    ASSERT_EQ(fetch(), body);
    ASSERT_TRUE(waitFor([&] {
        for (const Frame& f : rec_.frames)
            if (f.bytes.contains("HTTP/1.0 200"))
                return true;
        return false;
    })) << "frames seen: "
        << rec_.frames.size();
    runEventLoop(100);
    int syn = 0;
    qint64 bodyBytesSeen = 0;
    for (const Frame& f : rec_.frames) {
        ASSERT_EQ(ipProtocol(f), 6);
        EXPECT_TRUE(destPort(f) == kHttpPort || sourcePort(f) == kHttpPort);
        const int tcp = transportAt(f);
        const int tcpHeader = (quint8(f.bytes[tcp + 12]) >> 4) * 4;
        EXPECT_EQ(f.packetLength, quint32(14 + be16(f.bytes, 16)));
        syn += (quint8(f.bytes[tcp + 13]) & 0x02) != 0;
        if (sourcePort(f) == kHttpPort)
            bodyBytesSeen += f.packetLength - tcp - tcpHeader;
    }
    EXPECT_EQ(syn, 2);                     // SYN and SYN-ACK
    EXPECT_GT(bodyBytesSeen, body.size()); // the body and the response header

    // A text that does not compile (its message is checked without privilege) changes nothing:
    // the filter in force stays.
    EXPECT_TRUE(captureErrorOf([&] { capture_->setFilter(QStringLiteral("tcp port")); }));
    EXPECT_EQ(capture_->Filter(), tcpOnly);
    rec_.frames.clear();
    sendUdp("still not wanted");
    ASSERT_EQ(fetch(), body);
    ASSERT_TRUE(waitFor([&] { return rec_.frames.size() >= 10; }));
    runEventLoop(100);
    for (const Frame& f : rec_.frames)
        EXPECT_EQ(ipProtocol(f), 6);

    // Changed while capturing: applies at once.
    capture_->setFilter(QStringLiteral("udp"));
    rec_.frames.clear();
    ASSERT_EQ(fetch(), body);
    sendUdp("wanted now");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    runEventLoop(100);
    for (const Frame& f : rec_.frames)
        EXPECT_EQ(ipProtocol(f), 17);

    // Empty: everything, including the ICMP port-unreachable answers.
    capture_->setFilter(QString());
    rec_.frames.clear();
    sendUdp("all of it");
    ASSERT_EQ(fetch(), body);
    ASSERT_TRUE(waitFor([&] {
        bool tcp = false, udp = false, icmp = false;
        for (const Frame& f : rec_.frames) {
            tcp |= ipProtocol(f) == 6;
            udp |= ipProtocol(f) == 17;
            icmp |= ipProtocol(f) == 1;
        }
        return tcp && udp && icmp;
    }));
}

TEST_F(PcapLive, StopCaptureInsideAFrameHandlerEndsDeliveryAtOnce) {
    selectA();
    capture_->StartCapture();
    for (int i = 0; i < 10; ++i)
        sendUdp(makePayload(20, char(i)));
    rec_.onPacket = [&](const Packet&) { capture_->StopCapture(); };
    ASSERT_TRUE(waitFor([&] { return !rec_.frames.empty(); }));
    runEventLoop(200);
    EXPECT_EQ(rec_.frames.size(), 1u);
    EXPECT_FALSE(capture_->isCapturing());
    EXPECT_EQ(rec_.aborted, 0);

    // Stopped from a handler, started again from a handler: the new capture runs.
    rec_.onPacket = nullptr;
    rec_.frames.clear();
    capture_->StartCapture();
    int restarts = 0;
    rec_.onPacket = [&](const Packet&) {
        // Frames already in the old ring when it restarts are gone with it, so restart at
        // the datagram itself rather than at a stray frame before it.
        if (udpPayload(rec_.frames.back()) && restarts++ == 0)
            capture_->StartCapture();
    };
    sendUdp("one");
    ASSERT_TRUE(waitFor([&] { return udpCount() >= 1; }));
    sendUdp("two");
    ASSERT_TRUE(waitFor([&] { return udpCount() >= 2; }));
    EXPECT_EQ(restarts, 2);
    EXPECT_TRUE(capture_->isCapturing());
}

TEST_F(PcapLive, AFailingHandlerLosesItsBatchButNotTheCapture) {
    selectA();
    capture_->StartCapture();
    int failures = 0;
    rec_.onPacket = [&](const Packet&) {
        if (udpPayload(rec_.frames.back()) == QByteArray("fail"))
            throw std::runtime_error("handler failed");
    };
    struct FailingBatchEnd final : CaptureEvents {
        CaptureRecorder* inner;
        int* failures;
        void OnPacket(const Packet& p) override { inner->OnPacket(p); }
        void OnCaptureAborted() override { inner->OnCaptureAborted(); }
        void OnBatchEnd() override {
            inner->OnBatchEnd();
            ++*failures;
            throw std::runtime_error("batch end failed");
        }
    } events;
    events.inner = &rec_;
    events.failures = &failures;
    capture_->setEvents(&events);
    sendUdp("fail");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1 && failures > 0; }));
    sendUdp("fine");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 2; }));
    EXPECT_TRUE(capture_->isCapturing());
    EXPECT_EQ(rec_.aborted, 0);
    capture_->setEvents(&rec_);
}

TEST_F(PcapLive, NestedEventLoopInAFrameHandlerDoesNotDispatchAgainNorSpin) {
    selectA();
    capture_->StartCapture();
    // Let everything settle (ARP) so that the datagrams come together.
    sendUdp("warm-up");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    runEventLoop(100);
    rec_.frames.clear();

    double cpuInBox = -1;
    int boxes = 0;
    rec_.onPacket = [&](const Packet&) {
        if (boxes++ > 0)
            return;
        // As a modal message box does: a nested event loop inside the frame handler.
        const double before = processCpuSeconds();
        runEventLoop(400);
        cpuInBox = processCpuSeconds() - before;
    };
    for (int i = 0; i < 5; ++i)
        sendUdp(makePayload(30, char(i)));
    ASSERT_TRUE(waitFor([&] { return udpCount() == 5; }));
    EXPECT_EQ(rec_.maxDepth, 1);
    std::printf("[ figures ] CPU time during a 400 ms nested loop: %.1f ms\n", cpuInBox * 1000);

    // A timer stops capture while the box is open: the running dispatch ends there.
    rec_.frames.clear();
    boxes = 0;
    rec_.onPacket = [&](const Packet&) {
        if (boxes++ > 0)
            return;
        QTimer::singleShot(50, [&] { capture_->StopCapture(); });
        runEventLoop(200);
    };
    for (int i = 0; i < 5; ++i)
        sendUdp(makePayload(30, char(i)));
    ASSERT_TRUE(waitFor([&] { return !rec_.frames.empty(); }));
    runEventLoop(200);
    EXPECT_EQ(rec_.frames.size(), 1u);
    EXPECT_FALSE(capture_->isCapturing());
}

TEST_F(PcapLive, IdleCaptureUsesNoCpu) {
    selectA();
    capture_->StartCapture();
    runEventLoop(200);
    const qint64 helper = capture_->helperPid();
    const double helperBefore = cpuSecondsOf(helper);
    ASSERT_GE(helperBefore, 0) << "no statistics of the helper " << helper;
    const size_t framesBefore = rec_.frames.size();
    const double before = processCpuSeconds();
    runEventLoop(2000);
    const double used = processCpuSeconds() - before;
    const double helperUsed = cpuSecondsOf(helper) - helperBefore;
    std::printf("[ figures ] CPU time over 2 s of idle capture: %.2f ms here, %.2f ms in the "
                "helper (%zu stray frames)\n",
                used * 1000, helperUsed * 1000, rec_.frames.size() - framesBefore);
    EXPECT_TRUE(capture_->isCapturing());
    // A read loop that spins takes a whole core (about 2 s), still 0.7 s beside two busy ones.
    EXPECT_LT(used + helperUsed, 0.5);
    EXPECT_EQ(udpCount(), 0) << "a datagram of this test reached the idle capture";
}

TEST_F(PcapLive, LosingTheAdapterAbortsOnceAndCaptureRestartsWhenItIsBack) {
    selectA();
    capture_->StartCapture();
    sendUdp("before");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));

    // Told once, and capture is over.
    const auto expectAbortNotice = [&](int count, const char* what) {
        QElapsedTimer noticed;
        noticed.start();
        ASSERT_TRUE(waitFor([&] { return rec_.aborted >= count; }, 10000)) << "no abort notice";
        std::printf("[ figures ] %s noticed after %lld ms: %s\n", what, noticed.elapsed(),
                    qPrintable(capture_->abortReason()));
        runEventLoop(300);
        EXPECT_EQ(rec_.aborted, count);
        EXPECT_FALSE(capture_->isCapturing());
    };
    ASSERT_TRUE(pair_->deleteVeth());
    ASSERT_NO_FATAL_FAILURE(expectAbortNotice(1, "removal"));
    EXPECT_FALSE(capture_->abortReason().isEmpty());
    EXPECT_FALSE(capture_->AdapterPresent(pair_->nameA()));
    capture_->RefreshAdapters();
    for (const Adapter& a : capture_->Adapters())
        EXPECT_NE(a.Name, pair_->nameA());
    EXPECT_TRUE(startError().contains(pair_->nameA())); // the stored adapter is gone

    ASSERT_TRUE(pair_->createVeth());
    EXPECT_TRUE(capture_->AdapterPresent(pair_->nameA()));
    selectA();
    capture_->StartCapture();
    rec_.frames.clear();
    sendUdp("after");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    EXPECT_EQ(rec_.aborted, 1);

    // Taken down rather than removed: also a loss, told once.
    ASSERT_EQ(pair_->runInA({"ip", "link", "set", pair_->nameA(), "down"}), 0);
    ASSERT_NO_FATAL_FAILURE(expectAbortNotice(2, "going down"));
    EXPECT_TRUE(capture_->abortReason().contains(pair_->nameA()));
    // A device that is down cannot be opened: absent until it is up again.
    EXPECT_FALSE(capture_->AdapterPresent(pair_->nameA()));
    EXPECT_TRUE(startError().contains(pair_->nameA()));
    ASSERT_EQ(pair_->runInA({"ip", "link", "set", pair_->nameA(), "up"}), 0);
    EXPECT_TRUE(capture_->AdapterPresent(pair_->nameA()));
    capture_->StartCapture();
    rec_.frames.clear();
    sendUdp("up again");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    EXPECT_EQ(rec_.aborted, 2);
}

TEST_F(PcapLive, FailuresNameTheAdapterAndTellHowToGrantPrivilege) {
    Adapter missing;
    missing.Name = QStringLiteral("qmnosuch0");
    capture_->setActiveAdapter(missing);
    EXPECT_TRUE(startError().contains(QStringLiteral("qmnosuch0")));
    EXPECT_FALSE(capture_->isCapturing());
    missing.Name = QStringLiteral("eth0;reboot"); // never handed to the helper
    capture_->setActiveAdapter(missing);
    EXPECT_TRUE(startError().contains(QStringLiteral("no adapter named eth0;reboot")));

    // The helper run as an unprivileged user without its capability: libpcap's own words, the
    // adapter, and a line to paste that names the very helper this component starts.
    ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/bin/setpriv")));
    const QString wrapper = dir_.filePath(QStringLiteral("unprivileged-capture"));
    ASSERT_TRUE(writeFile(wrapper, QStringLiteral("#!/bin/sh\nexec /usr/bin/setpriv --reuid=65534 "
                                                  "--regid=65534 --clear-groups '%1' \"$@\"\n")
                                       .arg(captureHelperPath())
                                       .toUtf8()));
    QFile::setPermissions(wrapper, QFile::permissions(wrapper) | QFileDevice::ExeOwner);
    HelperCapture unprivileged(wrapper);
    for (const Adapter& a : unprivileged.Adapters())
        if (a.Name == pair_->nameA())
            unprivileged.setActiveAdapter(a);
    const QString error =
        captureErrorOf([&] { unprivileged.StartCapture(); }).value_or("(started)");
    for (const QString& part : {QStringLiteral("not permitted"), pair_->nameA(),
                                QStringLiteral("sudo setcap cap_net_raw=ep ") + wrapper})
        EXPECT_TRUE(error.contains(part)) << part.toStdString() << " in " << error.toStdString();
    EXPECT_FALSE(unprivileged.isCapturing());

    selectA();
    capture_->StartCapture(); // the helper run as root: works
    EXPECT_TRUE(capture_->isCapturing());
}

TEST_F(PcapLive, TheHelperGivesUpEveryPrivilegeBeforeTheFirstFrame) {
    selectA();
    capture_->StartCapture();
    sendUdp("seen");
    ASSERT_TRUE(waitFor([&] { return udpCount() == 1; }));
    // Started by root, so it began with every capability; none is left while it captures.
    const QByteArray status =
        readFile(QStringLiteral("/proc/%1/status").arg(capture_->helperPid()));
    for (const char* line :
         {"CapInh:\t0000000000000000", "CapPrm:\t0000000000000000", "CapEff:\t0000000000000000",
          "CapAmb:\t0000000000000000", "NoNewPrivs:\t1"})
        EXPECT_TRUE(status.contains(line)) << line << " in\n" << status.constData();
    // Its environment is empty and it holds no descriptor of ours besides its output.
    EXPECT_TRUE(readFile(QStringLiteral("/proc/%1/environ").arg(capture_->helperPid())).isEmpty());
    const QString fds = QStringLiteral("/proc/%1/fd").arg(capture_->helperPid());
    QStringList held;
    for (const QString& fd : QDir(fds).entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
        if (fd.toInt() > 2)
            held << QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
    ASSERT_EQ(held.size(), 1) << held.join(' ').toStdString();
    EXPECT_TRUE(held.first().contains(QStringLiteral("socket:"))) << held.first().toStdString();
}

} // namespace

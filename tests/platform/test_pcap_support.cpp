// Parts of the capture component that need no privilege: filters, device questions, misuse, and
// what the window makes of helpers that fail or send damaged streams (small scripts standing in
// for the helper).
#include "platform/HelperCapture.h"
#include "platform/PcapSupport.h"
#include "support/CaptureHelperPath.h"
#include "support/CaptureRecorder.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <pcap/pcap.h>

namespace {

/// pcap's own message for a text that does not compile, or nothing when it compiles.
std::optional<QString> pcapVerdict(const QByteArray& text) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    bpf_program program{};
    std::optional<QString> message;
    if (pcap_compile(dead, &program, text.constData(), 1, PCAP_NETMASK_UNKNOWN) != 0)
        message = QString::fromLocal8Bit(pcap_geterr(dead));
    else
        pcap_freecode(&program);
    pcap_close(dead);
    return message;
}

TEST(PcapSupport, FiltersCompileOrFailWithPcapsOwnMessage) {
    struct Case {
        const char* text;
        bool compiles;
    };
    const Case cases[] = {{"", true},
                          {"tcp", true},
                          {"udp port 53", true},
                          {"host 10.231.1.1 and not arp", true},
                          {"ether proto 0x0800 and len > 60", true},
                          {"tcp port", false},
                          {"hoste 10.0.0.1", false},
                          {"port 99999", false},
                          {"(tcp", false},
                          {"net 10.0.0.0/33", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            pcapsupport::BpfProgram program =
                pcapsupport::compileFilter(QString::fromLatin1(c.text));
            EXPECT_TRUE(c.compiles);
            EXPECT_NE(program.get(), nullptr);
        } catch (const CaptureError& e) {
            EXPECT_FALSE(c.compiles) << e.what();
            // The description is libpcap's own explanation, word for word.
            const std::optional<QString> message = pcapVerdict(c.text);
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(e.description(), *message);
            EXPECT_FALSE(e.description().isEmpty());
        }
    }
}

TEST(PcapSupport, DeviceQuestionsAnswerForThisNamespace) {
    struct Case {
        QString name;
        qint32 linkType;
        pcapsupport::DeviceState state;
    };
    const Case cases[] = {
        {QStringLiteral("lo"), 772, pcapsupport::DeviceState::Up},
        {QStringLiteral("any"), 113, pcapsupport::DeviceState::Gone},
        {QStringLiteral("qmnosuch0"), 0, pcapsupport::DeviceState::Gone},
        {QStringLiteral("a-name-far-too-long-for-a-device"), 0, pcapsupport::DeviceState::Gone},
        {QString(), 0, pcapsupport::DeviceState::Gone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(pcapsupport::linkTypeOf(c.name), c.linkType);
        EXPECT_EQ(pcapsupport::deviceState(c.name), c.state);
    }
    EXPECT_TRUE(pcapsupport::adapterPresent(QStringLiteral("lo")));
    EXPECT_FALSE(pcapsupport::adapterPresent(QStringLiteral("qmnosuch0")));
    EXPECT_FALSE(pcapsupport::adapterPresent(QString()));
    EXPECT_TRUE(pcapsupport::adapterPresent(QStringLiteral("any")));
}

TEST(PcapSupport, KindsOfAdapterAndTheLinkTypeOfTheirFrames) {
    struct Case {
        qint32 hardware; // ARPHRD_*
        qint32 linkType;
        bool monitorable;
        const char* description;
    };
    const Case cases[] = {
        {1, 1, true, "Ethernet adapter x0"},        {65534, 12, true, "Tunnel adapter x0"},
        {519, 12, true, "Tunnel adapter x0"},       {776, 12, true, "Tunnel adapter x0"},
        {512, 113, true, "Point-to-point adapter x0"}, {772, 772, false, "Loopback adapter x0"},
        {32, 32, false, "Network adapter x0"}, // InfiniBand
        {801, 801, false, "Network adapter x0"}, // 802.11 monitor mode (radiotap)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hardware);
        Adapter a;
        a.Name = QStringLiteral("x0");
        a.LinkType = pcapsupport::linkTypeOfHardware(c.hardware);
        EXPECT_EQ(a.LinkType, c.linkType);
        EXPECT_EQ(pcapsupport::monitorable(a), c.monitorable);
        EXPECT_EQ(pcapsupport::describe(a.Name, a.LinkType, false, false),
                  QString::fromLatin1(c.description));
    }
    EXPECT_EQ(pcapsupport::describe(QStringLiteral("wlp2s0"), 1, false, true),
              QStringLiteral("Wireless adapter wlp2s0"));
    Adapter lo;
    lo.Name = QStringLiteral("lo");
    lo.LinkType = 1; // however its frames look, the loopback device is no adapter to monitor
    EXPECT_FALSE(pcapsupport::monitorable(lo));
    EXPECT_EQ(linktype::name(1), QStringLiteral("EN10MB"));
    EXPECT_EQ(linktype::name(127), QStringLiteral("IEEE802_11_RADIO"));
    EXPECT_EQ(linktype::name(147), QStringLiteral("147")); // no name
}

TEST(PcapSupport, TheAdapterOfTheDefaultRoute) {
    const QByteArray v4Header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const QByteArray zero(32, '0');
    struct Case {
        const char* what;
        QByteArray route, ipv6Route;
        const char* adapter;
    };
    const Case cases[] = {
        {"IPv4 default", v4Header + "eth1\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                                     "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n",
         QByteArray(), "wlan0"},
        {"IPv6 default only", v4Header,
         zero + " 00 " + zero + " 00 fe800000000000000000000000000001 00000400 00000001 "
                "00000000 00000003    wg0\n",
         "wg0"},
        {"no default route",
         v4Header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n",
         zero + " 00 " + zero + " 00 " + zero + " ffffffff 00000001 00000000 00200200       lo\n",
         ""},
        {"no tables", QByteArray(), QByteArray(), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        if (!c.route.isEmpty())
            writeFile(dir.filePath(QStringLiteral("route")), c.route);
        if (!c.ipv6Route.isEmpty())
            writeFile(dir.filePath(QStringLiteral("ipv6_route")), c.ipv6Route);
        EXPECT_EQ(pcapsupport::defaultRouteAdapter(dir.path()), QString::fromLatin1(c.adapter));
    }
}

TEST(HelperCapture, MisuseFailsCleanlyWithoutAnAdapter) {
    HelperCapture capture(captureHelperPath());
    EXPECT_TRUE(pcapsupport::libraryVersion().contains(QStringLiteral("libpcap")));
    EXPECT_FALSE(capture.isCapturing());
    capture.StopCapture(); // harmless when not capturing
    EXPECT_FALSE(capture.ActiveAdapter().has_value());

    // No adapter chosen.
    try {
        capture.StartCapture();
        ADD_FAILURE() << "capture started without an adapter";
    } catch (const CaptureError& e) {
        EXPECT_FALSE(e.description().isEmpty());
    }
    EXPECT_FALSE(capture.isCapturing());

    // Filters are kept before any adapter is active; a bad one changes nothing.
    EXPECT_EQ(capture.Filter(), QString());
    capture.setFilter(QStringLiteral("tcp port 80"));
    EXPECT_EQ(capture.Filter(), QStringLiteral("tcp port 80"));
    EXPECT_THROW(capture.setFilter(QStringLiteral("tcp port")), CaptureError);
    EXPECT_EQ(capture.Filter(), QStringLiteral("tcp port 80"));
    capture.setFilter(QString());
    EXPECT_EQ(capture.Filter(), QString());

    // The list is there without any privilege, and loopback is no Ethernet adapter.
    bool sawLo = false;
    for (const Adapter& a : capture.Adapters()) {
        if (a.Name == QLatin1String("lo")) {
            sawLo = true;
            EXPECT_NE(a.LinkType, 1);
            ASSERT_FALSE(a.Addresses.isEmpty());
            EXPECT_EQ(a.Addresses.first().IPAddress, QStringLiteral("127.0.0.1"));
        }
    }
    EXPECT_TRUE(sawLo);
}

/// A stand-in for the helper: a Python script whose standard output starts with a status
/// record (version, code, link type, message) unless `status` is empty, then runs `rest`.
QString standIn(const QTemporaryDir& dir, const QString& name, const QString& status,
                const QString& rest) {
    const QString path = dir.filePath(name);
    const QString script =
        QStringLiteral("#!/usr/bin/python3\n"
                       "import struct, sys, time\n"
                       "o = sys.stdout.buffer\n"
                       "def rec(kind, body):\n"
                       "    o.write(struct.pack('=II', kind, len(body)) + body); o.flush()\n"
                       "def status(version, code, link, text):\n"
                       "    rec(1, struct.pack('=Iii', version, code, link) + text)\n"
                       "%1\n%2\n")
            .arg(status, rest);
    writeFile(path, script.toUtf8());
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

TEST(HelperCapture, AHelperThatCannotStartIsNamedWithWhatToDo) {
    ensureApp<QCoreApplication>();
    QTemporaryDir dir;
    struct Case {
        const char* what;
        QString path;
        QStringList expected; // parts of StartCapture's error
    };
    const QString missing = dir.filePath(QStringLiteral("no-such-helper"));
    const Case cases[] = {
        {"missing", missing,
         {QStringLiteral("Cannot start Quelmint's capture helper ") + missing +
              QStringLiteral(": No such file or directory"),
          QStringLiteral("sudo setcap cap_net_raw=ep ") + missing}},
        {"refuses and ends",
         standIn(dir, QStringLiteral("refuses"), QString(),
                 QStringLiteral("sys.stderr.write('quelmint-capture: no\\n'); sys.exit(3)")),
         {QStringLiteral("ended with exit status 3: quelmint-capture: no before it opened "
                         "adapter lo")}},
        {"another version", standIn(dir, QStringLiteral("version"),
                                    QStringLiteral("status(99, 0, 1, b'')"), QString()),
         {QStringLiteral("is of another version (99, this program needs 1)")}},
        {"no privilege",
         standIn(dir, QStringLiteral("denied"),
                 QStringLiteral("status(1, -8, 0, b'socket: Operation not permitted')"), QString()),
         {QStringLiteral("Cannot capture on adapter lo: socket: Operation not permitted\r\n"),
          QStringLiteral("sudo setcap cap_net_raw=ep ") + dir.filePath(QStringLiteral("denied"))}},
        {"adapter down",
         standIn(dir, QStringLiteral("down"), QStringLiteral("status(1, -9, 0, b'lo: down')"),
                 QString()),
         {QStringLiteral("The adapter lo is down (lo: down). Capture can start once it is up "
                         "again.")}},
        {"filter refused",
         standIn(dir, QStringLiteral("filter"), QStringLiteral("status(1, 1, 0, b'syntax error')"),
                 QString()),
         {QStringLiteral("Cannot set the filter on adapter lo: syntax error")}},
        {"frames Quelmint cannot read",
         standIn(dir, QStringLiteral("linktype"), QStringLiteral("status(1, 0, 127, b'')"),
                 QStringLiteral("time.sleep(5)")),
         {QStringLiteral("Quelmint cannot monitor adapter lo: its frames are of link type 127 "
                         "(IEEE802_11_RADIO), which Quelmint cannot read.")}},
        {"answers with a frame",
         standIn(dir, QStringLiteral("frame"), QString(), QStringLiteral("rec(2, bytes(40))")),
         {QStringLiteral("answered with something that cannot be read")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HelperCapture capture(c.path);
        Adapter lo;
        lo.Name = QStringLiteral("lo");
        capture.setActiveAdapter(lo);
        const QString error = captureErrorOf([&] { capture.StartCapture(); }).value_or("(started)");
        for (const QString& part : c.expected)
            EXPECT_TRUE(error.contains(part)) << error.toStdString() << "\nlacks\n"
                                              << part.toStdString();
        EXPECT_FALSE(capture.isCapturing());
    }
}

TEST(HelperCapture, WhatARunningHelperSendsIsHandedOutOrEndsCaptureOnce) {
    ensureApp<QCoreApplication>();
    QTemporaryDir dir;
    const QString ok = QStringLiteral("status(1, 0, 1, b'')");
    // A frame of 42 bytes (wire length 60) captured at 1700000000.25 s.
    const QString frame =
        QStringLiteral("rec(2, struct.pack('=qII', 1700000000, 250000, 60) + bytes(range(42)))");
    struct Case {
        const char* what;
        QString rest;
        int frames;
        QString abortReason; // empty: capture goes on
        bool failure;        // the capture failed (told as such), not the adapter
        quint64 dropped;
    };
    const Case cases[] = {
        {"frames, then the adapter is lost",
         frame + QStringLiteral("\n") + frame +
             QStringLiteral("\nrec(4, b'The adapter lo went down.'); time.sleep(5)"),
         2, QStringLiteral("The adapter lo went down."), false, 0},
        {"dies after a frame", frame + QStringLiteral("\nsys.exit(0)"), 1,
         QStringLiteral("ended with exit status 0"), true, 0},
        {"damaged", frame + QStringLiteral("\nrec(9, b''); time.sleep(5)"), 1,
         QStringLiteral("sent data that cannot be read"), true, 0},
        {"a record cut short, then the end",
         frame + QStringLiteral("\no.write(struct.pack('=II', 2, 100)); o.flush()"), 1,
         QStringLiteral("ended with exit status 0"), true, 0},
        {"drops told twice count once",
         frame + QStringLiteral("\nrec(3, struct.pack('=5Q', 5, 1, 7, 0, 0))"
                                "\nrec(3, struct.pack('=5Q', 8, 1, 7, 0, 0)); time.sleep(5)"),
         1, QString(), false, 5 + 1 + 7 + 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HelperCapture capture(standIn(dir, QStringLiteral("helper"), ok, c.rest));
        CaptureRecorder rec;
        capture.setEvents(&rec);
        Adapter lo;
        lo.Name = QStringLiteral("lo");
        capture.setActiveAdapter(lo);
        capture.StartCapture();
        ASSERT_TRUE(capture.isCapturing());
        EXPECT_EQ(capture.linkType(), 1);
        if (c.abortReason.isEmpty()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return capture.takeDroppedFrames() == c.dropped; },
                                        5000));
            EXPECT_TRUE(capture.isCapturing());
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return rec.aborted > 0; }, 5000));
            QTest::qWait(50);
            EXPECT_EQ(rec.aborted, 1);
            EXPECT_FALSE(capture.isCapturing());
            EXPECT_TRUE(capture.abortReason().contains(c.abortReason))
                << capture.abortReason().toStdString();
            EXPECT_EQ(capture.takeFailure(), c.failure ? capture.abortReason() : QString());
            EXPECT_EQ(capture.takeFailure(), QString()) << "told twice";
        }
        ASSERT_EQ(int(rec.frames.size()), c.frames);
        EXPECT_EQ(rec.frames[0].packetLength, 60u);
        EXPECT_EQ(rec.frames[0].captureLength, 42u);
        EXPECT_EQ(rec.frames[0].bytes, QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112"
                                                            "131415161718191a1b1c1d1e1f20212223242526"
                                                            "272829"));
        EXPECT_EQ(rec.sinceBatchEnd, 0);
    }
}

} // namespace

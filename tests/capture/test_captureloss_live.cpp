// Frames dropped while the program does not read its capture: a flood of small UDP frames from
// namespace B while namespace A's capture is not read, with the capture helper's own buffer and
// the kernel's made small, checked against the veth's own counters. Needs root (skips without); run under flock /tmp/qm-live.lock.
#include "capture/CaptureLoss.h"
#include "capture/FrameHandler.h"
#include "platform/HelperCapture.h"
#include "support/CaptureHelperPath.h"
#include "support/NetnsPair.h"
#include "support/TestApp.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr quint16 kPort = 40100;
// Small buffers: a flood overflows them quickly, whatever the machine's speed.
constexpr int kBufferBytes = 1 << 20;
constexpr qint64 kHoldBytes = 1 << 20;
constexpr int kFlood = 100000;

/// Hands delivered frames to the program's frame path, and counts them: IPv4 ones and the rest.
struct Counter final : CaptureEvents {
    void OnPacket(const Packet& p) override {
        frames.OnPacket(p);
        const bool ipv4 = p.CaptureLength >= 14 && p.Data[12] == 0x08 && p.Data[13] == 0x00;
        ++(ipv4 ? this->ipv4 : other);
    }
    void OnCaptureAborted() override { aborted = true; }
    FrameHandler frames;
    quint64 ipv4 = 0;
    quint64 other = 0;
    bool aborted = false;
};

class CaptureLossLive : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp<QCoreApplication>();
        SKIP_WITHOUT_NETNS("python3");
        pair_ = std::make_unique<NetnsPair>(QStringLiteral("nl"), 140);
        ASSERT_TRUE(pair_->ok()) << "could not create the namespaces and the veth pair";
        enter_ = std::make_unique<NetnsEnter>(pair_->nsA());
        ASSERT_TRUE(enter_->ok());
        // A socket on the port, so the flood draws no "port unreachable" replies.
        sink_ = std::make_unique<QUdpSocket>();
        ASSERT_TRUE(sink_->bind(QHostAddress(pair_->addressA()), kPort));
        capture_ = std::make_unique<HelperCapture>(captureHelperPath());
        capture_->setBufferBytes(kBufferBytes);
        capture_->setHoldBytes(kHoldBytes);
        capture_->setEvents(&counter_);
        capture_->RefreshAdapters();
        for (const Adapter& a : capture_->Adapters())
            if (a.Name == pair_->nameA())
                capture_->setActiveAdapter(a);
        ASSERT_TRUE(capture_->ActiveAdapter().has_value());
    }

    void TearDown() override {
        capture_.reset();
        sink_.reset();
        enter_.reset();
        pair_.reset();
    }

    /// Sends count datagrams of 18 bytes (60-byte frames) from B as fast as Python can.
    void flood(int count) {
        const QString script =
            QStringLiteral("import socket\n"
                           "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                           "a = ('%1', %2)\n"
                           "d = b'q' * 18\n"
                           "for i in range(%3):\n"
                           "    s.sendto(d, a)\n")
                .arg(pair_->addressA())
                .arg(kPort)
                .arg(count);
        // Blocks this thread: nothing reads the capture while the frames arrive.
        ASSERT_EQ(pair_->runInB({"python3", "-c", script}, 120000), 0);
    }

    /// A counter of the veth in namespace A, as the kernel keeps it.
    quint64 kernelCount(const char* counter) {
        QByteArray out;
        const int rc = pair_->runInA({"cat", QStringLiteral("/sys/class/net/%1/statistics/%2")
                                                 .arg(pair_->nameA(), QLatin1String(counter))},
                                     10000, &out);
        bool ok = false;
        const quint64 value = out.trimmed().toULongLong(&ok);
        EXPECT_TRUE(rc == 0 && ok) << counter << ": " << out.constData();
        return value;
    }

    std::unique_ptr<NetnsPair> pair_;
    std::unique_ptr<NetnsEnter> enter_;
    std::unique_ptr<QUdpSocket> sink_;
    std::unique_ptr<HelperCapture> capture_;
    Counter counter_;
};

TEST_F(CaptureLossLive, FramesDroppedWhileNotReadingAreCountedAsTheKernelSawThem) {
    const QDate today = QDate::currentDate();
    CaptureLoss loss;
    capture_->StartCapture();
    flood(1); // the neighbour is known before the flood
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter_.ipv4 >= 1; }, 10000));
    loss.tick(capture_->takeDroppedFrames(), today);
    EXPECT_EQ(loss.runCount(), 0u) << "frames lost before the flood";

    const quint64 ipv4Before = counter_.ipv4, otherBefore = counter_.other;
    const auto countedBefore = quint64(counter_.frames.packetCount);
    const quint64 rx0 = kernelCount("rx_packets"), tx0 = kernelCount("tx_packets");
    flood(kFlood);
    const quint64 rxDelta = kernelCount("rx_packets") - rx0;
    const quint64 txDelta = kernelCount("tx_packets") - tx0;
    // Read what waited in the buffer, asking for the drops once a "tick" as the window does.
    auto accounted = [&] {
        loss.tick(capture_->takeDroppedFrames(), today);
        return counter_.ipv4 - ipv4Before + counter_.other - otherBefore + loss.runCount() >=
               rxDelta + txDelta;
    };
    EXPECT_TRUE(QTest::qWaitFor(accounted, 20000));
    QTest::qWait(200);
    loss.tick(capture_->takeDroppedFrames(), today);

    const quint64 lost = loss.runCount();
    const quint64 ipv4 = counter_.ipv4 - ipv4Before, other = counter_.other - otherBefore;
    const quint64 counted = quint64(counter_.frames.packetCount) - countedBefore;
    std::printf("[ figures ] flood of %d frames: kernel rx %llu tx %llu, delivered IPv4 %llu, "
                "other %llu, counted %llu, lost %llu\n",
                kFlood, (unsigned long long)rxDelta, (unsigned long long)txDelta,
                (unsigned long long)ipv4, (unsigned long long)other, (unsigned long long)counted,
                (unsigned long long)lost);
    EXPECT_FALSE(counter_.aborted);
    EXPECT_GT(lost, 0u);
    EXPECT_GE(rxDelta, quint64(kFlood));
    EXPECT_EQ(loss.dayCount(), lost);
    EXPECT_EQ(counted, ipv4) << "the frame path left out delivered IPv4 frames";
    // What the kernel received and the program did not count is what the capture reported
    // lost, give or take the frames that are not IPv4 and our own few replies.
    const qint64 unexplained = qint64(rxDelta) - qint64(counted) - qint64(lost);
    EXPECT_GE(unexplained, -qint64(txDelta));
    EXPECT_LE(unexplained, qint64(other));
}

TEST_F(CaptureLossLive, DropsAreReportedOnceAlsoAfterCaptureStoppedAndARestartCountsFromZero) {
    capture_->StartCapture();
    flood(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter_.ipv4 >= 1; }, 10000));
    EXPECT_EQ(capture_->takeDroppedFrames(), 0u);
    flood(kFlood);
    // Read until the helper has told of its drops, then stop before anyone asked for them.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return capture_->helperStatistics().helperDropped > 0; }, 20000));
    capture_->StopCapture();
    const quint64 lost = capture_->takeDroppedFrames();
    EXPECT_GT(lost, 0u);
    EXPECT_LE(lost, quint64(kFlood));
    EXPECT_EQ(capture_->takeDroppedFrames(), 0u) << "reported twice";
    capture_->StartCapture();
    EXPECT_EQ(capture_->takeDroppedFrames(), 0u) << "the new capture took the old one's count";
    const quint64 before = counter_.ipv4;
    flood(100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter_.ipv4 >= before + 100; }, 10000));
    QTest::qWait(1200); // a statistics record of the new helper
    EXPECT_EQ(capture_->takeDroppedFrames(), 0u);
    std::printf("[ figures ] stopped capture: %llu of %d frames lost\n", (unsigned long long)lost,
                kFlood);
}

} // namespace

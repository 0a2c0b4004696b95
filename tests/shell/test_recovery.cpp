// Adapter loss and recovery with the real capture component inside a network namespace.
#include "support/RealProgram.h"

#include "monitor/AdapterMonitor.h"
#include "monitor/TrayController.h"
#include "platform/HelperCapture.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "platform/fakes/FakeTrayIcon.h"
#include "support/CaptureHelperPath.h"

#include <QDialog>
#include <QTimer>

#include <csignal>

#include <gtest/gtest.h>

namespace {
constexpr quint16 kPort = 40404;

/// Counts the test's UDP frames and hands aborts to the monitor.
class CountingEvents final : public CaptureEvents {
public:
    explicit CountingEvents(AdapterMonitor& monitor) : monitor_(monitor) {}
    void OnPacket(const Packet& p) override {
        const unsigned char* d = p.Data;
        if (p.CaptureLength < 42 || d[12] != 0x08 || d[13] != 0x00 || d[23] != 17)
            return;
        const unsigned ihl = (d[14] & 0x0f) * 4u;
        if (p.CaptureLength < 14 + ihl + 4)
            return;
        const unsigned port = (unsigned(d[14 + ihl + 2]) << 8) | d[14 + ihl + 3];
        if (port == kPort) {
            ++frames;
            bytes += p.PacketLength;
        } else if (port == kPort + 1) {
            ++warmUps;
        }
    }
    void OnCaptureAborted() override { monitor_.OnCaptureAborted(); }
    int frames = 0;
    int warmUps = 0;
    qint64 bytes = 0;

private:
    AdapterMonitor& monitor_;
};

/// The adapter's addresses: A's IPv4 one, then the IPv6 link-local one if the kernel made it.
void expectAddressA(const NetnsPair& pair, const QStringList& addresses) {
    EXPECT_EQ(addresses.value(0), pair.addressA());
    EXPECT_LE(addresses.size(), 2);
    for (const QString& a : addresses.mid(1))
        EXPECT_TRUE(a.startsWith(QStringLiteral("fe80::"))) << a.toStdString();
}

struct Rig {
    explicit Rig(const NetnsPair& pair)
        : tray(icon), interfaceName(pair.nameA()), description(QStringLiteral("test adapter")),
          monitor(krx, tray, boxes, interfaceName, description, countIPv6), events(monitor) {
        krx.setEvents(&events);
        tray.addTrayIcon();
        QObject::connect(&monitor.Timer3, &QTimer::timeout, [this] { ++polls; });
    }
    /// Waits until the recovery timer has fired `count` more times.
    bool waitForPolls(int count) {
        const int target = polls + count;
        return waitUntil([&] { return polls >= target; }, 30000);
    }
    int polls = 0;
    HelperCapture krx{captureHelperPath()};
    FakeTrayIcon icon;
    TrayController tray;
    FakeMessageBoxes boxes;
    QString interfaceName;
    QString description;
    bool countIPv6 = false;
    AdapterMonitor monitor;
    CountingEvents events;
};

/// Sends count datagrams from B after a warm-up that resolves the neighbour, and waits until the
/// rig has counted them.
bool sendAndCount(const NetnsPair& pair, Rig& rig, int count) {
    // Neighbour resolution: once the warm-up datagram has been seen, B knows A's address.
    const int warmUps = rig.events.warmUps;
    sendUdpFrom(pair.nsB(), pair.addressA(), kPort + 1, 1, 8);
    if (!waitUntil([&] { return rig.events.warmUps > warmUps; }, 15000))
        return false;
    const int before = rig.events.frames;
    if (sendUdpFrom(pair.nsB(), pair.addressA(), kPort, count, 100) != count)
        return false;
    return waitUntil([&] { return rig.events.frames >= before + count; }, 15000) &&
           (spin(100), rig.events.frames == before + count);
}

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        SKIP_WITHOUT_NETNS();
        pair_ = std::make_unique<NetnsPair>(QStringLiteral("rec"), 40);
        ASSERT_TRUE(pair_->ok());
        enter_ = std::make_unique<NetnsEnter>(pair_->nsA());
        ASSERT_TRUE(enter_->ok());
    }
    void TearDown() override {
        enter_.reset();
        pair_.reset();
    }
    std::unique_ptr<NetnsPair> pair_;
    std::unique_ptr<NetnsEnter> enter_;
};
} // namespace

TEST_F(Recovery, LostAdapterIsToldOncePolledQuietlyAndResumed) {
    Rig rig(*pair_);
    ASSERT_TRUE(rig.monitor.startMonitoring());
    EXPECT_TRUE(rig.monitor.gMonitoringInProgress);
    expectAddressA(*pair_, rig.monitor.localAddresses);
    EXPECT_EQ(rig.icon.balloonTitles(), QStringList{"Monitoring"});
    EXPECT_EQ(rig.monitor.gTooltipText, rig.description);
    ASSERT_TRUE(sendAndCount(*pair_, rig, 40));

    ASSERT_TRUE(pair_->deleteVeth());
    ASSERT_TRUE(waitUntil([&] { return rig.icon.balloons.size() == 2; }, 15000));
    const FakeTrayIcon::Balloon lost = rig.icon.balloons.last();
    EXPECT_EQ(lost.title, QStringLiteral("Adapter lost"));
    EXPECT_EQ(lost.icon, 3);
    EXPECT_EQ(lost.text, QStringLiteral("Monitoring stopped on\r\n") + rig.description + "\r\n");
    EXPECT_EQ(rig.icon.picture, 5);
    EXPECT_EQ(rig.icon.tip, QStringLiteral("No adapter selected"));
    EXPECT_FALSE(rig.monitor.gMonitoringInProgress);
    EXPECT_TRUE(rig.monitor.Timer3.isActive());
    EXPECT_EQ(rig.monitor.Timer3.interval(), 2000);

    // While the adapter is gone, polling every 2 s shows nothing more.
    ASSERT_TRUE(rig.waitForPolls(2));
    EXPECT_EQ(rig.icon.balloons.size(), 2);
    EXPECT_EQ(rig.icon.picture, 5);
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());

    ASSERT_TRUE(pair_->createVeth(true));
    ASSERT_TRUE(waitUntil([&] { return rig.monitor.gMonitoringInProgress; }, 15000));
    EXPECT_EQ(rig.icon.balloonTitles(), QStringList({"Monitoring", "Adapter lost", "Monitoring"}));
    EXPECT_FALSE(rig.monitor.Timer3.isActive());
    EXPECT_TRUE(sendAndCount(*pair_, rig, 40));
    EXPECT_EQ(rig.events.frames, 80);
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());
}

TEST_F(Recovery, AHelperThatDiesIsToldOnceAndCaptureComesBackWithNothingLost) {
    Rig rig(*pair_);
    rig.monitor.setRecoveryInterval(300);
    ASSERT_TRUE(rig.monitor.startMonitoring());
    ASSERT_TRUE(sendAndCount(*pair_, rig, 20));
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const qint64 helper = rig.krx.helperPid();
        ASSERT_GT(helper, 0);
        ASSERT_EQ(::kill(pid_t(helper), SIGKILL), 0);
        ASSERT_TRUE(waitUntil([&] { return !rig.monitor.gMonitoringInProgress; }, 15000));
        // The poll starts a new helper.
        ASSERT_TRUE(waitUntil([&] { return rig.monitor.gMonitoringInProgress; }, 15000));
        EXPECT_NE(rig.krx.helperPid(), helper);
        ASSERT_TRUE(sendAndCount(*pair_, rig, 20));
    }
    EXPECT_EQ(rig.events.frames, 60);
    // Told once, with the reason; the second death of the same kind says nothing new.
    ASSERT_EQ(rig.boxes.boxes.size(), 1);
    EXPECT_EQ(rig.boxes.boxes[0].title, QString());
    EXPECT_TRUE(rig.boxes.boxes[0].text.startsWith(QStringLiteral("Error in OnCaptureAborted:")));
    EXPECT_TRUE(rig.boxes.boxes[0].text.contains(QStringLiteral("ended by signal 9")))
        << rig.boxes.boxes[0].text.toStdString();
}

TEST_F(Recovery, AdapterWithoutAddressIsPolledUntilItGetsOne) {
    ASSERT_TRUE(pair_->deleteVeth());
    ASSERT_TRUE(pair_->createVeth(false));
    Rig rig(*pair_);
    rig.monitor.setRecoveryInterval(200);
    EXPECT_FALSE(rig.monitor.startMonitoring());
    EXPECT_FALSE(rig.monitor.gMonitoringInProgress);
    EXPECT_EQ(rig.monitor.localAddresses, QStringList{QString()});
    rig.monitor.startRecovery();
    ASSERT_TRUE(rig.waitForPolls(4));
    EXPECT_TRUE(rig.icon.balloons.isEmpty());
    EXPECT_FALSE(rig.krx.isCapturing());
    EXPECT_TRUE(rig.monitor.Timer3.isActive());

    ASSERT_TRUE(pair_->addAddressA());
    ASSERT_TRUE(waitUntil([&] { return rig.monitor.gMonitoringInProgress; }, 15000));
    EXPECT_EQ(rig.icon.balloonTitles(), QStringList{"Monitoring"});
    expectAddressA(*pair_, rig.monitor.localAddresses);
    EXPECT_TRUE(sendAndCount(*pair_, rig, 20));
}

TEST_F(Recovery, RepeatedLossAndReturnLosesNoCount) {
    Rig rig(*pair_);
    rig.monitor.setRecoveryInterval(100);
    ASSERT_TRUE(rig.monitor.startMonitoring());
    constexpr int kRounds = 10;
    constexpr int kPerRound = 25;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_TRUE(sendAndCount(*pair_, rig, kPerRound)) << "round " << round;
        ASSERT_TRUE(pair_->deleteVeth());
        ASSERT_TRUE(waitUntil([&] { return !rig.monitor.gMonitoringInProgress; }, 15000))
            << "round " << round;
        ASSERT_TRUE(pair_->createVeth(true));
        ASSERT_TRUE(waitUntil([&] { return rig.monitor.gMonitoringInProgress; }, 15000))
            << "round " << round;
    }
    ASSERT_TRUE(sendAndCount(*pair_, rig, kPerRound));
    EXPECT_EQ(rig.events.frames, (kRounds + 1) * kPerRound);
    EXPECT_EQ(rig.icon.balloonTitles().count(QStringLiteral("Adapter lost")), kRounds);
    EXPECT_EQ(rig.icon.balloonTitles().count(QStringLiteral("Monitoring")), kRounds + 1);
    EXPECT_TRUE(rig.boxes.boxes.isEmpty());
}

TEST_F(Recovery, LossIsNoticedWhileAModalDialogIsOpen) {
    Rig rig(*pair_);
    rig.monitor.setRecoveryInterval(200);
    ASSERT_TRUE(rig.monitor.startMonitoring());

    // The dialog's own event loop is the only one running: the capture notifier and the
    // recovery timer must both work inside it.
    QDialog dialog;
    int step = 0;
    QTimer stepper;
    stepper.setInterval(50);
    QObject::connect(&stepper, &QTimer::timeout, [&] {
        if (step == 0) {
            pair_->deleteVeth();
            step = 1;
        } else if (step == 1 && rig.icon.balloonTitles().contains(QStringLiteral("Adapter lost"))) {
            pair_->createVeth(true);
            step = 2;
        } else if (step == 2 && rig.monitor.gMonitoringInProgress) {
            step = 3;
            dialog.accept();
        }
    });
    stepper.start();
    QTimer::singleShot(15000, &dialog, &QDialog::reject); // give up rather than hang
    dialog.exec();
    stepper.stop();
    EXPECT_EQ(step, 3);
    EXPECT_EQ(rig.icon.balloonTitles(), QStringList({"Monitoring", "Adapter lost", "Monitoring"}));
    EXPECT_TRUE(sendAndCount(*pair_, rig, 10));
}

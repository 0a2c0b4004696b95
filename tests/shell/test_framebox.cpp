// An error box raised by the session's frame path during a flood of frames on a veth pair
// between two network namespaces: the box opens after the handler returns, capture goes on
// reading and counting while it is open, and no frame but the failing one is lost.
#include "support/CaptureHelperPath.h"
#include "support/FakeShellServices.h"
#include "support/RealProgram.h"

#include "monitor/MonitorSession.h"
#include "platform/HelperCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
constexpr quint16 kPort = 40130;
constexpr int kPayload = 300;
constexpr double kFrameLength = 14 + 20 + 8 + kPayload; // Ethernet, IPv4, UDP, payload

/// Passes capture events on and tells whether one is being handled.
class Tracking final : public CaptureEvents {
public:
    explicit Tracking(CaptureEvents& to) : to_(to) {}
    void OnPacket(const Packet& p) override {
        inside([&] { to_.OnPacket(p); });
    }
    void OnBatchEnd() override {
        inside([&] { to_.OnBatchEnd(); });
    }
    void OnCaptureAborted() override {
        inside([&] { to_.OnCaptureAborted(); });
    }
    int depth = 0;

private:
    template <typename F> void inside(F f) {
        ++depth;
        f();
        --depth;
    }
    CaptureEvents& to_;
};
} // namespace

TEST(FrameBoxes, AnErrorBoxDuringAFloodLosesNoFrame) {
    SKIP_WITHOUT_NETNS();
    ensureApplication();
    NetnsPair pair(QStringLiteral("mb"), 130);
    ASSERT_TRUE(pair.ok()) << "could not create the namespaces and the veth pair";
    NetnsEnter enter(pair.nsA());
    ASSERT_TRUE(enter.ok());

    // The session capturing on A; the first name it asks for fails (Resolve IP is on).
    FakeShellServices fakes;
    FakeMessageBoxes& shown = fakes.boxes;
    MonitorSession session(
        fakes.makeServices([] { return std::make_unique<HelperCapture>(captureHelperPath()); }));
    ASSERT_TRUE(session.open());
    session.setLocalAddresses({pair.addressA()});
    session.setResolveNames(true);
    fakes.resolver.failure = QStringLiteral("test fault");
    fakes.resolver.failOnce = true;
    Tracking events(session);
    auto counted = [&] {
        return int(session.frames().counters.transfer(TrafficCounters::Received) / kFrameLength);
    };

    std::atomic<bool> sending{true};
    std::atomic<int> sent{0};
    bool openedInHandler = true;
    int countedWhileOpen = 0;
    shown.whileOpen = [&] {
        openedInHandler = events.depth > 0;
        const int before = counted();
        waitUntil([&] { return !sending; }, 60000);
        waitUntil([&] { return counted() >= sent - 1; }, 5000);
        countedWhileOpen = counted() - before;
    };

    CaptureComponent& capture = session.capture();
    capture.setEvents(&events);
    capture.RefreshAdapters();
    for (const Adapter& a : capture.Adapters())
        if (a.Name == pair.nameA())
            capture.setActiveAdapter(a);
    ASSERT_TRUE(capture.ActiveAdapter().has_value());
    capture.StartCapture();

    std::thread sender([&] {
        // About 8,000 frames a second for a second and a half: far more than the capture buffer
        // holds while nobody reads it.
        for (int chunk = 0; chunk < 60; ++chunk) {
            sent += sendUdpFrom(pair.nsB(), pair.addressA(), kPort, 200, kPayload);
            QThread::msleep(20);
        }
        sending = false;
    });
    // Every frame but the one whose name failed is counted.
    const bool all = waitUntil([&] { return !sending && counted() >= sent - 1; }, 120000);
    sender.join();
    waitUntil([&] { return !shown.boxes.isEmpty() && !shown.isOpen(); }, 10000);
    capture.StopCapture();

    EXPECT_TRUE(all);
    EXPECT_EQ(sent, 12000);
    EXPECT_EQ(counted(), sent.load() - 1) << "frames lost";
    ASSERT_EQ(shown.boxes.size(), 1);
    EXPECT_EQ(shown.boxes[0].text, QStringLiteral("Error in OnPacket:\r\ntest fault"));
    EXPECT_FALSE(openedInHandler);
    EXPECT_GT(countedWhileOpen, 0) << "capture stopped reading while the box was open";
}

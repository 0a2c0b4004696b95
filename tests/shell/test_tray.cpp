#include "support/Units.h"
#include "capture/TrafficCounters.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeTrayIcon.h"
#include "shell/TrayController.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"

#include <gtest/gtest.h>

namespace {
// The icon as the main window drives it: the speed sampler's update after each sample goes
// through the icon rules to the icon.
struct Chain {
    const UnitsGuard units; // restores the display unit set below
    explicit Chain(const QString& tooltip = QStringLiteral("eth0")) {
        gDisplayUnit = 3;
        sampler.gMonitoringInProgress = true;
        sampler.gTooltipText = tooltip;
        sampler.updateTray = [this](int picture, const QString& tip) { tray.update(picture, tip); };
        tray.addTrayIcon();
        sampler.start();
    }
    /// Adds traffic, then lets one second of ticks pass (one sample).
    void sample(double received, double sent, double passby) {
        if (received > 0)
            counters.add(Direction::Download, received, received, 0);
        if (sent > 0)
            counters.add(Direction::Upload, sent, sent, 0);
        if (passby > 0)
            counters.add(Direction::Passby, passby, passby, 0);
        for (int i = 0; i < SpeedSampler::kTicksPerSample; ++i) {
            clock.advance(100);
            sampler.tick();
        }
    }

    FakeClock clock;
    TrafficCounters counters;
    FakeTrayIcon icon;
    TrayController tray{icon};
    SpeedSampler sampler{clock, counters, nullptr};
};
} // namespace

// Which picture and tip a sample chooses is the speed sampler's rule and tested there; these
// tests cover what the icon does with them.

TEST(TrayController, TipFromAnyCallerIsCutAt127Characters) {
    Chain chain;
    chain.tray.update(3, QString(200, QLatin1Char('t')));
    EXPECT_EQ(chain.icon.picture, 3);
    EXPECT_EQ(chain.icon.tip, QString(127, QLatin1Char('t')));
}

TEST(TrayController, BalloonReplacesThePreviousOneAndLeavesPictureOne) {
    Chain chain;
    FakeTrayIcon& icon = chain.icon;
    TrayController& tray = chain.tray;
    chain.sample(2, 3, 0);
    ASSERT_EQ(icon.picture, 4);
    icon.calls.clear();

    tray.showBaloonTip(QStringLiteral("first"), QStringLiteral("Monitoring"), 1);
    tray.showBaloonTip(QStringLiteral("second"), QStringLiteral("Adapter lost"), 3);
    // Each balloon takes the showing one down before it appears.
    EXPECT_EQ(icon.calls, QStringList({"hideBalloon", "balloon Monitoring", "modify 1",
                                       "hideBalloon", "balloon Adapter lost"}));
    EXPECT_EQ(icon.picture, 1);
    EXPECT_EQ(icon.balloons.last().icon, 3);
    EXPECT_EQ(icon.tip, QStringLiteral("eth0\r\nTotal: 5 B")); // a balloon keeps the tip

    // The no-adapter follow-up shows picture 5 with its own tip, until the next sample.
    tray.showNoAdapter();
    EXPECT_EQ(icon.picture, 5);
    EXPECT_EQ(icon.tip, QStringLiteral("No adapter selected"));
    chain.sample(0, 0, 0);
    EXPECT_EQ(icon.picture, 1);
}

TEST(TrayController, AddShowsPictureOneOnceAndRemoveTakesItAway) {
    FakeTrayIcon icon;
    TrayController tray(icon);
    tray.addTrayIcon();
    EXPECT_TRUE(icon.shown);
    EXPECT_EQ(icon.picture, 1);
    EXPECT_EQ(icon.tip, QString());
    EXPECT_TRUE(tray.isAdded());
    tray.removeTrayIcon();
    EXPECT_FALSE(icon.shown);
    EXPECT_FALSE(tray.isAdded());
    // Nothing reaches a removed icon.
    tray.showNoAdapter();
    EXPECT_EQ(icon.picture, 1);
}

TEST(TrayController, TheIconHearsOnlyOfChanges) {
    struct Step {
        double received, sent;
        int modifies; // calls that reach the icon for this second
    };
    // The first second sets the tip; idle seconds change nothing; traffic changes picture and total; the same picture with a
    // new total changes the tip; traffic that stops brings picture 1 back once.
    const Step steps[] = {{0, 0, 1}, {0, 0, 0}, {10, 0, 1}, {10, 0, 1}, {0, 0, 1},
                          {0, 0, 0}, {0, 0, 0}, {0, 4, 1}, {0, 0, 1}, {0, 0, 0}};
    Chain chain;
    for (size_t i = 0; i < std::size(steps); ++i) {
        chain.icon.calls.clear();
        chain.sample(steps[i].received, steps[i].sent, 0);
        EXPECT_EQ(chain.icon.calls.size(), steps[i].modifies) << "second " << i;
    }
    EXPECT_EQ(chain.icon.tip, QStringLiteral("eth0\r\nTotal: 24 B"));
    // A balloon leaves picture 1: one call when another picture showed, none when 1 did.
    chain.sample(3, 0, 0);
    chain.icon.calls.clear();
    chain.tray.showBaloonTip(QStringLiteral("x"), QStringLiteral("Monitoring"), 1);
    chain.tray.showBaloonTip(QStringLiteral("y"), QStringLiteral("Monitoring"), 1);
    EXPECT_EQ(chain.icon.calls.count(QStringLiteral("modify 1")), 1);
}

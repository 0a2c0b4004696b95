#include "support/LocalText.h"
#include "support/SessionRig.h"

#include "monitor/TrayController.h"

#include <gtest/gtest.h>

namespace {
// The icon as the session drives it: each sample's picture and total go through the icon rules
// to the icon while the adapter is monitored.
struct Chain : SessionRig {
    explicit Chain(const QString& tooltip = QStringLiteral("eth0")) {
        session->setMonitoringInProgress(true);
        session->setTooltipText(tooltip);
        tray.addTrayIcon();
        session->sampler().start();
    }
    /// Traffic of these sizes, then one second of ticks (one sample).
    void sample(quint32 received, quint32 sent, quint32 passby) {
        traffic(received, sent, passby);
        nextSecond();
    }

    FakeTrayIcon& icon = FakeShellServices::tray;
    TrayController& tray = session->tray();
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
    chain.sample(200, 300, 0);
    ASSERT_EQ(icon.picture, 4);
    icon.calls.clear();

    tray.showBaloonTip(QStringLiteral("first"), QStringLiteral("Monitoring"), 1);
    tray.showBaloonTip(QStringLiteral("second"), QStringLiteral("Adapter lost"), 3);
    // Each balloon takes the showing one down before it appears.
    EXPECT_EQ(icon.calls, QStringList({"hideBalloon", "balloon Monitoring", "modify 1",
                                       "hideBalloon", "balloon Adapter lost"}));
    EXPECT_EQ(icon.picture, 1);
    EXPECT_EQ(icon.balloons.last().icon, 3);
    EXPECT_EQ(icon.tip, QStringLiteral("eth0\r\nTotal: 500 B")); // a balloon keeps the tip

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
        quint32 received, sent;
        int modifies; // calls that reach the icon for this second
    };
    // The first second sets the tip; idle seconds change nothing; traffic changes picture and
    // total; the same picture with a new total changes the tip; traffic that stops brings picture 1
    // back once.
    const Step steps[] = {{0, 0, 1}, {0, 0, 0}, {100, 0, 1}, {100, 0, 1}, {0, 0, 1},
                          {0, 0, 0}, {0, 0, 0}, {0, 60, 1},  {0, 0, 1},   {0, 0, 0}};
    Chain chain;
    for (size_t i = 0; i < std::size(steps); ++i) {
        chain.icon.calls.clear();
        chain.sample(steps[i].received, steps[i].sent, 0);
        EXPECT_EQ(chain.icon.calls.size(), steps[i].modifies) << "second " << i;
    }
    EXPECT_EQ(chain.icon.tip, QStringLiteral("eth0\r\nTotal: 260 B"));
    // A balloon leaves picture 1: one call when another picture showed, none when 1 did.
    chain.sample(300, 0, 0);
    chain.icon.calls.clear();
    chain.tray.showBaloonTip(QStringLiteral("x"), QStringLiteral("Monitoring"), 1);
    chain.tray.showBaloonTip(QStringLiteral("y"), QStringLiteral("Monitoring"), 1);
    EXPECT_EQ(chain.icon.calls.count(QStringLiteral("modify 1")), 1);
}

TEST(TrayController, TipShowsAsMuchOfTheAdapterAsFitsBesideTheWholeTotal) {
    struct Case {
        int descLength;
        int shown; // characters of the description in the tip
    };
    // "\r\nTotal: " is 9 characters, "60 B" 4: 114 + 13 = 127 fits exactly.
    const Case cases[] = {{20, 20}, {21, 21}, {60, 60}, {114, 114}, {115, 114}, {400, 114}};
    for (const Case& c : cases) {
        QString desc;
        for (int i = 0; i < c.descLength; ++i)
            desc += QChar(u'a' + i % 26);
        Chain chain(desc);
        chain.sample(60, 0, 0);
        EXPECT_EQ(chain.icon.tip, desc.left(c.shown) + QStringLiteral("\r\nTotal: 60 B"))
            << c.descLength;
    }
    // A total that grows takes room from the name, never the other way round.
    Chain chain(QString(400, QLatin1Char('d')));
    const quint32 half = 2684354560u; // 2.5 GiB each way
    chain.sample(half, half, 0);
    const QString line = QStringLiteral("\r\nTotal: ") + local("5.00 G");
    EXPECT_EQ(chain.icon.tip, QString(127 - line.size(), QLatin1Char('d')) + line);
}

TEST(TrayController, NotMonitoringLeavesTheIconAlone) {
    Chain chain;
    chain.sample(100, 0, 0);
    ASSERT_EQ(chain.icon.picture, 2);
    chain.session->setMonitoringInProgress(false);
    chain.icon.calls.clear();
    chain.sample(0, 100, 0);
    EXPECT_TRUE(chain.icon.calls.isEmpty());
    // The previous totals moved on all the same: back to monitoring, an idle second is idle.
    chain.session->setMonitoringInProgress(true);
    chain.sample(0, 0, 0);
    EXPECT_EQ(chain.icon.picture, 1);
}

#include "platform/fakes/FakeTrayIcon.h"
#include "shell/TrayController.h"

#include <gtest/gtest.h>

TEST(TrayController, PictureFollowsTheCountersThatGrew) {
    struct Case {
        bool received, sent, passby;
        int picture;
    };
    const Case cases[] = {
        {false, false, false, 1}, {true, false, false, 2}, {false, true, false, 3},
        {true, true, false, 4},   {false, false, true, 4}, {true, false, true, 4},
        {false, true, true, 4},
    };
    for (const Case& c : cases) {
        FakeTrayIcon icon;
        TrayController tray(icon);
        tray.addTrayIcon();
        tray.updateAfterSample(c.received, c.sent, c.passby, QStringLiteral("eth0"),
                               QStringLiteral("1 KB"));
        EXPECT_EQ(icon.picture, c.picture) << c.received << c.sent << c.passby;
        EXPECT_EQ(icon.tip, QStringLiteral("eth0\r\nTotal: 1 KB"));
    }
}

TEST(TrayController, TipIsCutAt127Characters) {
    struct Case {
        int descLength;
        int expected;
    };
    // "\r\nTotal: " is 9 characters, "12 B" 4: 114 + 13 = 127 fits exactly.
    const Case cases[] = {{20, 33}, {114, 127}, {115, 127}, {400, 127}};
    for (const Case& c : cases) {
        FakeTrayIcon icon;
        TrayController tray(icon);
        tray.addTrayIcon();
        const QString desc(c.descLength, QLatin1Char('d'));
        tray.updateAfterSample(true, false, false, desc, QStringLiteral("12 B"));
        EXPECT_EQ(icon.tip.size(), c.expected) << c.descLength;
        EXPECT_TRUE(icon.tip.startsWith(desc.left(c.expected)));
    }
}

TEST(TrayController, BalloonReplacesThePreviousOneAndLeavesPictureOne) {
    FakeTrayIcon icon;
    TrayController tray(icon);
    tray.addTrayIcon();
    tray.updateAfterSample(true, true, false, QStringLiteral("eth0"), QStringLiteral("5 B"));
    ASSERT_EQ(icon.picture, 4);
    icon.calls.clear();

    tray.showBaloonTip(QStringLiteral("first"), QStringLiteral("Monitoring"), 1);
    tray.showBaloonTip(QStringLiteral("second"), QStringLiteral("Adapter lost"), 3);
    // Each balloon takes the showing one down before it appears.
    EXPECT_EQ(icon.calls, QStringList({"hideBalloon", "balloon Monitoring", "modify 1",
                                       "hideBalloon", "balloon Adapter lost", "modify 1"}));
    EXPECT_EQ(icon.picture, 1);
    EXPECT_EQ(icon.balloons.last().icon, 3);
    EXPECT_EQ(icon.tip, QStringLiteral("eth0\r\nTotal: 5 B")); // a balloon keeps the tip

    // The no-adapter follow-up shows picture 5 with its own tip.
    tray.showNoAdapter();
    EXPECT_EQ(icon.picture, 5);
    EXPECT_EQ(icon.tip, QStringLiteral("No adapter selected"));
    tray.updateAfterSample(false, false, false, QStringLiteral("eth0"), QStringLiteral("5 B"));
    EXPECT_EQ(icon.picture, 1);
}

TEST(TrayController, AddShowsPictureOneOnceAndRemoveTakesItAway) {
    FakeTrayIcon icon;
    TrayController tray(icon);
    tray.addTrayIcon();
    EXPECT_TRUE(icon.shown);
    EXPECT_EQ(icon.picture, 1);
    EXPECT_EQ(icon.tip, QString());
    tray.removeTrayIcon();
    EXPECT_FALSE(icon.shown);
    // Nothing reaches a removed icon.
    tray.showNoAdapter();
    EXPECT_EQ(icon.picture, 1);
}

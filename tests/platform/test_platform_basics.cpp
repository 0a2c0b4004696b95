#include "platform/DeferredMessageBoxes.h"
#include "platform/SystemClock.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeMessageBoxes.h"

#include "support/TestApp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <algorithm>

#include <gtest/gtest.h>

TEST(FakeClock, AdvancesAcrossMidnightAndTheTickWrap) {
    struct Case {
        QDateTime start;
        quint32 tick;
        qint64 step;
        QDate day;
        quint32 tickAfter;
    };
    const Case cases[] = {
        {QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 500)), 100, 1000, QDate(2027, 1, 1), 1100},
        {QDateTime(QDate(2026, 3, 31), QTime(12, 0)), 0xFFFFFF00u, 0x200, QDate(2026, 3, 31), 0x100},
        {QDateTime(QDate(2026, 2, 28), QTime(23, 0)), 5, 3600 * 1000, QDate(2026, 3, 1), 5 + 3600 * 1000},
    };
    for (const Case& c : cases) {
        FakeClock clock(c.start, c.tick);
        clock.advance(c.step);
        EXPECT_EQ(clock.today(), c.day);
        EXPECT_EQ(clock.tickCount(), c.tickAfter);
    }
}

TEST(SystemClock, TickCountMovesWithTime) {
    SystemClock clock;
    const QDate dayBefore = QDate::currentDate();
    QElapsedTimer around;
    around.start();
    const quint32 a = clock.tickCount();
    QThread::msleep(20);
    const quint32 b = clock.tickCount();
    const qint64 atMost = around.elapsed();
    const QDate today = clock.today();
    // Unsigned difference is right across the wrap too; it never exceeds what a second clock
    // measured around both reads, however loaded the machine is.
    EXPECT_GE(quint32(b - a), 15u);
    EXPECT_LE(qint64(quint32(b - a)), atMost + 1);
    EXPECT_TRUE(today == dayBefore || today == QDate::currentDate()) << "midnight tolerated";
}

TEST(MessageBoxes, ErrorTextAndNoStackingFromRepeatingHandlers) {
    FakeMessageBoxes boxes;
    int nestedShown = 0;
    boxes.whileOpen = [&] {
        // Frames keep arriving while the first box is open: none of them opens another.
        for (int i = 0; i < 100; ++i)
            nestedShown += boxes.error(QStringLiteral("OnPacket"), QStringLiteral("again"),
                                       ErrorSource::Repeating);
    };
    EXPECT_TRUE(boxes.error(QStringLiteral("OnPacket"), QStringLiteral("Overflow"),
                            ErrorSource::Repeating));
    EXPECT_EQ(nestedShown, 0);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Error in OnPacket:\r\nOverflow"));
    EXPECT_EQ(boxes.boxes[0].icon, BoxIcon::Critical);

    // A user action's error is shown even while another box is open.
    boxes.whileOpen = nullptr;
    boxes.holdOpen = true;
    EXPECT_TRUE(boxes.error(QStringLiteral("OK"), QStringLiteral("bad"), ErrorSource::UserAction));
    EXPECT_FALSE(boxes.error(QStringLiteral("Timer1"), QStringLiteral("bad"), ErrorSource::Repeating));
    EXPECT_EQ(boxes.boxes.size(), 2);
}

TEST(DeferredMessageBoxes, ShownLaterOneAtATimeNeverOverAnother) {
    ensureApp<QCoreApplication>();
    FakeMessageBoxes target;
    DeferredMessageBoxes boxes(target);
    int depth = 0, deepest = 0;
    target.whileOpen = [&] {
        deepest = std::max(deepest, ++depth);
        QTest::qWait(250); // the box's own event loop
        --depth;
    };
    target.holdOpen = true; // another box of the program is open
    EXPECT_TRUE(boxes.error(QStringLiteral("OnPacket"), QStringLiteral("first")));
    EXPECT_TRUE(boxes.isOpen());
    // A repeating handler adds nothing while one waits; a user's action queues behind it.
    EXPECT_FALSE(boxes.error(QStringLiteral("OnPacket"), QStringLiteral("again"),
                             ErrorSource::Repeating));
    EXPECT_TRUE(boxes.error(QStringLiteral("logUsage"), QStringLiteral("second")));
    EXPECT_TRUE(target.boxes.isEmpty()); // nothing is shown inside the caller
    QTest::qWait(500);
    EXPECT_TRUE(target.boxes.isEmpty()); // not over the open box
    target.holdOpen = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.boxes.size() == 2 && !boxes.isOpen(); },
                                10000));
    EXPECT_EQ(target.boxes[0].text, QStringLiteral("Error in OnPacket:\r\nfirst"));
    EXPECT_EQ(target.boxes[1].text, QStringLiteral("Error in logUsage:\r\nsecond"));
    EXPECT_EQ(deepest, 1);
    boxes.show(BoxIcon::Warning, QString(), QStringLiteral("dropped at shutdown"));
    boxes.discard();
    QTest::qWait(100);
    EXPECT_EQ(target.boxes.size(), 2);
}

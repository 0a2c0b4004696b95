#include "support/RealProgram.h"

#include "platform/UnixSignalWatcher.h"

#include <csignal>

#include <gtest/gtest.h>

TEST(UnixSignalWatcher, TerminationSignalsArriveOnTheEventLoop) {
    ensureApplication();
    QList<int> received;
    {
        UnixSignalWatcher watcher;
        ASSERT_TRUE(watcher.isActive());
        QObject::connect(&watcher, &UnixSignalWatcher::terminationRequested,
                         [&](int number) { received.append(number); });
        // A second watcher does not take the handlers away from the first.
        UnixSignalWatcher second;
        EXPECT_FALSE(second.isActive());
        for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
            ASSERT_EQ(::raise(number), 0);
            EXPECT_TRUE(waitUntil([&] { return received.contains(number); }, 2000)) << number;
        }
    }
    EXPECT_EQ(received, QList<int>({SIGTERM, SIGINT, SIGHUP}));
    // The previous (default) handlers are back.
    struct sigaction now = {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

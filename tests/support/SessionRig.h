#pragma once

// The monitoring session without a window, over every outside service faked.

#include "support/FakeShellServices.h"
#include "support/FrameBuilder.h"
#include "support/TestApp.h"

#include <QGuiApplication>

#include "monitor/MonitorSession.h"

#include <gtest/gtest.h>

/// The session opened (its capture component forwards to `capture`), eth0 (10.0.0.1) listed
/// and stored as the adapter; nothing else of the start-up has run.
struct SessionRig : FakeShellServices {
    /// refreshMs: the shortest time between two refreshes of the views (0: after every batch).
    explicit SessionRig(int refreshMs = 0) {
        this->refreshMs = refreshMs;
        ensureApp<QGuiApplication>(); // the graph draws text
        configureEth0();
        session = std::make_unique<MonitorSession>(makeServices());
        EXPECT_TRUE(session->open());
        session->setLocalAddresses({QStringLiteral("10.0.0.1")});
    }
    /// Traffic of these sizes on the wire (0: none): received by 10.0.0.1, sent by it, and
    /// passing by, one frame each.
    void traffic(quint32 received, quint32 sent = 0, quint32 passby = 0) {
        const quint32 local = 0x0A000001, other = 0x0A000009, third = 0x0A00000A;
        if (received > 0)
            capture.firePacket(FrameBuilder::anyLength(other, local), received);
        if (sent > 0)
            capture.firePacket(FrameBuilder::anyLength(local, other), sent);
        if (passby > 0)
            capture.firePacket(FrameBuilder::anyLength(other, third), passby);
    }
    /// One second of Timer1 ticks (one speed sample).
    void nextSecond() {
        for (int i = 0; i < SpeedSampler::kTicksPerSample; ++i) {
            clock.advance(100);
            session->timer1Tick();
        }
    }

    std::unique_ptr<MonitorSession> session;
};

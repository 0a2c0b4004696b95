// The "Bytes" tab's statistics panel as the session fills it.
#include "support/LocalText.h"
#include "support/SessionRig.h"

#include "shell/StatsPanel.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {

/// The session showing its statistics in a panel, with the display unit given.
struct Rig {
    explicit Rig(int displayUnit = 3) {
        Settings& settings = s.session->settings();
        settings.gDisplayUnit = displayUnit;
        settings.announce(Settings::Display);
        s.session->statistics().setView(&panel);
        QObject::connect(&panel, &StatsPanel::resetClicked,
                         [this] { s.session->resetStatistics(); });
        s.session->resetStatistics();
    }
    /// count frames of a batch, not yet ended.
    void send(quint32 source, quint32 destination, int payload, int count = 1) {
        const QByteArray f = FrameBuilder::udp(source, destination, payload);
        for (int i = 0; i < count; ++i)
            s.capture.events()->OnPacket(FrameBuilder::packetOf(f));
    }
    void batchEnd() { s.capture.events()->OnBatchEnd(); }
    QString text(const char* name) const {
        auto* label = panel.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
    }

    struct AppFirst {
        AppFirst() { ensureApp<QApplication>(); }
    } appFirst; // the application exists before the panel
    SessionRig s;
    StatsPanel panel;
};

TEST(StatsPanel, CaptionsAndNames) {
    Rig r;
    const std::pair<const char*, const char*> captions[] = {
        {"Label5", "Packets: "}, {"Label3", "Duration:"}, {"Label9", "Avg speed:"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(r.text(name), QString::fromLatin1(caption));
    auto* reset = r.panel.findChild<QPushButton*>(QStringLiteral("cmdReset"));
    ASSERT_NE(reset, nullptr);
    EXPECT_EQ(reset->text(), QStringLiteral("Reset Statistics"));
    QStringList texts;
    for (auto* label : r.panel.findChildren<QLabel*>())
        texts << label->text();
    for (const char* caption :
         {"Download", "Upload", "Pass-by", "Total", "Transfer", "Data", "Headers"})
        EXPECT_TRUE(texts.contains(QString::fromLatin1(caption))) << caption;
    for (const char* name : {"lblReceived", "lblReceivedD", "lblReceivedH", "lblSent", "lblSentD",
                             "lblSentH", "lblPassthru", "lblPassthruD", "lblPassthruH", "lblTotal",
                             "lblTotalD", "lblTotalH", "lblPackets", "lblDuration", "lblAvgSpeed"})
        EXPECT_NE(r.panel.findChild<QLabel*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST(StatsPanel, ShowsCountersAfterTheBatch) {
    Rig r(0);
    r.send(0x0A000001, 0x0A000002, 100, 3);               // upload: 142 bytes, 42 header
    r.send(0x0A000002, 0x0A000001, 1000, 2);              // download: 1042 bytes
    r.send(0x0A000003, 0x0A000002, 10);                   // pass-by: 52 bytes
    EXPECT_EQ(r.text("lblPackets"), QStringLiteral("0")); // not per frame
    r.batchEnd();
    EXPECT_EQ(r.text("lblSent"), QStringLiteral("426"));
    EXPECT_EQ(r.text("lblSentD"), QStringLiteral("300"));
    EXPECT_EQ(r.text("lblSentH"), QStringLiteral("126"));
    EXPECT_EQ(r.text("lblReceived"), QStringLiteral("2084"));
    EXPECT_EQ(r.text("lblReceivedD"), QStringLiteral("2000"));
    EXPECT_EQ(r.text("lblReceivedH"), QStringLiteral("84"));
    EXPECT_EQ(r.text("lblPassthru"), QStringLiteral("52"));
    EXPECT_EQ(r.text("lblPassthruD"), QStringLiteral("10"));
    EXPECT_EQ(r.text("lblPassthruH"), QStringLiteral("42"));
    EXPECT_EQ(r.text("lblTotal"), QStringLiteral("2562"));
    EXPECT_EQ(r.text("lblTotalD"), QStringLiteral("2310"));
    EXPECT_EQ(r.text("lblTotalH"), QStringLiteral("252"));
    EXPECT_EQ(r.text("lblPackets"), QStringLiteral("6"));
}

TEST(StatsPanel, ResetButtonShowsZeros) {
    for (int unit : {3, 0}) {
        Rig r(unit);
        r.send(0x0A000001, 0x0A000002, 5000, 4);
        r.batchEnd();
        r.s.clock.advance(65000);
        r.s.session->statistics().updateDuration();
        EXPECT_EQ(r.text("lblDuration"), QStringLiteral("00:01:05"));
        r.s.session->setDisplayFrozen(true);
        r.panel.cmdReset()->click();
        const QString zero = unit == 3 ? QStringLiteral("0 B") : QStringLiteral("0");
        for (const char* name :
             {"lblReceived", "lblReceivedD", "lblReceivedH", "lblSent", "lblSentD", "lblSentH",
              "lblPassthru", "lblPassthruD", "lblPassthruH", "lblTotal", "lblTotalD", "lblTotalH"})
            EXPECT_EQ(r.text(name), zero) << name;
        EXPECT_EQ(r.text("lblPackets"), QStringLiteral("0"));
        EXPECT_EQ(r.text("lblDuration"), QStringLiteral("00:00:00"));
        EXPECT_EQ(r.text("lblAvgSpeed"), local("0.00 KB/s"));
        EXPECT_EQ(r.s.session->frames().packetCount, 0.0);
    }
}

} // namespace

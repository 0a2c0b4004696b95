// The "Packets" tab's list in the main window, offscreen: frames through the frame path show
// in ListView1 with their captions and texts, the data cell red then black (read from the
// painted pixels), the reset empties it, the freeze holds it, and host names arrive late
// without holding anything up.
#include "support/MainWindow.h"
#include "support/Widgets.h"

#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include <functional>
#include <tuple>

namespace {

/// The main window capturing on eth0 (10.0.0.1), on its "Packets" tab.
struct Window : MainWindow {
    Window() {
        EXPECT_EQ(startOnEth0(), Form1::StartResult::Running);
        chooseTab(2);
        list = find<QTableView>(QStringLiteral("ListView1"));
    }

    /// The texts of a row, "|"-joined.
    std::string row(int r) const {
        QStringList cells;
        for (int c = 0; c < list->model()->columnCount(); ++c)
            cells << list->model()->index(r, c).data().toString();
        return cells.join(QLatin1Char('|')).toStdString();
    }

    /// Pixels of the painted data cell of a row: how many are plainly red, how many dark.
    std::pair<int, int> dataCellInk(int r) {
        const auto [red, dark, light] = dataCellPixels(r);
        return {red, dark};
    }
    /// Pixels of the painted data cell of a row: plainly red, dark, light.
    std::tuple<int, int, int> dataCellPixels(int r) {
        QApplication::processEvents();
        const QImage shot = list->viewport()->grab().toImage();
        const QRectF logical = list->visualRect(list->model()->index(r, 4));
        const qreal ratio = shot.devicePixelRatio(); // image pixels per widget pixel
        const QRect cell(QRectF(logical.topLeft() * ratio, logical.size() * ratio).toRect());
        int red = 0, dark = 0, light = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                    ++red;
                else if (c.red() < 90 && c.green() < 90 && c.blue() < 90)
                    ++dark;
                else if (c.lightness() > 170)
                    ++light;
            }
        return {red, dark, light};
    }

    void keepPicture(const QString& name) {
        const QString dir =
            qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
        QDir().mkpath(dir);
        window->grab().save(dir + QLatin1Char('/') + name);
    }

    QTableView* list = nullptr;
};

QByteArray udp(quint32 from, quint16 fromPort, quint32 to, quint16 toPort, int payload) {
    return FrameBuilder::udp(from, fromPort, to, toPort, payload);
}

constexpr quint32 kPeer = 0x0A000009;  // 10.0.0.9
constexpr quint32 kLocal = 0x0A000001; // 10.0.0.1

TEST(ConnectionList, FramesShowWithCaptionsTextsAndRedThenBlackData) {
    Window w;
    ASSERT_NE(w.list, nullptr);
    EXPECT_EQ(w.list->parentWidget()->objectName(), "packetsPage");
    EXPECT_TRUE(w.list->isVisible());
    QStringList captions;
    for (int c = 0; c < w.list->model()->columnCount(); ++c)
        captions << w.list->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions,
              QStringList({"From", "Port", "To", "Port", "Data (Bytes)", "Type", "Packets"}));
    for (int c = 0; c < w.list->model()->columnCount(); ++c) {
        const int need = w.list->horizontalHeader()->fontMetrics().horizontalAdvance(captions[c]);
        EXPECT_GE(w.list->columnWidth(c), need) << captions[c].toStdString();
    }

    w.capture.firePacket(udp(kPeer, 40000, kLocal, 53, 100));
    w.capture.firePacket(udp(kPeer, 40000, kLocal, 53, 20));
    w.capture.firePacket(udp(kLocal, 53, kPeer, 40000, 300));
    ASSERT_EQ(w.list->model()->rowCount(), 2);
    EXPECT_EQ(w.row(0), "10.0.0.9|40000|10.0.0.1|53|120|UDP|2");
    EXPECT_EQ(w.row(1), "10.0.0.1|53|10.0.0.9|40000|300|UDP|1");
    const auto [red, dark] = w.dataCellInk(0);
    EXPECT_GT(red, 0);
    EXPECT_EQ(dark, 0);
    w.keepPicture(QStringLiteral("connectionlist-offscreen-red.png"));

    // Past the highlight time (2 s) the next housekeeping tick paints the data black.
    w.clock.advance(2001);
    w.session().timer2Tick();
    const auto [redAfter, darkAfter] = w.dataCellInk(0);
    EXPECT_EQ(redAfter, 0);
    EXPECT_GT(darkAfter, 0);
    EXPECT_EQ(w.list->model()->rowCount(), 2);

    // Past the removal time (30 s) they go.
    w.clock.advance(28000);
    w.session().timer2Tick();
    EXPECT_EQ(w.list->model()->rowCount(), 0);
    EXPECT_EQ(w.session().frames().packetCount, 3);
}

TEST(ConnectionList, Ipv6RowsShowTheShortTextOnceCounted) {
    Window w;
    w.session().settings().gCountIPv6 = true;
    w.session().settings().announce(Settings::Switches);
    const char* peer = "2001:db8:85a3::8a2e:370:7334";
    w.capture.firePacket(FrameBuilder::ipv6(peer, "fd00:77::1", 120));
    w.capture.firePacket(FrameBuilder::ipv6("fd00:77::1", peer, 56, 58));
    w.capture.firePacket(udp(kPeer, 40000, kLocal, 53, 100));
    ASSERT_EQ(w.list->model()->rowCount(), 3);
    EXPECT_EQ(w.row(0), "2001:db8:85a3::8a2e:370:7334|40000|fd00:77::1|53|120|UDP|1");
    EXPECT_EQ(w.row(1), "fd00:77::1|0|2001:db8:85a3::8a2e:370:7334|0|0|ICMPv6|1");
    EXPECT_EQ(w.row(2), "10.0.0.9|40000|10.0.0.1|53|100|UDP|1");
    w.keepPicture(QStringLiteral("connectionlist-offscreen-ipv6.png"));
}

TEST(ConnectionList, NewRowsAreFollowedOnlyWhileTheListIsAtItsEnd) {
    Window w;
    quint16 nextPort = 1;
    auto newRows = [&](int n) {
        for (int i = 0; i < n; ++i)
            w.capture.firePacket(udp(kPeer, nextPort++, kLocal, 7, 1));
    };
    QScrollBar* bar = w.list->verticalScrollBar();
    struct Step {
        const char* name;
        std::function<void()> act;
        bool atEnd; // the scroll bar stands at its end
        int topRow; // -1: any; else the row shown at the top
    };
    const Step steps[] = {
        {"rows beyond the view: followed", [&] { newRows(100); }, true, -1},
        {"more rows: still followed", [&] { newRows(5); }, true, -1},
        {"a packet of the first row does not pull the view back",
         [&] { w.capture.firePacket(udp(kPeer, 1, kLocal, 7, 1)); }, true, -1},
        {"scrolled to the top", [&] { bar->setValue(0); }, false, 0},
        {"new rows leave the reader where they are", [&] { newRows(20); }, false, 0},
        {"scrolled a little down", [&] { bar->setValue(10); }, false, 10},
        {"new rows still leave the view alone", [&] { newRows(3); }, false, 10},
        {"scrolled back to the end", [&] { bar->setValue(bar->maximum()); }, true, -1},
        {"following resumes", [&] { newRows(7); }, true, -1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.act();
        QApplication::processEvents();
        EXPECT_EQ(bar->value() == bar->maximum(), s.atEnd) << bar->value() << "/" << bar->maximum();
        const int rows = w.list->model()->rowCount();
        if (s.atEnd) {
            const QRect last = w.list->visualRect(w.list->model()->index(rows - 1, 0));
            EXPECT_TRUE(w.list->viewport()->rect().contains(last)) << last.y();
        }
        if (s.topRow >= 0) {
            EXPECT_EQ(w.list->rowAt(0), s.topRow);
        }
    }
    EXPECT_EQ(w.list->model()->rowCount(), 135);
}

TEST(ConnectionList, OnADarkPaletteTheDataIsDrawnLikeTheOtherCells) {
    Window w;
    QPalette dark = w.list->palette();
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    w.list->setPalette(dark);
    w.capture.firePacket(udp(kPeer, 40000, kLocal, 53, 100));
    const auto [red, darkInk, lightInk] = w.dataCellPixels(0);
    EXPECT_GT(red, 0) << "the highlight stays red";
    w.clock.advance(2001);
    w.session().timer2Tick();
    const auto [redAfter, darkAfter, lightAfter] = w.dataCellPixels(0);
    EXPECT_EQ(redAfter, 0);
    EXPECT_GT(lightAfter, 0) << "the text colour of the palette, not black on dark";
    w.keepPicture(QStringLiteral("connectionlist-offscreen-dark.png"));
}

TEST(ConnectionList, ResetEmptiesTheList) {
    Window w;
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    w.capture.firePacket(udp(kPeer, 3, kLocal, 4, 10));
    ASSERT_EQ(w.list->model()->rowCount(), 2);
    auto* reset = child<QPushButton>(*w.window, "cmdReset");
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(w.list->model()->rowCount(), 0);
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    EXPECT_EQ(w.row(0), "10.0.0.9|1|10.0.0.1|2|10|UDP|1");
}

TEST(ConnectionList, FrozenListStandsStillWhileFramesCount) {
    Window w;
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    w.clickToolbar(3); // "Freeze Display"
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    w.capture.firePacket(udp(kPeer, 5, kLocal, 6, 10));
    w.clock.advance(60000);
    w.session().timer2Tick();
    ASSERT_EQ(w.list->model()->rowCount(), 1);
    EXPECT_EQ(w.row(0), "10.0.0.9|1|10.0.0.1|2|10|UDP|1");
    EXPECT_GT(w.dataCellInk(0).first, 0); // still red
    EXPECT_EQ(w.session().frames().packetCount, 3);
    // Thawed: the first tick removes what is overdue.
    w.clickToolbar(3);
    w.session().timer2Tick();
    EXPECT_EQ(w.list->model()->rowCount(), 0);
}

TEST(ConnectionList, HostNamesArriveLateAndStartNewRows) {
    Window w;
    w.clickToolbar(5); // "Resolve IP"
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    EXPECT_EQ(w.row(0), "10.0.0.9|1|10.0.0.1|2|10|UDP|1");
    EXPECT_EQ(w.resolver.asked, QList<IpAddress>({IpAddress::v4(kPeer), IpAddress::v4(kLocal)}));
    w.resolver.reply(kPeer, QByteArray("peer.example"));
    w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    ASSERT_EQ(w.list->model()->rowCount(), 2);
    EXPECT_EQ(w.row(1), "peer.example|1|10.0.0.1|2|10|UDP|1");
    // The local address never gets an answer: still dotted, not asked again.
    for (int i = 0; i < 5; ++i)
        w.capture.firePacket(udp(kPeer, 1, kLocal, 2, 10));
    EXPECT_EQ(w.row(1), "peer.example|1|10.0.0.1|2|60|UDP|6");
    EXPECT_EQ(w.resolver.asked.size(), 2);
    w.keepPicture(QStringLiteral("connectionlist-offscreen-names.png"));
}

} // namespace

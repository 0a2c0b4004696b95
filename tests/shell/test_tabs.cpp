// The main window's tabs: widths, the controls each tab shows, mouse clicks on the tab strip,
// the graph on the "Bytes" tab and texts that must not be cut off. Runs offscreen; ctest runs
// it once more with QT_SCALE_FACTOR=1.5.
#include "support/CutOff.h"
#include "support/MainWindow.h"
#include "support/Pictures.h"

#include "settings/ui/Form2.h"
#include "shell/TabLayout.h"
#include "shell/Toolbar.h"
#include "speed/TrafficGraph.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QWindow>

#include <cmath>

namespace {

/// A main window with every outside service faked, started with adapter eth0 and KB/s and a
/// data plan of 50 GB from the 15th, shown.
struct Main : MainWindow {
    Main() {
        store.at(QStringLiteral("PlanAllowance")) = QStringLiteral("53687091200");
        store.at(QStringLiteral("PlanStartDay")) = QStringLiteral("15");
        startShown();
        strip = find<QTabBar>(QStringLiteral("TabStrip1"));
    }
    QTabBar* strip = nullptr;
};

/// The controls of the visibility table that this window has, and the tabs that show them.
struct Shown {
    const char* name;
    bool bytes, packets, log;
};
const Shown kShown[] = {
    {"Frame1", true, false, false},         {"Frame2", true, false, false},
    {"Picture1", true, false, false},       {"Picture2", true, false, false},
    {"lblAvgSpeed", true, false, false},    {"Label9", true, false, false},
    {"cmdReset", true, false, false},       {"lblDuration", true, true, false},
    {"Label3", true, true, false},          {"lblPackets", false, true, false},
    {"Label5", false, true, false},         {"ListView2", false, false, true},
    {"Combo1", false, false, true},         {"Combo2", false, false, true},
    {"Command3", false, false, true},       {"lblUsage(0)", false, false, true},
    {"lblUsage(1)", false, false, true},    {"lblUsageVal(0)", false, false, true},
    {"lblUsageVal(1)", false, false, true}, {"lblPlan", false, false, true},
    {"cmdChart", false, false, true},
};

bool shownOn(const Shown& s, int tab) {
    return tab == 1 ? s.bytes : tab == 2 ? s.packets : s.log;
}

TEST(Tabs, WidthsAndControlsOfEveryTab) {
    Main m;
    auto* frame3 = m.find(QStringLiteral("Frame3"));
    auto* list2 = m.find(QStringLiteral("ListView2"));
    ASSERT_TRUE(m.strip && frame3 && list2);
    // Shown on "Bytes" at start-up: the frame counts in the outer width from the first show.
    EXPECT_EQ(m.strip->currentIndex(), 0);
    EXPECT_EQ(m.window->frameGeometry().width(), 349);
    struct Case {
        int tab, outerWidth, stripWidth;
    };
    // From "Log" to "Bytes" narrows the window; "Packets" and "Log" share the wide width.
    const Case cases[] = {{3, 443, 425}, {1, 349, 331}, {2, 443, 425},
                          {3, 443, 425}, {2, 443, 425}, {1, 349, 331}};
    for (const Case& c : cases) {
        m.strip->setCurrentIndex(c.tab - 1);
        EXPECT_EQ(m.window->frameGeometry().width(), c.outerWidth) << c.tab;
        EXPECT_EQ(m.strip->width(), c.stripWidth) << c.tab;
        EXPECT_EQ(frame3->width(), c.stripWidth - 8) << c.tab; // as wide as the lists
        EXPECT_EQ(list2->width(), c.stripWidth - 8) << c.tab;
        for (const Shown& s : kShown) {
            QWidget* w = m.find(QString::fromLatin1(s.name));
            ASSERT_NE(w, nullptr) << s.name;
            EXPECT_EQ(w->isVisible(), shownOn(s, c.tab)) << s.name << " on tab " << c.tab;
        }
        // Every control lies inside the window, none is cut by its edge.
        for (const Shown& s : kShown) {
            if (shownOn(s, c.tab)) {
                EXPECT_TRUE(m.window->rect().contains(m.placeOf(QString::fromLatin1(s.name))))
                    << s.name;
            }
        }
    }
}

TEST(Tabs, ControlsOfOtherPartsFollowTheTableByName) {
    // The toolbar and the packet list, as bare controls under a window of their own.
    ensureApplication();
    QWidget window;
    auto add = [&](const char* name, QWidget* parent) {
        auto* w = new QWidget(parent);
        w->setObjectName(QString::fromLatin1(name));
        w->resize(10, 10);
        return w;
    };
    add("TabStrip1", &window);
    QWidget* page = add("clientArea", &window);
    const char* toolbar[] = {"Picture3(0)", "Picture3(1)", "Picture3(2)", "Picture3(3)",
                             "Picture3(4)", "Picture3(5)", "Picture4(0)", "Picture4(1)"};
    for (const char* n : toolbar)
        add(n, &window);
    QWidget* list1 = add("ListView1", page);
    window.show();
    TabLayout layout(window);
    struct Case {
        int tab;
        bool buttons0to4, separator0, button5, separator1, list;
        int stripWidth;
    };
    const Case cases[] = {{1, true, true, false, false, false, 331},
                          {2, true, true, true, true, true, 425},
                          {3, false, false, false, false, false, 425}};
    for (const Case& c : cases) {
        layout.apply(c.tab);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(window.findChild<QWidget*>(QString::fromLatin1(toolbar[i]))->isVisible(),
                      c.buttons0to4)
                << toolbar[i] << " on " << c.tab;
        EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("Picture3(5)"))->isVisible(),
                  c.button5);
        EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("Picture4(0)"))->isVisible(),
                  c.separator0);
        EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("Picture4(1)"))->isVisible(),
                  c.separator1);
        EXPECT_EQ(list1->isVisible(), c.list) << c.tab;
        EXPECT_EQ(list1->width(), c.stripWidth - 8) << c.tab;
    }
    // An index outside 1..3 changes no visibility and sets the lists from the strip's width.
    window.findChild<QWidget*>(QStringLiteral("TabStrip1"))->resize(200, 10);
    layout.apply(7);
    EXPECT_EQ(list1->width(), 192);
    EXPECT_FALSE(list1->isVisible());
}

TEST(Tabs, EveryTabAnswersAMouseClick) {
    Main m;
    ASSERT_NE(m.strip, nullptr);
    QWindow* handle = m.window->windowHandle();
    ASSERT_NE(handle, nullptr);
    // Every way between the tabs, clicking the middle and the left part of each tab.
    const int order[] = {3, 1, 2, 1, 3, 2, 3, 1};
    for (int tab : order) {
        for (double share : {0.5, 0.15}) {
            const QRect r = m.strip->tabRect(tab - 1);
            const QPoint inStrip(r.left() + int(r.width() * share), r.center().y());
            const QPoint inWindow = m.strip->mapTo(m.window.get(), inStrip);
            // Nothing lies over the strip at that point.
            EXPECT_EQ(m.window->childAt(inWindow), m.strip) << "tab " << tab;
            QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, inWindow);
            QCoreApplication::processEvents();
            EXPECT_EQ(m.strip->currentIndex(), tab - 1) << "click on tab " << tab;
        }
    }
}

TEST(Tabs, SharedAndMovedLabelsKeepTheirPlaces) {
    Main m;
    m.strip->setCurrentIndex(0);
    const QPoint durationOnBytes = m.placeOf(QStringLiteral("lblDuration")).topLeft();
    const QRect captionOnBytes = m.placeOf(QStringLiteral("Label3"));
    m.strip->setCurrentIndex(1);
    EXPECT_EQ(m.placeOf(QStringLiteral("lblDuration")).topLeft(), durationOnBytes);
    EXPECT_EQ(m.placeOf(QStringLiteral("Label3")), captionOnBytes);
    m.strip->setCurrentIndex(0);
    EXPECT_EQ(m.placeOf(QStringLiteral("lblDuration")).topLeft(), durationOnBytes);

    // "Avg speed:" in the place and height of "Packets: "; its value at the packet count's
    // top and height, in the values' column.
    const QRect label9 = m.placeOf(QStringLiteral("Label9")),
                label5 = m.placeOf(QStringLiteral("Label5"));
    const QRect avg = m.placeOf(QStringLiteral("lblAvgSpeed")),
                packets = m.placeOf(QStringLiteral("lblPackets"));
    EXPECT_EQ(label9.topLeft(), label5.topLeft());
    EXPECT_EQ(label9.height(), label5.height());
    EXPECT_EQ(avg.top(), packets.top());
    EXPECT_EQ(avg.height(), packets.height());
    EXPECT_EQ(avg.left(), packets.left());
    EXPECT_EQ(m.find<QLabel>(QStringLiteral("Label9"))->text(), QStringLiteral("Avg speed:"));
}

TEST(Tabs, GraphRunsOnEveryTabAndShowsAtOnceOnBytes) {
    Main m;
    ASSERT_NE(m.session().graph(), nullptr);
    m.strip->setCurrentIndex(2); // "Log"
    const TrafficGraph& g = *m.session().graph();
    const int x = g.graphWidth() - 3;
    m.nextSecond(0);
    m.nextSecond(96000); // above the default 48 000: full scale
    m.nextSecond(0);
    // Drawn while hidden: the full column has moved one step left.
    EXPECT_EQ(g.graphImage().pixel(g.px(x - 2), 0) & 0xffffff, 0x00ff00u);
    // The statistics reset keeps the graph.
    m.session().resetStatistics();
    EXPECT_EQ(g.graphImage().pixel(g.px(x - 2), 0) & 0xffffff, 0x00ff00u);

    // "Bytes" shows it: the picture holds the image inside its 2-pixel border.
    m.strip->setCurrentIndex(0);
    auto* picture = m.find(QStringLiteral("Picture1"));
    ASSERT_NE(picture, nullptr);
    const QImage shown = picture->grab().toImage();
    // The image's device pixels one for one on the screen's, inside the 2-pixel border.
    const qreal dpr = picture->devicePixelRatioF();
    EXPECT_EQ(g.ratio(), dpr);
    const int border = qRound(2 * dpr);
    const QPoint at(border + g.px(x - 2), border + g.px(0));
    EXPECT_EQ(shown.pixel(at) & 0xffffff, 0x00ff00u);
    const QPoint grid(border + g.px(g.lastGridX()), border + g.px(5));
    EXPECT_EQ(shown.pixel(grid) & 0xffffff, 0x008242u);
    // The sizes: chart 63 high, meter 72 wide and as high.
    EXPECT_EQ(picture->height(), 63);
    EXPECT_EQ(m.find(QStringLiteral("Picture2"))->size(), QSize(72, 63));
    EXPECT_EQ(g.graphWidth(), picture->width() - 5);
    EXPECT_EQ(g.graphHeight(), 58);

    // Shutdown releases the graph; a late tick draws nothing.
    m.window->unload();
    EXPECT_EQ(m.session().graph(), nullptr);
    m.nextSecond(1000);
}

TEST(Tabs, TheStoredBandwidthIsTheGraphsFullScale) {
    // 2,000 B/s: a full-height column at Bandwidth 1000, under 3 pixels at the default 48,000.
    MainWindow m;
    m.configureEth0();
    m.store.at(QStringLiteral("Bandwidth")) = QStringLiteral("1000");
    m.startShown();
    m.nextSecond(0);
    m.nextSecond(2000);
    m.nextSecond(0);
    const TrafficGraph& g = *m.session().graph();
    auto* picture = m.find(QStringLiteral("Picture1"));
    const int border = qRound(2 * picture->devicePixelRatioF());
    const QImage shown = picture->grab().toImage();
    EXPECT_EQ(shown.pixel(border + g.px(g.graphWidth() - 5), border + g.px(0)) & 0xffffff,
              0x00ff00u);
}

TEST(Tabs, NoTextIsCutOff) {
    Main m;
    // Long figures, as after days of traffic.
    for (int i = 0; i < 230; ++i)
        m.capture.firePacket(Main::bulk(), 0xFFFFFFFFu);
    m.nextSecond(3000000);
    m.session().timer2Tick(); // the plan's line
    for (int tab : {1, 2, 3}) {
        m.strip->setCurrentIndex(tab - 1);
        const QStringList cut = cutOffTexts(*m.window);
        EXPECT_TRUE(cut.isEmpty()) << "tab " << tab << ":\n" << cut.join('\n').toStdString();
    }
    // The settings dialog, opened as the "Settings" command does, on a light and a dark
    // palette.
    for (const bool dark : {false, true}) {
        const PaletteScope palette(dark);
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* d = qobject_cast<Form2*>(w); d != nullptr && d->isVisible())
                        dialog = d;
            }
            if (dialog != nullptr) {
                EXPECT_TRUE(keepPicture(*dialog, dark ? QStringLiteral("settings-dialog-dark")
                                                      : QStringLiteral("settings-dialog")));
                const QStringList cut = cutOffTexts(*dialog);
                EXPECT_TRUE(cut.isEmpty()) << "settings:\n" << cut.join('\n').toStdString();
                checked = true;
                dialog->reject();
            }
        });
        m.find<QPushButton>(QStringLiteral("Command2"))->click();
        EXPECT_TRUE(checked);
    }
}

/// Whether a list's bottom edge is drawn: one of its last device rows differs from the rows
/// inside the list and from the window below it.
bool bottomBorderShows(const QImage& shot, const QRect& list, qreal dpr) {
    const int x = int((list.center().x() + 0.5) * dpr);
    const int bottom = int((list.bottom() + 1) * dpr); // first device row below the list
    const QColor inside = shot.pixelColor(x, bottom - int(4 * dpr));
    const QColor below = shot.pixelColor(x, bottom + 1);
    for (int y = bottom - qRound(dpr) - 1; y < bottom; ++y) {
        const QColor c = shot.pixelColor(x, y);
        if (std::abs(c.lightness() - inside.lightness()) > 3 &&
            std::abs(c.lightness() - below.lightness()) > 3)
            return true;
    }
    return false;
}

TEST(Tabs, LayoutAndPicturesLightAndDark) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ensureApplication();
        const PaletteScope palette(dark);
        Main m;
        // A minute of traffic: the graph, the list (some rows still red) and today's log.
        for (int s = 0; s < 60; ++s) {
            for (quint16 port = 1; port <= 4; ++port)
                m.capture.firePacket(FrameBuilder::udp(0x0A000009, quint16(40000 + port),
                                                       0x0A000001, quint16(50 + port),
                                                       100 + 200 * port));
            m.nextSecond(quint32(12000.0 + 9000.0 * std::sin(s / 5.0) + 300.0 * s));
        }
        m.session().timer2Tick();
        // "Ignore UDP" switched on, "Freeze Display" under the pointer.
        Toolbar& bar = *m.window->findChild<Toolbar*>();
        bar.mouseDown(1);
        bar.mouseUp(1, QPoint(12, 12));
        bar.drawButtonRaised(3);
        for (int tab : {1, 2, 3}) {
            m.strip->setCurrentIndex(tab - 1);
            QApplication::processEvents();
            const QImage shot = m.window->grab().toImage();
            const char* names[] = {"bytes", "packets", "log"};
            const QString file = picturePath(QStringLiteral("tabs-offscreen%1-%2")
                                                 .arg(dark ? QStringLiteral("-dark") : QString(),
                                                      QString::fromLatin1(names[tab - 1])));
            if (!file.isEmpty())
                EXPECT_TRUE(shot.save(file)) << file.toStdString();
            const QRect frame3 = m.placeOf("Frame3");
            if (tab == 1) {
                // "Avg speed:" and "Duration:" share the column of their values.
                EXPECT_EQ(m.placeOf("lblAvgSpeed").left(), m.placeOf("lblDuration").left());
                // The speed frames follow "Reset Statistics" without a gap of their own.
                EXPECT_LE(m.placeOf("Frame1").top() - m.placeOf("cmdReset").bottom(), 8);
                EXPECT_LE(std::abs(frame3.right() - m.placeOf("cmdReset").right()), 3);
            } else {
                // The status frame ends where the list does, and the list's bottom edge shows.
                const char* list = tab == 2 ? "ListView1" : "ListView2";
                EXPECT_EQ(frame3.right(), m.placeOf(list).right()) << list;
                EXPECT_TRUE(bottomBorderShows(shot, m.placeOf(list), shot.devicePixelRatio()))
                    << list;
            }
            if (tab == 3) {
                // "Total usage:" starts inside its frame, clear of the border.
                const QRect total = m.placeOf("lblUsage(0)");
                EXPECT_GE(total.left(), frame3.left() + 4);
                // The plan's line between the list and the status frame.
                const QRect plan = m.placeOf("lblPlan");
                EXPECT_GT(plan.top(), m.placeOf("ListView2").bottom());
                EXPECT_LT(plan.bottom(), frame3.top());
                EXPECT_TRUE(m.find<QLabel>(QStringLiteral("lblPlan"))
                                ->text()
                                .endsWith(QStringLiteral("of 50.0 G used, 7 days left")));
            }
        }
    }
}

TEST(Tabs, CutOffCheckFindsCutTexts) {
    ensureApplication();
    QWidget window;
    window.resize(300, 200);
    auto* narrow = new QLabel(QStringLiteral("Avg usage/day:"), &window);
    narrow->setObjectName(QStringLiteral("narrow"));
    narrow->setGeometry(5, 5, 20, 20);
    auto* clipped = new QWidget(&window);
    clipped->setGeometry(5, 40, 40, 30);
    auto* inside = new QLabel(QStringLiteral("Total usage:"), clipped);
    inside->setObjectName(QStringLiteral("inside"));
    inside->setGeometry(0, 0, 200, 20); // wide enough, but its parent cuts it
    auto* button = new QPushButton(QStringLiteral("Reset Statistics"), &window);
    button->setObjectName(QStringLiteral("button"));
    button->setGeometry(5, 80, 30, 25);
    auto* box = new QGroupBox(QStringLiteral("Current speed (kbps)"), &window);
    box->setObjectName(QStringLiteral("box"));
    box->setGeometry(5, 110, 40, 60);
    auto* fits = new QLabel(QStringLiteral("ok"), &window);
    fits->setObjectName(QStringLiteral("fits"));
    fits->setGeometry(200, 5, 80, 20);
    auto* hidden = new QLabel(QStringLiteral("hidden and cut"), &window);
    hidden->setObjectName(QStringLiteral("hidden"));
    hidden->setGeometry(200, 40, 5, 5);
    hidden->hide();
    const QString found = cutOffTexts(window).join('\n');
    for (const char* name : {"narrow", "inside", "button", "box"})
        EXPECT_TRUE(found.contains(QString::fromLatin1(name) + QLatin1Char(' '))) << name;
    for (const char* name : {"fits", "hidden"})
        EXPECT_FALSE(found.contains(QString::fromLatin1(name) + QLatin1Char(' '))) << name;
    // Given room, the same controls pass.
    narrow->resize(200, 20);
    clipped->resize(250, 30);
    button->resize(200, 25);
    box->resize(280, 60);
    EXPECT_TRUE(cutOffTexts(window).isEmpty()) << cutOffTexts(window).join('\n').toStdString();
}

} // namespace

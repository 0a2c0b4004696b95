// The toolbar's buttons driven by real mouse events: the per-button state machine, the three
// looks and the separators read back as pixels, the row's layout per tab, and the hover
// tooltip's delay and placement below the cursor image.
#include "support/RealProgram.h"

#include "platform/fakes/FakeCursorSource.h"
#include "platform/gui/SystemCursorSource.h"
#include "shell/TabLayout.h"
#include "shell/Toolbar.h"
#include "shell/ToolbarIcons.h"
#include "shell/frmTooltip.h"

#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {
const QColor kFace(192, 192, 192);
const QColor kLight(255, 255, 255);
const QColor kDark(128, 128, 128);

/// A window of its own with a toolbar on it, shown, in known colours.
struct Bar {
    Bar() {
        ensureApplication();
        host = std::make_unique<QWidget>();
        host->setObjectName(QStringLiteral("host"));
        QPalette palette = host->palette();
        palette.setColor(QPalette::Button, kFace);
        palette.setColor(QPalette::Light, kLight);
        palette.setColor(QPalette::Dark, kDark);
        host->setPalette(palette);
        host->resize(443, 80);
        toolbar = new Toolbar(host.get(), cursor);
        QObject::connect(toolbar, &Toolbar::clicked, [this](int i, bool on) {
            clicks.push_back({i, on});
        });
        toolbar->setupToolBar(true, true, true);
        TabLayout::applyVisibility(*host, 2); // every button, as on "Packets"
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        // The pointer starts off the row (a move to where it already is would be dropped).
        QTest::mouseMove(host.get(), QPoint(430, 70));
    }

    ToolbarButton* button(int i) const { return toolbar->button(i); }

    FakeCursorSource cursor;
    std::unique_ptr<QWidget> host;
    Toolbar* toolbar = nullptr;
    std::vector<std::pair<int, bool>> clicks;
    QPoint last; // where the pointer is, relative to button 0
};

// Steps of a mouse script on button 0: positions relative to the button.
enum Step {
    MoveIn,
    MoveCorner,
    MoveEdge,
    MoveJustOut,
    MoveOut,
    Down,
    UpIn,
    UpOut,
    DownDirect,
    UpInDirect,
    StoredOn
};

const QPoint kIn(12, 12);
const QPoint kCorner(23, 23);  // the button's last pixel
const QPoint kEdge(24, 24);    // the bounds: inside while pressed, else off the button
const QPoint kJustOut(12, 25); // one pixel below the bounds
const QPoint kOut(12, 45);     // below the row

/// The mouse as the window system reports it: events reach the window, which hands them to
/// the widget under the pointer (or the pressed one) with its enter and leave events.
QWindow* window(Bar& bar) {
    return bar.host->windowHandle();
}
QPoint inWindow(Bar& bar, QPoint onButton) {
    return bar.button(0)->mapTo(bar.host.get(), onButton);
}

/// A hand moves in small steps: one pixel before the target, then the target.
void moveTo(Bar& bar, QPoint target, QPoint before) {
    QTest::mouseMove(window(bar), inWindow(bar, target + before));
    QTest::mouseMove(window(bar), inWindow(bar, target));
    bar.last = target;
}

void run(Bar& bar, Step step) {
    switch (step) {
    case MoveIn:
        moveTo(bar, kIn, QPoint(-1, -1));
        break;
    case MoveCorner:
        moveTo(bar, kCorner, QPoint(-1, -1));
        break;
    case MoveEdge:
        moveTo(bar, kEdge, QPoint(-1, -1));
        break;
    case MoveJustOut:
        moveTo(bar, kJustOut, QPoint(0, -1));
        break;
    case MoveOut:
        moveTo(bar, kOut, QPoint(0, 1));
        break;
    case Down:
        QTest::mousePress(window(bar), Qt::LeftButton, {}, inWindow(bar, bar.last));
        break;
    case UpIn:
        bar.last = kIn;
        QTest::mouseRelease(window(bar), Qt::LeftButton, {}, inWindow(bar, kIn));
        break;
    case UpOut:
        bar.last = kOut;
        QTest::mouseRelease(window(bar), Qt::LeftButton, {}, inWindow(bar, kOut));
        break;
    // Rows no single mouse can reach (a second press while pressed, a release without press).
    case DownDirect:
        bar.toolbar->mouseDown(0);
        break;
    case UpInDirect:
        bar.toolbar->mouseUp(0, kIn);
        break;
    // The settings read at start-up: "Ignore TCP" stored as switched on.
    case StoredOn:
        bar.toolbar->setupToolBar(false, true, true);
        break;
    }
    QCoreApplication::processEvents();
}
} // namespace

TEST(ToolbarMouse, EveryRowOfTheButtonStateMachine) {
    struct Row {
        const char* name;
        std::vector<Step> before; // brings the button into the row's condition
        Step event;
        const char* code;
        qint16 look;
        bool tracking;
        std::vector<std::pair<int, bool>> clicks;
    };
    const Row rows[] = {
        {"move, not tracking, 0: raised and tracking", {}, MoveIn, "0", 2, true, {}},
        {"move, not tracking, switched on: stays sunken",
         {MoveIn, Down, UpIn, MoveOut},
         MoveIn,
         "2",
         0,
         false,
         {{0, true}}},
        {"move, tracking, inside, 0: raised again",
         {MoveIn, Down, MoveOut, UpOut},
         MoveIn,
         "0",
         2,
         true,
         {}},
        {"move, tracking, inside, 1: pressed again",
         {MoveIn, Down, MoveOut},
         MoveIn,
         "1",
         0,
         true,
         {}},
        {"move, tracking, inside, 2: nothing",
         {MoveIn, Down, UpIn},
         MoveCorner,
         "2",
         0,
         true,
         {{0, true}}},
        {"move, tracking, inside, 0: still raised", {MoveIn}, MoveCorner, "0", 2, true, {}},
        // Hovering follows the pointer's leave: the bounds are off the button's pixels.
        {"hovered, the pointer on the bounds: flat, tracking ends",
         {MoveIn},
         MoveEdge,
         "0",
         1,
         false,
         {}},
        // The press keeps the pointer's events: the bounds count as inside.
        {"pressed, the pointer on the bounds: still pressed", {MoveIn, Down}, MoveEdge, "1", 0, true,
         {}},
        {"move, tracking, outside, 0: flat, tracking ends",
         {MoveIn},
         MoveJustOut,
         "0",
         1,
         false,
         {}},
        {"move, tracking, outside, 1: flat, grab kept", {MoveIn, Down}, MoveOut, "1", 1, true, {}},
        {"move, tracking, outside, 2: grab released, sunken",
         {MoveIn, Down, UpIn},
         MoveOut,
         "2",
         0,
         false,
         {{0, true}}},
        {"down, 0: being pressed", {MoveIn}, Down, "1", 0, true, {}},
        {"down, 2: being pressed while on", {MoveIn, Down, UpIn}, Down, "21", 0, true, {{0, true}}},
        {"down, other: pressed look only", {MoveIn, Down, MoveOut}, DownDirect, "1", 0, true, {}},
        {"up, inside, 1: switched on, stays sunken",
         {MoveIn, Down},
         UpIn,
         "2",
         0,
         true,
         {{0, true}}},
        {"up, inside, 21: switched off, raised under the pointer",
         {MoveIn, Down, UpIn, Down},
         UpIn,
         "0",
         2,
         true,
         {{0, true}, {0, false}}},
        {"up, inside, other: nothing", {MoveIn}, UpInDirect, "0", 2, true, {}},
        {"up, outside, 21: switched off, flat",
         {MoveIn, Down, UpIn, Down, MoveOut},
         UpOut,
         "0",
         1,
         false,
         {{0, true}, {0, false}}},
        {"up, outside, 1: the press is cancelled, the pointer is left",
         {MoveIn, Down, MoveOut},
         UpOut,
         "0",
         1,
         false,
         {}},
        {"move, stored switched on: stays sunken", {StoredOn}, MoveIn, "2", 0, false, {}},
        {"up, inside, stored switched on: the first click switches it off",
         {StoredOn, MoveIn, Down},
         UpIn,
         "0",
         2,
         true,
         {{0, false}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bar bar;
        for (Step s : row.before)
            run(bar, s);
        run(bar, row.event);
        EXPECT_EQ(bar.toolbar->latchCode(0), QString::fromLatin1(row.code));
        EXPECT_EQ(bar.toolbar->buttonState(0), row.look);
        EXPECT_EQ(bar.toolbar->isTracking(0), row.tracking);
        EXPECT_EQ(bar.clicks, row.clicks);
        // The other buttons never move.
        for (int i = 1; i < Toolbar::kButtons; ++i) {
            EXPECT_EQ(bar.toolbar->buttonState(i), 1) << i;
            EXPECT_EQ(bar.toolbar->latchCode(i), QStringLiteral("0")) << i;
        }
        bar.button(0)->releaseMouse();
    }
}

TEST(ToolbarMouse, AQuickMoveToAnotherButtonLeavesNoneRaisedBehind) {
    struct Case {
        const char* name;
        bool firstOn; // button 0 switched on first
        int to;       // the button the pointer jumps to
        qint16 firstLook;
    };
    const Case cases[] = {{"to the next button", false, 1, 1},
                          {"across a separator", false, 3, 1},
                          {"from a switched-on button", true, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bar bar;
        run(bar, MoveIn);
        if (c.firstOn) {
            run(bar, Down);
            run(bar, UpIn);
        }
        // One step from the middle of button 0 to the middle of the other.
        QTest::mouseMove(window(bar), bar.button(c.to)->mapTo(bar.host.get(), kIn));
        QCoreApplication::processEvents();
        EXPECT_EQ(bar.toolbar->buttonState(0), c.firstLook);
        EXPECT_FALSE(bar.toolbar->isTracking(0));
        EXPECT_EQ(bar.toolbar->buttonState(c.to), 2);
        EXPECT_TRUE(bar.toolbar->isTracking(c.to));
        for (int i = 1; i < Toolbar::kButtons; ++i)
            if (i != c.to)
                EXPECT_EQ(bar.toolbar->buttonState(i), 1) << i;
    }
}

// Hovering holds no grab of the pointer: another client, a screen locker say, can take it while
// the pointer rests on a button. On a virtual X server the test program runs itself again; a
// client of its own (xgrabprobe) tries the grab.
TEST(ToolbarMouse, AnotherClientCanGrabThePointerWhileAButtonIsHovered) {
    ensureApplication();
    if (qgetenv("QUELMINT_UNDER_XVFB") == "1") {
        Bar bar;
        bar.host->move(50, 50);
        ASSERT_TRUE(waitUntil([&] { return bar.host->mapToGlobal(QPoint(0, 0)).x() == 50; },
                              10000));
        auto probe = [] {
            QProcess p;
            p.start(QStringLiteral(XGRABPROBE), QStringList());
            EXPECT_TRUE(p.waitForFinished(10000));
            return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        };
        EXPECT_EQ(probe(), "grab 0") << "nothing holds the pointer before the hover";
        for (int i : {0, 3, 5}) {
            QCursor::setPos(bar.button(i)->mapToGlobal(kIn));
            ASSERT_TRUE(waitUntil([&] { return bar.toolbar->buttonState(i) == 2; }, 10000)) << i;
            EXPECT_EQ(probe(), "grab 0") << "hovering button " << i;
        }
        // Leaving the row still ends the hover.
        QCursor::setPos(bar.host->mapToGlobal(QPoint(430, 70)));
        ASSERT_TRUE(waitUntil([&] { return bar.toolbar->buttonState(5) == 1; }, 10000));
        EXPECT_FALSE(bar.toolbar->isTracking(5));
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xauth")).isEmpty())
        GTEST_SKIP() << "xvfb-run and xauth are not installed (packages xvfb, xauth)";
    QByteArray out;
    EXPECT_EQ(runSelfUnderXvfb(QStringLiteral("ToolbarMouse.AnotherClientCanGrab*"), &out,
                               {QStringLiteral("QUELMINT_UNDER_XVFB=1")}),
              0)
        << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

TEST(ToolbarMouse, HidingTheWindowABoxOverItOrTheButtonEndsHoverPressAndTooltip) {
    struct Case {
        const char* name;
        std::vector<Step> before;
        const char* code;
        qint16 look;
    };
    const Case cases[] = {
        {"hovered", {MoveIn}, "0", 1},
        {"being pressed", {MoveIn, Down}, "0", 1},
        {"switched on", {MoveIn, Down, UpIn}, "2", 0},
        {"being pressed while on", {MoveIn, Down, UpIn, Down}, "2", 0},
    };
    // However the button stops being reachable: its window hides, a modal box opens over the
    // window (a grab left behind would swallow the box's clicks), or the button itself hides.
    enum class End { WindowHides, ModalBox, ButtonHides };
    for (const End end : {End::WindowHides, End::ModalBox, End::ButtonHides})
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(int(end));
            Bar bar;
            for (Step s : c.before)
                run(bar, s);
            std::unique_ptr<QDialog> box;
            if (end == End::WindowHides) {
                bar.host->hide();
            } else if (end == End::ModalBox) {
                box = std::make_unique<QDialog>(bar.host.get());
                box->setModal(true);
                box->show();
                QApplication::processEvents();
            } else {
                bar.button(0)->hide();
            }
            EXPECT_EQ(bar.toolbar->latchCode(0), QString::fromLatin1(c.code));
            EXPECT_EQ(bar.toolbar->buttonState(0), c.look);
            EXPECT_FALSE(bar.toolbar->isTracking(0));
            EXPECT_FALSE(bar.toolbar->tooltipPending());
            ASSERT_TRUE(waitUntil([&] { return !bar.toolbar->timerTooltip().isActive(); }, 10000));
            ASSERT_NE(bar.toolbar->tooltipWindow(), nullptr);
            EXPECT_FALSE(bar.toolbar->tooltipWindow()->isVisible());
            QTest::mouseRelease(bar.button(0), Qt::LeftButton); // QTest's own button state
        }
}

TEST(ToolbarMouse, SpaceSwitchesAFocusedButtonOnAndOff) {
    Bar bar;
    ToolbarButton* b = bar.button(3);
    b->setFocus();
    QTest::keyClick(b, Qt::Key_Space);
    QTest::keyClick(b, Qt::Key_Space);
    EXPECT_EQ(bar.clicks, (std::vector<std::pair<int, bool>>{{3, true}, {3, false}}));
    EXPECT_EQ(bar.toolbar->buttonState(3), 1);
    EXPECT_EQ(bar.toolbar->latchCode(3), QStringLiteral("0"));
}

TEST(ToolbarLayout, PlacesAndCaptionsOfTheRow) {
    Bar bar;
    const int lefts[] = {205, 230, 255, 286, 311, 342};
    const char* captions[] = {"Ignore TCP",     "Ignore UDP",    "Ignore ICMP",
                              "Freeze Display", "Always on top", "Resolve IP"};
    for (int i = 0; i < Toolbar::kButtons; ++i) {
        const QWidget* b = bar.host->findChild<QWidget*>(QStringLiteral("Picture3(%1)").arg(i));
        ASSERT_NE(b, nullptr) << i;
        EXPECT_EQ(b->geometry(), QRect(lefts[i], 2, 24, 24)) << i;
        EXPECT_EQ(Toolbar::caption(i), QString::fromLatin1(captions[i]));
    }
    const int separatorLefts[] = {280, 336};
    for (int i = 0; i < Toolbar::kSeparators; ++i) {
        const QWidget* s = bar.host->findChild<QWidget*>(QStringLiteral("Picture4(%1)").arg(i));
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->geometry(), QRect(separatorLefts[i], 2, 6, 24)) << i;
    }
}

/// Device pixels of a widget drawn at a pixel ratio: logical positions rounded, lines one
/// logical pixel thick in whole device pixels.
struct Device {
    qreal ratio;
    int at(qreal logical) const { return qRound(logical * ratio); }
    int line() const { return std::max(1, qRound(ratio)); }
};

// Runs at the screen's pixel ratio: 1, and 1.5 in the scaled run.
TEST(ToolbarDrawing, ThreeLooksAsPixels) {
    struct Look {
        const char* name;
        void (Toolbar::*draw)(int);
        QColor topLeft;     // top row and left column
        QColor bottomRight; // right column and bottom row
        bool pressedFace;   // filled darker
        QPoint icon;
    };
    const Look looks[] = {
        {"sunken", &Toolbar::drawButtonPressed, kDark, kLight, true, {5, 5}},
        {"raised", &Toolbar::drawButtonRaised, kLight, kDark, false, {4, 4}},
        {"flat", &Toolbar::drawButtonFlat, kFace, kFace, false, {4, 4}},
    };
    for (int index = 0; index < Toolbar::kButtons; ++index) {
        Bar bar;
        const Device d{bar.button(index)->devicePixelRatioF()};
        const int w = d.at(24), t = d.line();
        const QImage icon = toolbarIcon(index, bar.host->palette(), d.ratio);
        struct Pixel {
            int x, y;
            bool topLeft; // which of the two pens draws it
        };
        // Lines leave out their end points: the top row ends where the right column wins, the
        // left column where the bottom row wins.
        const Pixel border[] = {{0, 0, true},          {w / 2, 0, true},     {w - t - 1, t - 1, true},
                                {0, w / 2, true},      {t - 1, w - t - 1, true},
                                {w - 1, 0, false},     {w - t, w / 2, false}, {w - 1, w - 1, false},
                                {0, w - 1, false},     {w / 2, w - t, false}, {w - t - 1, w - 1, false}};
        for (const Look& look : looks) {
            SCOPED_TRACE(std::string(look.name) + " button " + std::to_string(index));
            // From another look, so every draw really draws.
            if (look.draw == &Toolbar::drawButtonFlat)
                bar.toolbar->drawButtonRaised(index);
            (bar.toolbar->*look.draw)(index);
            bar.button(index)->clearFocus(); // no focus frame over the pixels read
            const QImage shot = bar.button(index)->grab().toImage();
            ASSERT_EQ(shot.size(), QSize(w, w));
            for (const Pixel& p : border)
                EXPECT_EQ(shot.pixelColor(p.x, p.y), p.topLeft ? look.topLeft : look.bottomRight)
                    << p.x << "," << p.y;
            const QColor face =
                look.pressedFace ? Toolbar::pressedFace(bar.host->palette()) : kFace;
            EXPECT_EQ(shot.pixelColor(t, t), face);
            EXPECT_EQ(shot.pixelColor(w - t - 1, w - t - 1), face);
            // The icon's opaque pixels at its place, pixel for pixel.
            int opaque = 0;
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x)
                    if (qAlpha(icon.pixel(x, y)) == 255) {
                        ++opaque;
                        EXPECT_EQ(shot.pixelColor(d.at(look.icon.x()) + x, d.at(look.icon.y()) + y),
                                  icon.pixelColor(x, y))
                            << x << "," << y;
                    }
            EXPECT_GT(opaque, 20);
        }
        // Pressed and switched on differ from raised and flat in most of the face.
        EXPECT_GT(QColor(kFace).lightness() - Toolbar::pressedFace(bar.host->palette()).lightness(),
                  24);
    }
}

TEST(ToolbarDrawing, SixDifferentIconsAndEtchedSeparators) {
    for (int i = 0; i < Toolbar::kButtons; ++i)
        for (int j = i + 1; j < Toolbar::kButtons; ++j)
            EXPECT_NE(toolbarIcon(i), toolbarIcon(j)) << i << " " << j;
    Bar bar;
    for (int s = 0; s < Toolbar::kSeparators; ++s) {
        const Device d{bar.toolbar->separator(s)->devicePixelRatioF()};
        const QImage shot = bar.toolbar->separator(s)->grab().toImage();
        ASSERT_EQ(shot.size(), QSize(d.at(6), d.at(24)));
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                QColor expected = kFace;
                const bool tall = y >= d.at(3) && y < d.at(23);
                if (tall && x >= d.at(2) && x < d.at(2) + d.line())
                    expected = kDark;
                if (tall && x >= d.at(3) && x < d.at(3) + d.line())
                    expected = kLight;
                EXPECT_EQ(shot.pixelColor(x, y), expected) << s << ": " << x << "," << y;
            }
    }
}

namespace {
/// The contrast ratio of two colours as the web's accessibility rules define it (1 to 21).
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            v /= 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) +
               0.0722 * channel(c.blue());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette buttonPalette(const QColor& face, const QColor& text) {
    QPalette p;
    p.setColor(QPalette::Button, face);
    p.setColor(QPalette::ButtonText, text);
    return p;
}
} // namespace

TEST(ToolbarIcons, DrawnAtThePixelRatioNotScaledUp) {
    for (const qreal ratio : {1.0, 1.5, 2.0})
        for (int i = 0; i < Toolbar::kButtons; ++i) {
            SCOPED_TRACE(std::to_string(ratio) + " icon " + std::to_string(i));
            const QImage icon = toolbarIcon(i, QPalette(), ratio);
            EXPECT_EQ(icon.size(), QSize(qRound(16 * ratio), qRound(16 * ratio)));
            EXPECT_EQ(icon.devicePixelRatio(), ratio);
            // Smooth edges at the device's resolution: pixels partly covered, which no
            // enlargement of the 16-pixel picture has.
            int partly = 0;
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x) {
                    const int alpha = qAlpha(icon.pixel(x, y));
                    partly += alpha > 0 && alpha < 255;
                }
            if (ratio == 1.0)
                EXPECT_EQ(partly, 0) << "pixel by pixel at 1";
            else if (ratio != std::round(ratio))
                EXPECT_GT(partly, 8);
        }
}

TEST(ToolbarIcons, EveryProtocolNameEndsInAWholeP) {
    // "TCP", "UDP" and "ICMP" all end in P: the columns of the last letter on the word's rows
    // (1 to 5) are alike in all three, so no name is cut at the icon's edge ("ICMF").
    const QPalette palette = buttonPalette(QColor(240, 240, 240), Qt::black);
    auto lastLetter = [&](int index) {
        const QImage icon = toolbarIcon(index, palette);
        QList<QString> columns; // one text per column: '#' for ink on rows 1..5
        for (int x = 0; x < icon.width(); ++x) {
            QString column;
            for (int y = 1; y <= 5; ++y)
                column += qAlpha(icon.pixel(x, y)) == 255 ? u'#' : u'.';
            columns.append(column);
        }
        while (!columns.isEmpty() && !columns.last().contains(u'#'))
            columns.removeLast();
        QStringList letter;
        while (!columns.isEmpty() && columns.last().contains(u'#'))
            letter.prepend(columns.takeLast());
        // A margin is left at the right edge.
        EXPECT_LT(columns.size() + letter.size(), icon.width()) << index;
        return letter.join(u'|');
    };
    const QString tcp = lastLetter(0);
    EXPECT_EQ(tcp.count(u'|'), 2) << tcp.toStdString();
    EXPECT_EQ(lastLetter(1), tcp);
    EXPECT_EQ(lastLetter(2), tcp);
}

TEST(ToolbarIcons, ReadableOnLightAndDarkButtons) {
    const struct {
        const char* name;
        QPalette palette;
    } palettes[] = {{"light", buttonPalette(QColor(239, 239, 239), Qt::black)},
                    {"dark", buttonPalette(QColor(53, 53, 53), QColor(240, 240, 240))}};
    for (const auto& p : palettes) {
        const QColor face = p.palette.color(QPalette::Button);
        const QColor ink = p.palette.color(QPalette::ButtonText);
        for (int i = 0; i < Toolbar::kButtons; ++i) {
            SCOPED_TRACE(std::string(p.name) + " icon " + std::to_string(i));
            const QImage icon = toolbarIcon(i, p.palette);
            int drawn = 0, faint = 0, inked = 0;
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x) {
                    if (qAlpha(icon.pixel(x, y)) != 255)
                        continue;
                    const QColor c = icon.pixelColor(x, y);
                    ++drawn;
                    faint += contrast(c, face) < 3.0;
                    inked += c == ink;
                }
            if (i <= 3) {
                // Letters, arrows and the snowflake stand out from the face everywhere.
                EXPECT_EQ(faint, 0) << drawn;
            } else {
                // The windows and the lens are outlined in the palette's ink.
                EXPECT_GT(inked, 20);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The tooltip

TEST(ToolbarTooltip, ShowsTheCaptionAfterTheDelay) {
    Bar bar;
    bar.cursor.position = QPoint(300, 200);
    QTest::mouseMove(bar.button(2), kIn);
    QTimer& timer = bar.toolbar->timerTooltip();
    EXPECT_EQ(timer.objectName(), QStringLiteral("timerTooltip"));
    EXPECT_TRUE(timer.isActive());
    EXPECT_TRUE(timer.isSingleShot());
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_TRUE(bar.toolbar->tooltipPending());
    const frmTooltip* tip = bar.toolbar->tooltipWindow();
    EXPECT_TRUE(tip == nullptr || !tip->isVisible()) << "nothing before the timer fires";
    ASSERT_TRUE(waitUntil(
        [&] { return bar.toolbar->tooltipWindow() && bar.toolbar->tooltipWindow()->isVisible(); },
        10000));
    tip = bar.toolbar->tooltipWindow();
    EXPECT_EQ(tip->Label1()->text(), QStringLiteral("Ignore ICMP"));
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(tip->isWindow());
    EXPECT_TRUE(tip->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(tip->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(tip->palette().color(QPalette::ToolTipBase),
              tip->palette().color(tip->backgroundRole()));

    // Pressing hides it at once, and it stays away while the button is pressed.
    QTest::mousePress(bar.button(2), Qt::LeftButton, {}, kIn);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_FALSE(bar.toolbar->tooltipPending());
    EXPECT_FALSE(timer.isActive());
    QTest::mouseMove(bar.button(2), QPoint(13, 12));
    EXPECT_FALSE(timer.isActive());
    QTest::mouseRelease(bar.button(2), Qt::LeftButton, {}, QPoint(13, 12));
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(tip->isVisible());
    bar.button(2)->releaseMouse();
}

TEST(ToolbarTooltip, LeavingBeforeTheDelayShowsNothing) {
    Bar bar;
    QTest::mouseMove(bar.button(4), kIn);
    QTest::mouseMove(bar.button(4), kOut);
    EXPECT_EQ(bar.toolbar->buttonState(4), 1);
    EXPECT_FALSE(bar.toolbar->tooltipPending());
    QTimer& timer = bar.toolbar->timerTooltip();
    EXPECT_TRUE(timer.isActive()) << "the timer runs on and fires";
    ASSERT_TRUE(waitUntil([&] { return !timer.isActive(); }, 10000));
    const frmTooltip* tip = bar.toolbar->tooltipWindow();
    ASSERT_NE(tip, nullptr) << "made at its first hide";
    EXPECT_FALSE(tip->isVisible());
}

TEST(ToolbarTooltip, PlacedBelowTheCursorImage) {
    struct Case {
        const char* name;
        std::optional<CursorImage> image;
        QPoint pointer;
        QPoint topLeft;
    };
    const Case cases[] = {
        {"monochrome arrow, mask 32 x 64, hot spot (0,0)",
         FakeCursorSource::monochromeArrow(),
         {100, 200},
         {100, 232}},
        {"colour cursor uses its whole mask height",
         CursorImage{{}, {0, 0}, {32, 48}, true},
         {100, 200},
         {100, 248}},
        {"hot spot inside the image",
         CursorImage{{}, {10, 5}, {32, 32}, true},
         {100, 200},
         {90, 227}},
        {"monochrome with an odd hot spot",
         CursorImage{{}, {3, 7}, {16, 32}, false},
         {50, 60},
         {47, 69}},
        {"no cursor image: 32 x 32, hot spot (0,0)", std::nullopt, {100, 200}, {100, 232}},
        {"no clamping at the screen's corner",
         FakeCursorSource::monochromeArrow(),
         {5000, 4000},
         {5000, 4032}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCursorSource cursor;
        cursor.image = c.image;
        cursor.position = c.pointer;
        frmTooltip tip(cursor);
        tip.ShowTooltip(QStringLiteral("Freeze Display"));
        EXPECT_EQ(tip.pos(), c.topLeft);
        EXPECT_TRUE(tip.isVisible());
    }
}

TEST(ToolbarTooltip, SizedToTheTextWithItsMargins) {
    FakeCursorSource cursor;
    frmTooltip tip(cursor);
    const int frame = tip.frameWidth();
    for (const QString& text :
         {QStringLiteral("Ignore TCP"),
          QStringLiteral("A caption much wider than the default window"), QStringLiteral("UDP")}) {
        SCOPED_TRACE(text.toStdString());
        tip.ShowTooltip(text);
        const QLabel* label = tip.Label1();
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->pos(), QPoint(frame + 3, frame + 2));
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(text));
        EXPECT_EQ(tip.width(), label->width() + 6 + 2 * frame);
        EXPECT_EQ(tip.height(), label->height() + 4 + 2 * frame);
    }
}

TEST(ToolbarTooltip, ShowingDoesNotTakeTheActiveWindow) {
    Bar bar;
    bar.host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(bar.host.get()));
    QTest::mouseMove(bar.button(0), kIn);
    ASSERT_TRUE(waitUntil(
        [&] { return bar.toolbar->tooltipWindow() && bar.toolbar->tooltipWindow()->isVisible(); },
        10000));
    spin(100);
    EXPECT_EQ(QApplication::activeWindow(), bar.host.get());
    bar.button(0)->releaseMouse();
}

// The real cursor image, under a virtual X server: the test program runs itself again there.
TEST(ToolbarTooltip, RealCursorImageUnderX11) {
    if (qgetenv("QUELMINT_UNDER_XVFB") == "1") {
        ensureApplication();
        QWidget window;
        window.setCursor(Qt::ArrowCursor);
        window.setGeometry(100, 100, 300, 200);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QCursor::setPos(250, 180);
        SystemCursorSource source;
        std::optional<CursorImage> image;
        ASSERT_TRUE(waitUntil(
            [&] {
                image = source.currentCursor();
                return image && image->position == QPoint(250, 180);
            },
            10000))
            << "XFixes gave no cursor image at the pointer";
        EXPECT_GT(image->mask.width(), 0);
        EXPECT_GT(image->mask.height(), 0);
        EXPECT_GE(image->hotSpot.x(), 0);
        EXPECT_LT(image->hotSpot.x(), image->mask.width());
        EXPECT_LT(image->hotSpot.y(), image->mask.height());
        frmTooltip tip(source);
        tip.ShowTooltip(QStringLiteral("Ignore UDP"));
        EXPECT_EQ(tip.pos(), QPoint(250 - image->hotSpot.x(),
                                    180 - image->hotSpot.y() + image->mask.height()));
        std::printf("X11 cursor: %dx%d, hot spot (%d,%d); tooltip at (%d,%d)\n",
                    image->mask.width(), image->mask.height(), image->hotSpot.x(),
                    image->hotSpot.y(), tip.x(), tip.y());
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xauth")).isEmpty())
        GTEST_SKIP() << "xvfb-run and xauth are not installed (packages xvfb, xauth)";
    QByteArray out;
    EXPECT_EQ(runSelfUnderXvfb(QStringLiteral("ToolbarTooltip.RealCursorImageUnderX11"), &out,
                               {QStringLiteral("QUELMINT_UNDER_XVFB=1")}),
              0)
        << out.toStdString();
    std::printf("%s\n", out.constData());
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

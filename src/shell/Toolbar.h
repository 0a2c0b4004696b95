#pragma once

#include <QImage>
#include <QObject>
#include <QPen>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "shell/frmTooltip.h"

#include <array>

class CursorSource;
class Toolbar;

/// One 24 × 24 toggle button of the toolbar ("Picture3(i)"). It paints the look its toolbar
/// keeps for it and hands its mouse events to the toolbar.
class ToolbarButton final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolbarButton)

public:
    ToolbarButton(Toolbar& toolbar, int index, QWidget* parent);
    int index() const { return index_; }
    /// Where the icon sits now: (4,4), or (5,5) while sunken.
    QPoint iconPosition() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    /// The icon for the current pixel ratio and palette.
    const QImage& icon();

    Toolbar& toolbar_;
    int index_;
    QImage icon_;
    qreal iconRatio_ = 0;
    QRgb iconInk_ = 0;
    QRgb iconFace_ = 0;
};

/// A 6 × 24 etched vertical line between groups of buttons ("Picture4(i)").
class ToolbarSeparator final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolbarSeparator)

public:
    ToolbarSeparator(Toolbar& toolbar, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Toolbar& toolbar_;
};

/// The main window's toolbar: six hand-drawn toggle buttons in one row, buttons 0–2 | 3–4 | 5,
/// and the hover tooltip that shows a button's caption half a second after it is raised.
///
/// Each button has a look (buttonStates: 0 sunken, 1 flat, 2 raised) and a latch code: "0" up,
/// "1" being pressed while off, "2" switched on, "21" being pressed while on. A button
/// "tracks" the pointer from the move that raised it until the pointer leaves it. Hovering
/// holds no grab of the pointer (other programs, a screen locker say, can still take it): it
/// follows the moves over the button and its leave event; only a held mouse button keeps the
/// pointer's events with the button (the window system's own press grab). At most one button
/// is hovered. The signal clicked(index, on) tells every switch.
///
/// Wiring in the main window:
/// @code
/// toolbar = new Toolbar(this, cursorSource);
/// connect(toolbar, &Toolbar::clicked, this, &Form1::toolbarClicked);
/// toolbar->setupToolBar(displayTCP, displayUDP, displayICMP); // after the settings load
/// @endcode
class Toolbar final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Toolbar)

public:
    static constexpr int kButtons = 6;
    static constexpr int kSeparators = 2;
    static constexpr int kButtonSize = 24;
    static constexpr int kSeparatorWidth = 6;
    static constexpr int kTop = 2;
    static constexpr int kTooltipDelayMs = 500;

    enum Look : qint16 { Sunken = 0, Flat = 1, Raised = 2 };

    /// Creates the buttons and separators on window (hidden until setupToolBar). cursor places
    /// the tooltip and must outlive the toolbar.
    Toolbar(QWidget* window, CursorSource& cursor);
    ~Toolbar() override;

    /// The caption (and tooltip text) of a button; empty outside 0..5.
    static QString caption(int index);
    /// The face of a sunken button (pressed or switched on): darker than the button face.
    static QColor pressedFace(const QPalette& palette);

    /// Places the buttons and separators, sets every button up and flat, shows the "Bytes"
    /// tab's part of the row, and shows the stored "Ignore" switches that are off
    /// (display... false) as switched-on buttons.
    void setupToolBar(bool displayTCP, bool displayUDP, bool displayICMP);
    void drawButtonPressed(int index);
    void drawButtonRaised(int index);
    void drawButtonFlat(int index);

    /// The mouse events of button index, positions relative to the button.
    void mouseMove(int index, QPoint position);
    /// The pointer left button index (or the button was left behind by a fast move).
    void pointerLeft(int index);
    void mouseDown(int index);
    void mouseUp(int index, QPoint position);

    /// The look drawn for a button (Sunken, Flat, Raised).
    qint16 buttonState(int index) const;
    /// The latch code of a button.
    QString latchCode(int index) const;
    /// True while the button follows the pointer (hovered, or pressed).
    bool isTracking(int index) const;

    ToolbarButton* button(int index) const;
    ToolbarSeparator* separator(int index) const;

    /// The pens of the etched and 3-D lines.
    const QPen& highlightPen() const { return highlightPen_; }
    const QPen& shadowPen() const { return shadowPen_; }

    /// The delay timer of the tooltip; its "tag" property holds the text to show.
    QTimer& timerTooltip() { return timerTooltip_; }
    /// A tooltip is due when the timer fires.
    bool tooltipPending() const { return tooltipPending_; }
    /// The tooltip window; null until first used.
    frmTooltip* tooltipWindow() const { return tooltip_; }
    /// Hides the tooltip window (creating it on first use) and clears tooltipPending.
    void hideTooltip();

    /// Ends hovering and pressing: grabs released, buttons flat (switched-on ones sunken, a
    /// press of a switched-on button leaves it on), tooltip hidden. Runs when the window hides.
    void cancelHover();

signals:
    /// A button was switched: index 0–5, on = switched on.
    void clicked(int index, bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void onTooltipTimer();
    frmTooltip& tooltip();
    void grab(int index);
    void release(int index);
    static bool inside(QPoint position);

    QWidget* window_;
    CursorSource& cursor_;
    std::array<ToolbarButton*, kButtons> buttons_{};
    std::array<ToolbarSeparator*, kSeparators> separators_{};
    QVector<qint16> buttonStates;
    std::array<QString, kButtons> latchCodes_;
    std::array<bool, kButtons> tracking_{};
    QPen highlightPen_;
    QPen shadowPen_;
    QTimer timerTooltip_;
    bool tooltipPending_ = false;
    QPointer<frmTooltip> tooltip_;
};

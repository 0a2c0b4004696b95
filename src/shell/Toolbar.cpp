#include "shell/Toolbar.h"

#include "shell/ToolbarIcons.h"
#include "shell/frmTooltip.h"

#include <QEnterEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariant>

#include <algorithm>

namespace {
const char* const kCaptions[Toolbar::kButtons] = {"Ignore TCP",     "Ignore UDP",    "Ignore ICMP",
                                                  "Freeze Display", "Always on top", "Resolve IP"};

/// Painting in the device's own pixels: at a device pixel ratio above 1 the 3-D lines are
/// whole device pixels thick (one per logical pixel, rounded) instead of scaled and blurred.
class DevicePixels final {
public:
    DevicePixels(QPainter& p, qreal ratio) : p_(p), ratio_(ratio > 0 ? ratio : 1) {
        p_.save();
        p_.scale(1 / ratio_, 1 / ratio_);
    }
    ~DevicePixels() { p_.restore(); }
    DevicePixels(const DevicePixels&) = delete;
    DevicePixels& operator=(const DevicePixels&) = delete;

    /// A logical position in device pixels.
    int at(qreal logical) const { return qRound(logical * ratio_); }
    /// The thickness of a line: one logical pixel, in whole device pixels.
    int line() const { return std::max(1, qRound(ratio_)); }
    /// A line from (x1,y1) towards (x2,y2) in logical pixels, the end point left out
    /// (horizontal or vertical lines).
    void line(const QColor& c, int x1, int y1, int x2, int y2) {
        const int t = line();
        if (y1 == y2 && x2 > x1)
            p_.fillRect(at(x1), at(y1), at(x2) - at(x1), t, c);
        else if (x1 == x2 && y2 > y1)
            p_.fillRect(at(x1), at(y1), t, at(y2) - at(y1), c);
    }
    /// Lines at the far edges: the last line() device pixels of a logical extent.
    int lastLine(int logicalExtent) const { return at(logicalExtent) - line(); }
    QPainter& painter() { return p_; }

private:
    QPainter& p_;
    qreal ratio_;
};
} // namespace

// ---------------------------------------------------------------------------------------------
// ToolbarButton

ToolbarButton::ToolbarButton(Toolbar& toolbar, int index, QWidget* parent)
    : QWidget(parent), toolbar_(toolbar), index_(index) {
    setObjectName(QStringLiteral("Picture3(%1)").arg(index));
    setAccessibleName(Toolbar::caption(index));
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus); // Space switches it from the keyboard
    setFixedSize(Toolbar::kButtonSize, Toolbar::kButtonSize);
    hide();
}

QPoint ToolbarButton::iconPosition() const {
    return toolbar_.buttonState(index_) == Toolbar::Sunken ? QPoint(5, 5) : QPoint(4, 4);
}

const QImage& ToolbarButton::icon() {
    // Drawn anew for the screen's pixel ratio and the palette in use.
    const qreal ratio = devicePixelRatioF();
    const QPalette& pal = palette();
    if (icon_.isNull() || iconRatio_ != ratio ||
        iconInk_ != pal.color(QPalette::ButtonText).rgba() ||
        iconFace_ != pal.color(QPalette::Button).rgba()) {
        icon_ = toolbarIcon(index_, pal, ratio);
        iconRatio_ = ratio;
        iconInk_ = pal.color(QPalette::ButtonText).rgba();
        iconFace_ = pal.color(QPalette::Button).rgba();
    }
    return icon_;
}

void ToolbarButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const qint16 look = toolbar_.buttonState(index_);
    const QImage& picture = icon();
    {
        DevicePixels d(p, devicePixelRatioF());
        const int w = width();
        const int h = height();
        const QRect all(0, 0, d.at(w), d.at(h));
        // A sunken button is filled darker, so pressed and switched on show at a glance.
        p.fillRect(all, look == Toolbar::Sunken ? Toolbar::pressedFace(palette())
                                                : palette().color(QPalette::Button));
        if (look == Toolbar::Sunken || look == Toolbar::Raised) {
            const QColor topLeft = look == Toolbar::Sunken ? toolbar_.shadowPen().color()
                                                           : toolbar_.highlightPen().color();
            const QColor bottomRight = look == Toolbar::Sunken ? toolbar_.highlightPen().color()
                                                               : toolbar_.shadowPen().color();
            const int t = d.line();
            p.fillRect(0, 0, all.width(), t, topLeft);
            p.fillRect(0, 0, t, d.lastLine(h), topLeft);
            p.fillRect(d.lastLine(w), 0, t, all.height(), bottomRight);
            p.fillRect(0, d.lastLine(h), d.lastLine(w), t, bottomRight);
        }
        // The icon pixel for pixel at its place.
        QImage devicePicture = picture;
        devicePicture.setDevicePixelRatio(1);
        const QPoint at = iconPosition();
        p.drawImage(QPoint(d.at(at.x()), d.at(at.y())), devicePicture);
    }
    if (hasFocus()) {
        QPen dotted(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        p.setPen(dotted);
        p.drawRect(2, 2, width() - 5, height() - 5);
    }
}

void ToolbarButton::mouseMoveEvent(QMouseEvent* event) {
    toolbar_.mouseMove(index_, event->position().toPoint());
}

void ToolbarButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        toolbar_.mouseDown(index_);
}

void ToolbarButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        toolbar_.mouseUp(index_, event->position().toPoint());
}

void ToolbarButton::enterEvent(QEnterEvent* event) {
    toolbar_.mouseMove(index_, event->position().toPoint());
    QWidget::enterEvent(event);
}

void ToolbarButton::leaveEvent(QEvent* event) {
    toolbar_.pointerLeft(index_);
    QWidget::leaveEvent(event);
}

void ToolbarButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        // As a click: press and release inside.
        toolbar_.mouseDown(index_);
        toolbar_.mouseUp(index_, QPoint(width() / 2, height() / 2));
        if (toolbar_.latchCode(index_) == QLatin1String("0"))
            toolbar_.drawButtonFlat(index_);
        return;
    }
    QWidget::keyPressEvent(event);
}

void ToolbarButton::hideEvent(QHideEvent* event) {
    // A hidden button (a tab without it) cannot see the pointer leave: it lets go now.
    if (toolbar_.isTracking(index_))
        toolbar_.cancelHover();
    QWidget::hideEvent(event);
}

// ---------------------------------------------------------------------------------------------
// ToolbarSeparator

ToolbarSeparator::ToolbarSeparator(Toolbar& toolbar, QWidget* parent)
    : QWidget(parent), toolbar_(toolbar) {
    setFixedSize(Toolbar::kSeparatorWidth, Toolbar::kButtonSize);
    hide();
}

void ToolbarSeparator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int h = height();
    DevicePixels d(p, devicePixelRatioF());
    p.fillRect(0, 0, d.at(width()), d.at(h), palette().color(QPalette::Button));
    d.line(toolbar_.shadowPen().color(), 2, 3, 2, h - 1);
    d.line(toolbar_.highlightPen().color(), 3, 3, 3, h - 1);
}

// ---------------------------------------------------------------------------------------------
// Toolbar

Toolbar::Toolbar(QWidget* window, CursorSource& cursor)
    : QObject(window), window_(window), cursor_(cursor), buttonStates(kButtons, Flat) {
    setObjectName(QStringLiteral("toolbar"));
    for (int i = 0; i < kButtons; ++i) {
        buttons_[std::size_t(i)] = new ToolbarButton(*this, i, window);
        latchCodes_[std::size_t(i)] = QStringLiteral("0");
    }
    for (int i = 0; i < kSeparators; ++i) {
        separators_[std::size_t(i)] = new ToolbarSeparator(*this, window);
        separators_[std::size_t(i)]->setObjectName(QStringLiteral("Picture4(%1)").arg(i));
    }
    highlightPen_ = QPen(window->palette().color(QPalette::Light), 1);
    shadowPen_ = QPen(window->palette().color(QPalette::Dark), 1);
    timerTooltip_.setObjectName(QStringLiteral("timerTooltip"));
    timerTooltip_.setParent(this);
    timerTooltip_.setSingleShot(true);
    timerTooltip_.setInterval(kTooltipDelayMs);
    connect(&timerTooltip_, &QTimer::timeout, this, &Toolbar::onTooltipTimer);
    place();
    window->installEventFilter(this);
}

Toolbar::~Toolbar() {
    timerTooltip_.setParent(nullptr); // a member, not owned through the object tree
}

QColor Toolbar::pressedFace(const QPalette& palette) {
    // Half way from the button face to its shadow colour.
    const QColor face = palette.color(QPalette::Button);
    const QColor dark = palette.color(QPalette::Dark);
    return QColor((face.red() + dark.red()) / 2, (face.green() + dark.green()) / 2,
                  (face.blue() + dark.blue()) / 2);
}

QString Toolbar::caption(int index) {
    if (index < 0 || index >= kButtons)
        return {};
    return QString::fromLatin1(kCaptions[index]);
}

void Toolbar::setupToolBar(bool displayTCP, bool displayUDP, bool displayICMP) {
    // The system's colours for button highlights and shadows.
    highlightPen_ = QPen(window_->palette().color(QPalette::Light), 1);
    shadowPen_ = QPen(window_->palette().color(QPalette::Dark), 1);
    buttonStates.fill(Flat, kButtons);
    place();
    for (int i = 0; i < kButtons; ++i) {
        latchCodes_[std::size_t(i)] = QStringLiteral("0");
        buttons_[std::size_t(i)]->update();
    }
    for (ToolbarSeparator* s : separators_)
        s->update();
    const bool shown[3] = {displayTCP, displayUDP, displayICMP};
    for (int i = 0; i < 3; ++i)
        if (!shown[i]) {
            latchCodes_[std::size_t(i)] = QStringLiteral("2");
            drawButtonPressed(i);
        }
}

void Toolbar::place() {
    int x = 180;
    for (int i = 0; i < kButtons; ++i) {
        x += kButtonSize + 1;
        if (i == 3) {
            separators_[0]->move(x, kTop);
            x += kSeparatorWidth;
        } else if (i == 5) {
            separators_[1]->move(x, kTop);
            x += kSeparatorWidth;
        }
        buttons_[std::size_t(i)]->move(x, kTop);
    }
    // Above the tab strip's empty part.
    for (ToolbarButton* b : buttons_)
        b->raise();
    for (ToolbarSeparator* s : separators_)
        s->raise();
}

void Toolbar::cancelHover() {
    for (int i = 0; i < kButtons; ++i) {
        release(i);
        QString& code = latchCodes_[std::size_t(i)];
        if (code == QLatin1String("1"))
            code = QStringLiteral("0"); // a press that cannot end inside any more
        else if (code == QLatin1String("21"))
            code = QStringLiteral("2");
        if (code == QLatin1String("2"))
            drawButtonPressed(i);
        else
            drawButtonFlat(i);
    }
    hideTooltip();
}

bool Toolbar::eventFilter(QObject* watched, QEvent* event) {
    // A window that hides (to the notification area, or minimised) or that a modal box blocks
    // leaves no raised button, grab or tooltip behind: a grab would take the box's clicks.
    if (watched == window_ &&
        (event->type() == QEvent::Hide || event->type() == QEvent::WindowBlocked))
        cancelHover();
    return QObject::eventFilter(watched, event);
}

qint16 Toolbar::buttonState(int index) const {
    return index >= 0 && index < buttonStates.size() ? buttonStates[index] : qint16(Flat);
}

QString Toolbar::latchCode(int index) const {
    return index >= 0 && index < kButtons ? latchCodes_[std::size_t(index)] : QString();
}

ToolbarButton* Toolbar::button(int index) const {
    return index >= 0 && index < kButtons ? buttons_[std::size_t(index)] : nullptr;
}

ToolbarSeparator* Toolbar::separator(int index) const {
    return index >= 0 && index < kSeparators ? separators_[std::size_t(index)] : nullptr;
}

void Toolbar::drawButtonPressed(int index) {
    if (index < 0 || index >= kButtons || buttonStates[index] == Sunken)
        return;
    buttonStates[index] = Sunken;
    buttons_[std::size_t(index)]->update();
    hideTooltip();
}

void Toolbar::drawButtonRaised(int index) {
    if (index < 0 || index >= kButtons || buttonStates[index] == Raised)
        return;
    buttonStates[index] = Raised;
    buttons_[std::size_t(index)]->update();
    tooltipPending_ = true;
    timerTooltip_.setProperty("tag", caption(index));
    timerTooltip_.start();
}

void Toolbar::drawButtonFlat(int index) {
    if (index < 0 || index >= kButtons || buttonStates[index] == Flat)
        return;
    buttonStates[index] = Flat;
    buttons_[std::size_t(index)]->update();
    hideTooltip();
}

// ---------------------------------------------------------------------------------------------
// The mouse

bool Toolbar::inside(QPoint p) {
    // The bounds count as inside.
    return p.x() >= 0 && p.x() <= kButtonSize && p.y() >= 0 && p.y() <= kButtonSize;
}

bool Toolbar::isTracking(int index) const {
    return index >= 0 && index < kButtons && tracking_[std::size_t(index)];
}

void Toolbar::grab(int index) {
    // Only one button is hovered: one the pointer left too fast to tell goes flat now.
    for (int other = 0; other < kButtons; ++other)
        if (other != index && tracking_[std::size_t(other)])
            pointerLeft(other);
    tracking_[std::size_t(index)] = true;
}

void Toolbar::release(int index) {
    tracking_[std::size_t(index)] = false;
}

void Toolbar::pointerLeft(int index) {
    // As a move outside the button, for a button that follows the pointer.
    if (isTracking(index))
        mouseMove(index, QPoint(-1, -1));
}

void Toolbar::mouseMove(int index, QPoint position) {
    if (index < 0 || index >= kButtons)
        return;
    const QString& code = latchCodes_[std::size_t(index)];
    if (!isTracking(index)) {
        if (code == QLatin1String("0")) {
            drawButtonRaised(index);
            grab(index);
        }
        return;
    }
    if (inside(position)) {
        if (code == QLatin1String("0"))
            drawButtonRaised(index);
        else if (code == QLatin1String("1"))
            drawButtonPressed(index);
        return;
    }
    if (code == QLatin1String("0")) {
        drawButtonFlat(index);
        release(index);
    } else if (code == QLatin1String("1")) {
        drawButtonFlat(index); // the grab stays: back inside it shows pressed again
    } else {
        release(index);
    }
}

void Toolbar::mouseDown(int index) {
    if (index < 0 || index >= kButtons)
        return;
    QString& code = latchCodes_[std::size_t(index)];
    if (code == QLatin1String("0"))
        code = QStringLiteral("1");
    else if (code == QLatin1String("2"))
        code = QStringLiteral("21");
    drawButtonPressed(index);
    if (!isTracking(index))
        grab(index); // the press keeps the pointer's events with the button until released
}

void Toolbar::mouseUp(int index, QPoint position) {
    if (index < 0 || index >= kButtons)
        return;
    QString& code = latchCodes_[std::size_t(index)];
    if (inside(position)) {
        if (code == QLatin1String("1")) {
            code = QStringLiteral("2"); // stays sunken
            emit clicked(index, true);
        } else if (code == QLatin1String("21")) {
            drawButtonRaised(index);
            code = QStringLiteral("0");
            emit clicked(index, false);
        }
        return;
    }
    const bool wasOn = code == QLatin1String("21");
    code = QStringLiteral("0");
    drawButtonFlat(index);
    if (wasOn)
        emit clicked(index, false);
}

// ---------------------------------------------------------------------------------------------
// The tooltip

frmTooltip& Toolbar::tooltip() {
    if (tooltip_.isNull())
        tooltip_ = new frmTooltip(cursor_, window_);
    return *tooltip_;
}

void Toolbar::hideTooltip() {
    tooltip().hide();
    tooltipPending_ = false;
}

void Toolbar::onTooltipTimer() {
    if (tooltipPending_)
        tooltip().ShowTooltip(timerTooltip_.property("tag").toString());
    timerTooltip_.stop();
}

#include "shell/frmStopWatch.h"

#include "speed/StopwatchPictures.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const char* const kArrayNames[] = {"lblTransfer", "lblData", "lblOverhead"};
const char* const kColumnCaptions[] = {"Transfer ", "Data ", "Overhead "};
const char* const kRowCaptions[] = {" Download", " Upload", " Pass-by", " Total"};

/// Verdana where installed, else DejaVu Sans (the same design family, a little wider).
QFont verdana(const QFont& base, int pointSize, bool bold) {
    QFont font = base;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text,
                  Qt::Alignment alignment) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    return label;
}
} // namespace

frmStopWatch::frmStopWatch(const Clock& clock, const TrafficCounters& counters,
                           const DisplayUnits& units, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      stopwatch_(clock, counters, units), units_(units) {
    setObjectName(QStringLiteral("frmStopWatch"));
    setWindowTitle(QStringLiteral("Quelmint StopWatch"));
    for (int i = 0; i < Stopwatch::kPictures; ++i)
        pictures_[std::size_t(i)] = QPixmap::fromImage(StopwatchPictures::picture(i + 1));
    buildControls();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(100);
    connect(&Timer1, &QTimer::timeout, this, [this] { stopwatch_.tick(); });
    stopwatch_.setView(this);
    stopwatch_.resetStopwatchStats();
}

frmStopWatch::~frmStopWatch() {
    Timer1.stop();
    stopwatch_.setView(nullptr);
}

void frmStopWatch::buildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize); // grows with its texts, never cuts them
    outer->setContentsMargins(10, 10, 10, 10);
    outer->setSpacing(8);

    // The animation and the elapsed time.
    auto* top = new QHBoxLayout;
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFixedSize(StopwatchPictures::kSize, StopwatchPictures::kSize);
    top->addWidget(Picture1);
    Label1 = makeLabel(this, QStringLiteral("Label1"), Stopwatch::timeText(0),
                       Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setFont(verdana(font(), 16, true));
    // Room for a hundred hours, so the window keeps its width while the time runs.
    Label1->setMinimumWidth(Label1->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00.0")) +
                            4);
    top->addSpacing(6);
    top->addWidget(Label1, 1);
    outer->addLayout(top);

    // The figures: rows download, upload, pass-by, total; columns transfer, data, overhead.
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("figuresPanel"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    QFont bold = font();
    bold.setBold(true);
    for (int c = 0; c < TrafficCounters::kColumns; ++c) {
        QLabel* caption = makeLabel(panel, QStringLiteral("lblColumnCaption%1").arg(c),
                                    QString::fromLatin1(kColumnCaptions[c]), right);
        caption->setFont(bold);
        grid->addWidget(caption, 0, c + 1);
    }
    // A figure such as "1023.99 M " fits without the window growing.
    const int figureWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000.00 M ")) + 2;
    for (int r = 0; r < TrafficCounters::kRows; ++r) {
        QLabel* caption = makeLabel(panel, QStringLiteral("lblRowCaption%1").arg(r),
                                    QString::fromLatin1(kRowCaptions[r]), left);
        if (r == TrafficCounters::Total)
            caption->setFont(bold);
        grid->addWidget(caption, r + 1, 0);
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            QLabel* figure = makeLabel(panel, QStringLiteral("%1%2").arg(kArrayNames[c]).arg(r),
                                       Stopwatch::figureText(0, units_), right);
            figure->setMinimumWidth(figureWidth);
            if (r == TrafficCounters::Total)
                figure->setFont(bold);
            labels_[r][c] = figure;
            grid->addWidget(figure, r + 1, c + 1);
        }
    }
    outer->addWidget(panel);

    // The average speed over the last ten seconds.
    auto* average = new QHBoxLayout;
    average->addWidget(
        makeLabel(this, QStringLiteral("lblAvgSpeedCaption"), QStringLiteral("Avg. speed:"), left));
    lblAvgSpeed = makeLabel(this, QStringLiteral("lblAvgSpeed"), QString(), left);
    lblAvgSpeed->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000.00 KB/s")));
    average->addWidget(lblAvgSpeed, 1);
    outer->addLayout(average);

    // "Always on top" and the buttons.
    auto* bottom = new QHBoxLayout;
    Check1 = new QCheckBox(this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setAccessibleName(QStringLiteral("Always on top"));
    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Always on top"), left);
    Label3->installEventFilter(this);
    bottom->addWidget(Check1);
    bottom->addSpacing(2);
    bottom->addWidget(Label3);
    bottom->addStretch(1);
    Command1 = new QPushButton(QStringLiteral("Start"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    // The same width whatever the caption says.
    Command1->setMinimumWidth(std::max(Command1->sizeHint().width(),
                                       QPushButton(QStringLiteral("Stop")).sizeHint().width()));
    Command2 = new QPushButton(QStringLiteral("Close"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    bottom->addWidget(Command1);
    bottom->addWidget(Command2);
    outer->addLayout(bottom);

    connect(Command1, &QPushButton::clicked, this, &frmStopWatch::command1Click);
    connect(Command2, &QPushButton::clicked, this, &frmStopWatch::stopAndHide);
    connect(Check1, &QCheckBox::toggled, this, &frmStopWatch::applyTopmost);
}

// ---------------------------------------------------------------------------------------------
// Commands

void frmStopWatch::command1Click() {
    if (Command1->text() == QLatin1String("Stop")) {
        Timer1.stop();
        stopwatch_.stop();
        Command1->setText(QStringLiteral("Start"));
        return;
    }
    stopwatch_.start();
    Timer1.start();
    Command1->setText(QStringLiteral("Stop"));
}

void frmStopWatch::stopAndHide() {
    Timer1.stop();
    if (stopwatch_.isStopWatchActive())
        stopwatch_.stop();
    Command1->setText(QStringLiteral("Start"));
    hide();
}

void frmStopWatch::closeEvent(QCloseEvent* event) {
    if (unloading_) {
        event->accept();
        return;
    }
    // The close box only hides the window; it lives as long as the program.
    event->ignore();
    stopAndHide();
}

void frmStopWatch::unloadWindow() {
    unloading_ = true;
    Timer1.stop();
    if (stopwatch_.isStopWatchActive())
        stopwatch_.stop();
    close();
}

void frmStopWatch::openFromMainWindow() {
    if (!isVisible()) {
        stopwatch_.resetStopwatchStats();
        Command1->setText(QStringLiteral("Start"));
    }
    if (mainWindowTopmost && mainWindowTopmost())
        setTopmost(true);
    if (!positioned_) {
        // First showing: the middle of the screen.
        positioned_ = true;
        adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.x() + (area.width() - width()) / 2,
                 area.y() + (area.height() - height()) / 2);
        }
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------------------------
// Always on top

bool frmStopWatch::isTopmostChecked() const {
    return Check1->isChecked();
}

void frmStopWatch::setTopmost(bool on) {
    if (Check1->isChecked() == on)
        applyTopmost(on); // no toggle to follow: apply here
    else
        Check1->setChecked(on); // applied through toggled
}

void frmStopWatch::applyTopmost(bool on) {
    if (isTopmost() != on) {
        const bool visible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (visible)
            show(); // changing the flags hides a shown window
    }
    if (!on && mainWindowTopmost && mainWindowTopmost() && restoreMainTopmost)
        restoreMainTopmost();
}

void frmStopWatch::keyPressEvent(QKeyEvent* event) {
    // Escape closes the window as "Close" does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        stopAndHide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool frmStopWatch::eventFilter(QObject* watched, QEvent* event) {
    // A click on the caption "Always on top" toggles the box.
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label3->rect().contains(mouse->position().toPoint())) {
            Check1->toggle();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// StopwatchView

void frmStopWatch::setFigureText(TrafficCounters::Row row, TrafficCounters::Column column,
                                 const QString& text) {
    QLabel* label = labels_[row][column];
    if (label->text() != text)
        label->setText(text);
}

void frmStopWatch::setElapsedText(const QString& text) {
    if (Label1->text() != text)
        Label1->setText(text);
}

void frmStopWatch::setPicture(int index) {
    if (index < 1 || index > Stopwatch::kPictures)
        return;
    Picture1->setPixmap(pictures_[std::size_t(index - 1)]);
    shownPicture_ = index;
}

void frmStopWatch::setAvgSpeedText(const QString& text) {
    if (lblAvgSpeed->text() != text)
        lblAvgSpeed->setText(text);
}

#include "shell/Form1.h"

#include "monitor/MonitorSession.h"
#include "monitor/PlanController.h"
#include "platform/SingleInstance.h"
#include "platform/TrayIcon.h"
#include "platform/gui/SystemCursorSource.h"
#include "settings/ui/Form2.h"
#include "shell/CaptureLossView.h"
#include "shell/ConnectionListView.h"
#include "shell/PictureBox.h"
#include "shell/StatsPanel.h"
#include "shell/TabLayout.h"
#include "shell/Toolbar.h"
#include "shell/UsageLogView.h"
#include "shell/WindowPlacement.h"
#include "shell/frmAbout.h"
#include "shell/frmStopWatch.h"
#include "shell/frmTooltip.h"
#include "speed/TrafficGraph.h"
#include "usage/DailyUsage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>

namespace {
constexpr int kMargin = 4;
constexpr int kTabHeight = 24;
constexpr int kClientHeight = 290;
constexpr int kStatsHeight = 162; // down to the speed frames
constexpr int kFooterHeight = 30; // below the lists: packet count or average speed, duration
constexpr int kStatusHeight = 30;
constexpr int kButtonHeight = 25;
constexpr int kWindowHeight =
    kMargin + kTabHeight + kClientHeight + 6 + kStatusHeight + 8 + kButtonHeight + kMargin;

QString padded(const char* text, int width) {
    return QString::fromLatin1(text).leftJustified(width, QLatin1Char(' '));
}
} // namespace

Form1::Form1(ShellServices& services, QWidget* parent)
    : QWidget(parent), services_(services), session_(std::make_unique<MonitorSession>(services)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quelmint"));
    buildControls();
    buildMenu();
    connectionList_ = std::make_unique<ConnectionListView>(session_->packetList(), packetsPage_);
    connectSession();
    services_.trayIcon.setMouseHandler([this](int message) { onTrayMessage(message); });
}

Form1::~Form1() {
    services_.trayIcon.setMouseHandler(nullptr);
    delete usageLogView_; // before the daily accounting it is registered with
    usageLogView_ = nullptr;
    session_->statistics().setView(nullptr);
}

void Form1::connectSession() {
    MonitorSession& s = *session_;
    s.statistics().setView(statsPanel_);
    connect(&s, &MonitorSession::countersRefreshed, this, [this] {
        if (stopwatchWindow_)
            stopwatchWindow_->updateStopwatchStats();
    });
    connect(&s, &MonitorSession::graphChanged, this, [this] {
        Picture1->refresh();
        Picture2->refresh();
    });
    connect(&s, &MonitorSession::packetListChanged, this,
            [this](int row, bool added) { connectionList_->showLatest(row, added); });
    connect(&s, &MonitorSession::captureLossChanged, captureLossView_, &CaptureLossView::setCount);
    connect(&s, &MonitorSession::monitoringChanged, captureLossView_,
            [this] { captureLossView_->setMonitoringStatus(session_->monitoringStatus()); });
    connect(&s.settings(), &Settings::changed, this, [this](Settings::Changes what) {
        if (what.testFlag(Settings::Display))
            showSpeedCaption();
    });
    connect(statsPanel_, &StatsPanel::resetClicked, this, [this] {
        session_->resetStatistics();
        TabStrip1->setFocus();
    });
}

void Form1::buildControls() {
    TabStrip1 = new QTabBar(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->addTab(QStringLiteral("Bytes"));
    TabStrip1->addTab(QStringLiteral("Packets"));
    TabStrip1->addTab(QStringLiteral("Log"));
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(true);
    TabStrip1->setGeometry(kMargin, kMargin, TabLayout::kNarrowStrip, kTabHeight);
    connect(TabStrip1, &QTabBar::currentChanged, this, [this](int i) { selectTab(i + 1); });

    clientArea_ = new QWidget(this);
    clientArea_->setObjectName(QStringLiteral("clientArea"));
    clientArea_->setGeometry(kMargin, kMargin + kTabHeight, TabLayout::kNarrowStrip, kClientHeight);

    bytesPage_ = new QWidget(clientArea_);
    bytesPage_->setObjectName(QStringLiteral("bytesPage"));
    packetsPage_ = new QWidget(clientArea_);
    packetsPage_->setObjectName(QStringLiteral("packetsPage"));
    logPage_ = new QWidget(clientArea_);
    logPage_->setObjectName(QStringLiteral("logPage"));
    for (QWidget* page : {bytesPage_, packetsPage_, logPage_})
        page->setGeometry(0, 0, TabLayout::kWideStrip, kClientHeight);

    // The counters, the packet count, the duration and the average speed.
    statsPanel_ = new StatsPanel(clientArea_);
    statsPanel_->setGeometry(0, 0, TabLayout::kNarrowStrip, kStatsHeight);

    // The duration, the packet count and the average speed below the lists.
    statsPanel_->placeFooter(clientArea_, kClientHeight - kFooterHeight);

    // The speed frame: the strip chart and, in the "Activity" frame, the level meter.
    const int framesTop = kClientHeight - kFooterHeight - 2 - 92;
    Frame1 = new QGroupBox(QStringLiteral("Current speed (kbps)"), bytesPage_);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(2, framesTop, 238, 92);
    Picture1 = new PictureBox(TrafficGraph::kBorder, Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(6, 22, 226, TrafficGraph::kPictureHeight);
    Frame2 = new QGroupBox(QStringLiteral("Activity"), bytesPage_);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(244, framesTop, 84, 92);
    Picture2 = new PictureBox(0, Frame2);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setGeometry(6, 22, TrafficGraph::kMeterWidth, TrafficGraph::kPictureHeight);

    const int statusTop = kMargin + kTabHeight + kClientHeight + 6;
    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(kMargin, statusTop, TabLayout::kNarrowStrip - 15, kStatusHeight);
    captureLossView_ = new CaptureLossView(Frame3);

    const int buttonTop = statusTop + kStatusHeight + 8;
    CmdStopwatch = new QPushButton(QStringLiteral("Stopwatch"), this);
    CmdStopwatch->setObjectName(QStringLiteral("CmdStopwatch"));
    CmdStopwatch->setGeometry(kMargin, buttonTop, 90, kButtonHeight);
    Command2 = new QPushButton(QStringLiteral("Settings"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(kMargin + 96, buttonTop, 90, kButtonHeight);
    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(kMargin + 192, buttonTop, 90, kButtonHeight);
    connect(Command1, &QPushButton::clicked, this, &Form1::commandClose);
    connect(Command2, &QPushButton::clicked, this, &Form1::openSettings);
    connect(CmdStopwatch, &QPushButton::clicked, this, &Form1::openStopwatch);

    // The toolbar, in the row of the tab strip.
    if (services_.cursor == nullptr)
        systemCursor_ = std::make_unique<SystemCursorSource>();
    toolbar_ = new Toolbar(this, services_.cursor != nullptr ? *services_.cursor : *systemCursor_);
    connect(toolbar_, &Toolbar::clicked, this, &Form1::toolbarClicked);

    setFixedSize(TabLayout::pixels(TabLayout::kNarrowTwips), kWindowHeight);
    tabLayout_ = std::make_unique<TabLayout>(*this, [this] {
        Picture1->repaint();
        Picture2->repaint();
    });
    selectTab(1);
}

void Form1::buildMenu() {
    mMenu = new QMenu(this);
    mMenu->setObjectName(QStringLiteral("mMenu"));
    mAbout = mMenu->addAction(QStringLiteral("About.."));
    mAbout->setObjectName(QStringLiteral("mAbout"));
    mMenu->addSeparator();
    mStopwatch = mMenu->addAction(QStringLiteral("Stopwatch"));
    mStopwatch->setObjectName(QStringLiteral("mStopwatch"));
    mSettings = mMenu->addAction(padded("Settings", 21));
    mSettings->setObjectName(QStringLiteral("mSettings"));
    mMenu->addSeparator();
    mExit = mMenu->addAction(padded("Exit", 9));
    mExit->setObjectName(QStringLiteral("mExit"));
    connect(mAbout, &QAction::triggered, this, &Form1::openAbout);
    connect(mStopwatch, &QAction::triggered, this, &Form1::openStopwatch);
    connect(mSettings, &QAction::triggered, this, &Form1::openSettings);
    connect(mExit, &QAction::triggered, this, &Form1::exitProgram);
}

// ---------------------------------------------------------------------------------------------
// Start-up

Form1::StartResult Form1::load() {
    // Phase A: checks that end the process before anything is shown or written.
    if (!session_->open())
        return StartResult::Ended;
    services_.singleInstance.setRaiseHandler([this] { WindowPlacement::restoreAndRaise(*this); });
    loaded_ = true;

    // Phase B: the first error ends it, the window is shown all the same. A window hidden
    // while the icon that brings it back is missing is shown as well. Nothing is shown once
    // the program was ended while start-up waited in a box.
    const bool completed = loadPhaseB();
    if (!unloaded_ && (!completed || !canHideInTray()) && isHidden())
        show();
    return StartResult::Running;
}

bool Form1::loadPhaseB() {
    const Settings& settings = session_->settings();
    try {
        session_->loadStores(); // the usage log, then the settings
        if (unloaded_)          // ended (signal, session end) while the box was open
            return true;
        session_->applyStoredFilter(); // a rejected one is said, and start-up goes on

        // The "Log" tab and today's listing (which starts the accounting day).
        setUpUsageLog();
        if (unloaded_)
            return true;
        selectTab(TabStrip1->currentIndex() + 1);

        WindowPlacement::centre(*this);
        if (settings.gStartMinimized)
            setWindowState(windowState() | Qt::WindowMinimized);
        if (!settings.gStartMinimized || !services_.trayIcon.isAvailable())
            show(); // minimised means hidden in the notification area: nothing to show

        // The graph's images and their first frame, then the ticks.
        session_->startTicks(Picture1->width());
        Picture1->setImage(&session_->graph()->graphImage());
        Picture2->setImage(&session_->graph()->meterImage());
        showSpeedCaption();
        toolbar_->setupToolBar(settings.displayTCP, settings.displayUDP, settings.displayICMP);
        createStopwatch();
        if (!session_->beginMonitoring())
            openSettings(); // no adapter chosen yet
        return true;
    } catch (const CaptureError& e) {
        services_.boxes.error(QStringLiteral("Load"), e.description());
    } catch (const std::exception& e) {
        services_.boxes.error(QStringLiteral("Load"), QString::fromLocal8Bit(e.what()));
    }
    keepDayAccounting();
    return false;
}

void Form1::setUpUsageLog() {
    usageLogView_ = new UsageLogView(*session_->dailyUsage(), this);
    usageLogView_->placeControls(this, clientArea_->geometry(), Frame3);
    usageLogView_->setChartSize(&session_->settings().gChartSize);
    if (PlanController* plan = session_->plan())
        connect(plan, &PlanController::textChanged, usageLogView_, &UsageLogView::showPlan);
    session_->startAccounting();
}

void Form1::keepDayAccounting() {
    // The day accounting, the "Log" tab and the housekeeping tick do not depend on what
    // failed (a rejected stored filter, say): without them later days would be booked on the
    // start day once capture runs.
    if (unloaded_ || !session_->dailyUsage())
        return;
    try {
        if (!usageLogView_)
            setUpUsageLog();
    } catch (...) {
    }
    if (!unloaded_)
        session_->keepHousekeeping();
}

// ---------------------------------------------------------------------------------------------
// Shutdown

void Form1::unload() {
    if (unloaded_ || !loaded_) {
        unloaded_ = true;
        return;
    }
    unloaded_ = true;
    // Every step is attempted whatever happened to the previous one.
    session_->stopCapture();
    Picture1->setImage(nullptr);
    Picture2->setImage(nullptr);
    delete usageLogView_; // before the accounting it shows goes
    usageLogView_ = nullptr;
    session_->closeStores();
    try {
        if (stopwatchWindow_)
            stopwatchWindow_->unloadWindow();
        stopwatchWindow_.reset();
    } catch (...) {
    }
    // The other windows: a dialog or message box still open ends its modal loop now.
    for (QDialog* dialog : findChildren<QDialog*>())
        if (dialog->isVisible())
            dialog->reject();
    toolbar_->timerTooltip().stop();
    if (toolbar_->tooltipWindow() != nullptr)
        toolbar_->tooltipWindow()->close();
    session_->registerRunAtLogon();
    emit unloaded();
}

void Form1::exitProgram() {
    exiting_ = true;
    unload();
    close();
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!exiting_ && !unloaded_ && loaded_ && session_->settings().gCloseToTray) {
        event->ignore();
        minimiseOrHide();
        return;
    }
    unload();
    event->accept();
}

void Form1::commandClose() {
    if (session_->settings().gCloseToTray)
        minimiseOrHide();
    else
        exitProgram();
}

bool Form1::canHideInTray() const {
    return services_.trayIcon.isAvailable() && session_->tray().isAdded();
}

void Form1::minimiseOrHide() {
    // Without a notification icon nothing could bring a hidden window back: minimise only.
    if (canHideInTray())
        hide();
    else
        showMinimized();
}

void Form1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        canHideInTray() && isVisible()) {
        // Minimised windows live in the notification area; hide once the state change is done.
        QTimer::singleShot(0, this, [this] {
            if (windowState() & Qt::WindowMinimized)
                hide();
        });
    }
}

void Form1::onTrayMessage(int message) {
    switch (message) {
    case traymsg::LeftButtonUp:
    case traymsg::LeftDoubleClick:
        WindowPlacement::restoreAndRaise(*this);
        break;
    case traymsg::RightButtonUp:
        activateWindow();
        mMenu->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

int Form1::showOwnedDialog(QDialog& dialog) {
    if (isHidden() || (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showNormal();
    }
    if (gIsTopmost)
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    const int result = dialog.exec();
    if (gIsTopmost) {
        stopwatchBackOnTop();
        raise();
    }
    return result;
}

void Form1::openSettings() {
    if (!session_->captureComponent() || unloaded_)
        return;
    // One settings dialog at a time (the tray menu stays usable while it is open): a second
    // one would apply its stale copy of the settings over the first one's changes.
    if (auto* open = findChild<Form2*>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return;
    }
    Form2 dialog(*session_, this);
    showOwnedDialog(dialog);
}

void Form1::createStopwatch() {
    if (stopwatchWindow_)
        return;
    stopwatchWindow_ = std::make_unique<frmStopWatch>(
        services_.clock, session_->frames().stopwatchCounters, session_->units());
    stopwatchWindow_->mainWindowTopmost = [this] { return gIsTopmost; };
    stopwatchWindow_->restoreMainTopmost = [this] { raise(); };
}

void Form1::stopwatchBackOnTop() {
    // After a dialog owned by this window, or when this window leaves the topmost band, the
    // stopwatch goes back on top when its own box is ticked.
    if (stopwatchWindow_ && stopwatchWindow_->isTopmostChecked()) {
        stopwatchWindow_->setTopmost(true);
        if (stopwatchWindow_->isVisible())
            stopwatchWindow_->raise();
    }
}

void Form1::openStopwatch() {
    if (!loaded_ || unloaded_)
        return;
    createStopwatch();
    stopwatchWindow_->openFromMainWindow();
}

void Form1::openAbout() {
    if (unloaded_)
        return;
    if (auto* open = findChild<frmAbout*>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return;
    }
    frmAbout about(services_.browser, this);
    showOwnedDialog(about);
}

// ---------------------------------------------------------------------------------------------
// Tabs

void Form1::selectTab(int index) {
    if (TabStrip1->currentIndex() != index - 1 && index >= 1 && index <= 3) {
        TabStrip1->setCurrentIndex(index - 1); // comes back here through currentChanged
        return;
    }
    tabLayout_->apply(index);
}

void Form1::showSpeedCaption() {
    Frame1->setTitle(session_->settings().gSpeedUnit == 1 ? QStringLiteral("Current speed (KB/s)")
                                                          : QStringLiteral("Current speed (kbps)"));
}

// ---------------------------------------------------------------------------------------------
// Toolbar switches

void Form1::toolbarClicked(int index, bool pressed) {
    Settings& settings = session_->settings();
    switch (index) {
    case 0:
    case 1:
    case 2:
        (index == 0   ? settings.displayTCP
         : index == 1 ? settings.displayUDP
                      : settings.displayICMP) = !pressed;
        settings.announce(Settings::Switches);
        break;
    case 3:
        session_->setDisplayFrozen(pressed);
        break;
    case 4:
        setAlwaysOnTop(pressed);
        break;
    case 5:
        session_->setResolveNames(pressed);
        break;
    default:
        break;
    }
}

void Form1::setAlwaysOnTop(bool on) {
    gIsTopmost = on;
    WindowPlacement::setStaysOnTop(*this, on);
    if (!on)
        stopwatchBackOnTop();
}

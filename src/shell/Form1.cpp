#include "shell/Form1.h"

#include "capture/CaptureLoss.h"
#include "platform/CaptureComponent.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/SingleInstance.h"
#include "platform/TrayIcon.h"
#include "platform/gui/SystemCursorSource.h"
#include "settings/RunAtLogon.h"
#include "settings/Settings.h"
#include "settings/ui/Form2.h"
#include "shell/AdapterMonitor.h"
#include "shell/CaptureLossView.h"
#include "shell/ConnectionListView.h"
#include "shell/PictureBox.h"
#include "shell/StatsPanel.h"
#include "shell/TabLayout.h"
#include "shell/Toolbar.h"
#include "shell/TrayController.h"
#include "shell/UsageLogView.h"
#include "shell/frmAbout.h"
#include "shell/frmStopWatch.h"
#include "shell/frmTooltip.h"
#include "speed/Format.h"
#include "speed/SpeedSampler.h"
#include "speed/Statistics.h"
#include "speed/TrafficGraph.h"
#include "usage/CoverageLog.h"
#include "usage/DailyUsage.h"
#include "usage/LogFolder.h"
#include "usage/UnwatchedTraffic.h"
#include "usage/clsUsageLogger.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
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
    : QWidget(parent), services_(services),
      settings_(std::make_unique<Settings>(gDisplayUnit, gSpeedUnit)),
      tray_(std::make_unique<TrayController>(services.trayIcon)), frames_(&frameBoxes_),
      sampler_(std::make_unique<SpeedSampler>(services.clock, frames_.counters, &services.boxes)),
      statistics_(std::make_unique<Statistics>(services.clock, frames_, sampler_.get())),
      captureLoss_(std::make_unique<CaptureLoss>()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quelmint"));
    buildControls();
    buildMenu();
    connectionList_ = std::make_unique<ConnectionListView>(
        services.clock, settings_->gRemoveFromListTime, settings_->gHiliteNewPacketTime,
        services.nameResolver, &frameBoxes_, packetsPage_);
    frames_.getNameFromAddress = [this](quint32 a) {
        return connectionList_->getNameFromAddress(a);
    };
    frames_.listPacket = [this](const clsPacketInfo& p) { connectionList_->listPacket(p); };
    statistics_->clearPacketList = [this] { connectionList_->clear(); };
    statistics_->resetOthers = [this] {
        captureLoss_->resetRun();
        captureLossView_->setCount(0);
    };
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    connect(&Timer1, &QTimer::timeout, this, &Form1::timer1Tick);
    connect(&Timer2, &QTimer::timeout, this, &Form1::timer2Tick);
    services_.trayIcon.setMouseHandler([this](int message) { onTrayMessage(message); });
}

Form1::~Form1() {
    services_.trayIcon.setMouseHandler(nullptr);
    delete usageLogView_; // before the daily accounting it is registered with
    usageLogView_ = nullptr;
    if (KRX)
        KRX->setEvents(nullptr);
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
    statistics_->setView(statsPanel_);
    connect(statsPanel_, &StatsPanel::resetClicked, this, [this] {
        statistics_->resetStatistics();
        TabStrip1->setFocus();
    });

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
    toolbar_->toolbarClicked = [this](int index, bool pressed) { toolbarClicked(index, pressed); };

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
    if (!services_.libraryCheck.accepted()) {
        services_.boxes.show(BoxIcon::Critical, services_.libraryCheck.refusalTitle(),
                             services_.libraryCheck.refusalText());
        return StartResult::Ended;
    }
    if (!services_.singleInstance.tryBecomePrimary() && services_.singleInstance.activatePrevious())
        return StartResult::Ended;
    services_.singleInstance.setRaiseHandler([this] { restoreAndRaise(); });
    try {
        KRX = services_.createCapture();
        if (!KRX)
            throw CaptureError(QStringLiteral("The capture component could not be created."));
    } catch (const CaptureError& e) {
        services_.boxes.show(BoxIcon::Critical, QStringLiteral("Error"), e.description());
        return StartResult::Ended;
    } catch (const std::exception& e) {
        services_.boxes.show(BoxIcon::Critical, QStringLiteral("Error"),
                             QString::fromLocal8Bit(e.what()));
        return StartResult::Ended;
    }
    KRX->setEvents(&frames_);
    monitor_ = std::make_unique<AdapterMonitor>(*KRX, *tray_, services_.boxes,
                                                settings_->gInterfaceToWatch,
                                                settings_->gDescOfInterfaceToWatch);
    monitor_->setRecoveryInterval(services_.recoveryIntervalMs);
    monitor_->onLocalAddresses = [this](const QStringList& a) { frames_.setLocalAddresses(a); };
    monitor_->onMonitoringStarted = [this] { monitoringStarted(); };
    frames_.batchEnd = [this] { onBatchEnd(); };
    frames_.captureAborted = [this] { OnCaptureAborted(); };
    frames_.updateStats = [this](bool force) { statistics_->updateStats(force); };
    statistics_->updateStopwatchStats = [this] {
        if (stopwatchWindow_)
            stopwatchWindow_->updateStopwatchStats();
    };
    sampler_->showAverage = [this](const QString& text) { statsPanel_->setAvgSpeedText(text); };
    sampler_->updateTray = [this](int picture, const QString& tip) { tray_->update(picture, tip); };
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
    try {
        // The usage logger.
        usageLogger_ = std::make_unique<clsUsageLogger>(services_.fileSystem, services_.clock,
                                                        LogFolder::choose(services_.fileSystem,
                                                                          services_.programFolder,
                                                                          services_.appDataFolder));
        dailyUsage_ = std::make_unique<DailyUsage>(*usageLogger_, services_.clock, frameBoxes_);
        coverage_ = std::make_unique<CoverageLog>(services_.fileSystem, usageLogger_->logFolder());
        if (services_.interfaceCounters != nullptr) {
            unwatched_ = std::make_unique<UnwatchedTraffic>(
                services_.fileSystem, *services_.interfaceCounters, usageLogger_->logFolder());
            unwatched_->finishBooking(*coverage_); // one a killed run left half done
        }
        frames_.logUsage = [this](const clsUsageRec& r) { dailyUsage_->logUsage(r); };

        // The settings: a key that does not convert takes its default and is reported.
        const QList<Settings::LoadError> errors = settings_->loadSettings(services_.store);
        if (!errors.isEmpty())
            services_.boxes.error(QStringLiteral("Load"), Settings::describe(errors));
        if (unloaded_) // ended (signal, session end) while the box was open
            return true;
        applySwitchesToFrames();

        // The stored capture filter; a rejected one ends start-up here.
        KRX->setFilter(settings_->gFilterString);

        // The "Log" tab and today's listing (which starts the accounting day).
        setUpUsageLog();
        if (unloaded_)
            return true;
        selectTab(TabStrip1->currentIndex() + 1);

        centre();
        if (settings_->gStartMinimized)
            setWindowState(windowState() | Qt::WindowMinimized);
        if (settings_->gStartMinimized && services_.trayIcon.isAvailable()) {
            // Minimised means hidden in the notification area: nothing to show.
        } else {
            show();
        }

        // The graph's images and their first frame.
        graph_ = std::make_unique<TrafficGraph>(Picture1->width());
        Picture1->setImage(&graph_->graphImage());
        Picture2->setImage(&graph_->meterImage());
        graph_->attach(*sampler_, [this] {
            Picture1->refresh();
            Picture2->refresh();
        });

        sampler_->start();
        Timer1.start(1000 / 10);
        Timer2.start(1000);
        setSpeedFrameCaption(settings_->gSpeedUnit == 1 ? QStringLiteral("Current speed (KB/s)")
                                                        : QStringLiteral("Current speed (kbps)"));
        toolbar_->setupToolBar(settings_->displayTCP, settings_->displayUDP,
                               settings_->displayICMP);
        createStopwatch();
        statistics_->resetStatistics();
        updateStats(true);

        tray_->addTrayIcon();
        monitor_->gMonitoringInProgress = false;
        if (!settings_->gInterfaceToWatch.isEmpty()) {
            if (!startMonitoring() && !unloaded_)
                monitor_->startRecovery();
        } else {
            tray_->showBaloonTip(QStringLiteral("Please select an adapter to monitor.\r\n"),
                                 QStringLiteral("No adapter selected"), TrayController::Warning);
            tray_->showNoAdapter();
            openSettings();
        }
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
    // Its listing also runs inside the frame path at a day change: boxes wait for the handler.
    usageLogView_ = new UsageLogView(*usageLogger_, *dailyUsage_, services_.fileSystem, frameBoxes_,
                                     services_.clock, this);
    usageLogView_->setObjectName(QStringLiteral("UsageLogView"));
    usageLogView_->placeControls(this, clientArea_->geometry(), Frame3);
    usageLogView_->setUp();
    frames_.currentDay = dailyUsage_->currentDay();
}

void Form1::keepDayAccounting() {
    // The day accounting, the "Log" tab and the housekeeping tick do not depend on what
    // failed (a rejected stored filter, say): without them later days would be booked on the
    // start day once capture runs.
    if (unloaded_ || !dailyUsage_)
        return;
    try {
        if (!usageLogView_)
            setUpUsageLog();
    } catch (...) {
    }
    if (!unloaded_ && !Timer2.isActive())
        Timer2.start(1000);
}

void Form1::applySwitchesToFrames() {
    frames_.displayTCP = settings_->displayTCP;
    frames_.displayUDP = settings_->displayUDP;
    frames_.displayICMP = settings_->displayICMP;
}

void Form1::centre() {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

// ---------------------------------------------------------------------------------------------
// Shutdown

void Form1::unload() {
    if (unloaded_ || !loaded_) {
        unloaded_ = true;
        return;
    }
    unloaded_ = true;
    Timer1.stop();
    Timer2.stop();
    if (monitor_)
        monitor_->Timer3.stop();
    // Every step is attempted whatever happened to the previous one.
    frames_.gStationShuttingDown = true;
    frameBoxes_.discard();
    const bool wasMonitoring = monitoringInProgress();
    try {
        KRX->StopCapture();
    } catch (...) {
    }
    // The last moment watched: what passes from now on is not watched.
    if (wasMonitoring)
        monitoringStopped();
    sampler_->copyImages = nullptr;
    sampler_->scrollGraph = nullptr;
    sampler_->plotSpeed = nullptr;
    Picture1->setImage(nullptr);
    Picture2->setImage(nullptr);
    graph_.reset();
    // The graph's and the toolbar's drawing objects belong to Qt widgets: nothing to release.
    try {
        settings_->saveSettings(services_.store);
    } catch (...) {
    }
    try {
        tray_->removeTrayIcon();
    } catch (...) {
    }
    try {
        coverage_.reset(); // writes what it has not yet stored
    } catch (...) {
    }
    try {
        frames_.logUsage = nullptr;
        delete usageLogView_;
        usageLogView_ = nullptr;
        dailyUsage_.reset();
        if (usageLogger_)
            usageLogger_->release();
        usageLogger_.reset();
    } catch (...) {
    }
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
    try {
        RunAtLogon::apply(services_.autostart, services_.programFolder, settings_->gStartAtLogon);
    } catch (...) {
    }
    emit unloaded();
}

void Form1::exitProgram() {
    exiting_ = true;
    unload();
    close();
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!exiting_ && !unloaded_ && loaded_ && settings_->gCloseToTray) {
        event->ignore();
        minimiseOrHide();
        return;
    }
    unload();
    event->accept();
}

void Form1::commandClose() {
    if (settings_->gCloseToTray)
        minimiseOrHide();
    else
        exitProgram();
}

bool Form1::canHideInTray() const {
    return services_.trayIcon.isAvailable() && tray_->isAdded();
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

void Form1::restoreAndRaise() {
    if (isHidden() || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        showNormal();
    }
    raise();
    activateWindow();
}

void Form1::onTrayMessage(int message) {
    switch (message) {
    case traymsg::LeftButtonUp:
    case traymsg::LeftDoubleClick:
        restoreAndRaise();
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
        if (stopwatchBackOnTop)
            stopwatchBackOnTop();
        raise();
    }
    return result;
}

void Form1::openSettings() {
    if (!KRX || unloaded_)
        return;
    // One settings dialog at a time (the tray menu stays usable while it is open): a second
    // one would apply its stale copy of the settings over the first one's changes.
    if (auto* open = findChild<Form2*>(QString(), Qt::FindDirectChildrenOnly)) {
        open->raise();
        open->activateWindow();
        return;
    }
    Form2 dialog(*this, this);
    showOwnedDialog(dialog);
    applySwitchesToFrames();
}

void Form1::createStopwatch() {
    if (stopwatchWindow_)
        return;
    stopwatchWindow_ = std::make_unique<frmStopWatch>(services_.clock, frames_.stopwatchCounters);
    stopwatchWindow_->mainWindowTopmost = [this] { return isTopmost(); };
    stopwatchWindow_->restoreMainTopmost = [this] { raise(); };
    // After a dialog owned by this window, or when this window leaves the topmost band, the
    // stopwatch goes back on top when its own box is ticked.
    stopwatchBackOnTop = [this] {
        if (stopwatchWindow_ && stopwatchWindow_->isTopmostChecked()) {
            stopwatchWindow_->setTopmost(true);
            if (stopwatchWindow_->isVisible())
                stopwatchWindow_->raise();
        }
    };
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
// Capture

bool Form1::startMonitoring() {
    return monitor_ && monitor_->startMonitoring();
}

void Form1::OnCaptureAborted() {
    monitoringStopped();
    if (monitor_ && !unloaded_)
        monitor_->OnCaptureAborted();
}

void Form1::onBatchEnd() {
    statistics_->flush();
    connectionList_->flush();
    if (dailyUsage_)
        dailyUsage_->onBatchEnd();
}

// ---------------------------------------------------------------------------------------------
// Timers

void Form1::timer1Tick() {
    if (monitor_) {
        sampler_->gMonitoringInProgress = monitor_->gMonitoringInProgress;
        sampler_->gTooltipText = monitor_->gTooltipText;
    }
    if (graph_) {
        graph_->gBandwidth = settings_->gBandwidth;
        graph_->gGraphStyle = settings_->gGraphStyle;
    }
    sampler_->tick();
    statistics_->flush();
}

void Form1::timer2Tick() {
    try {
        if (dailyUsage_ && dailyUsage_->checkCurrentDay()) {
            frames_.currentDay = dailyUsage_->currentDay();
            if (settings_->gResetStatsAtNewDay)
                statistics_->resetStatistics();
        }
    } catch (...) {
    }
    try {
        statistics_->updateDuration();
    } catch (...) {
    }
    try {
        // Frames the capture could not deliver since the last tick, booked to the day counted.
        const quint64 dropped = KRX ? KRX->takeDroppedFrames() : 0;
        const QDate day = dailyUsage_ ? dailyUsage_->currentDay() : services_.clock.today();
        captureLoss_->tick(dropped, day);
        captureLossView_->setCount(captureLoss_->runCount());
        if (coverage_)
            coverage_->tick(services_.clock.now(), day, monitoringInProgress(), dropped);
        if (dropped > 0 && usageLogView_)
            usageLogView_->refreshMarks(); // today's row says so at once
        if (unwatched_ && monitoringInProgress() && !watchedAdapter_.isEmpty())
            bookUnwatched(unwatched_->watched(watchedAdapter_));
    } catch (...) {
    }
    try {
        connectionList_->ScavengeList();
    } catch (...) {
    }
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

// ---------------------------------------------------------------------------------------------
// Form2Host

bool Form1::monitoringInProgress() const {
    return monitor_ && monitor_->gMonitoringInProgress;
}

void Form1::setMonitoringInProgress(bool monitoring) {
    if (!monitor_)
        return;
    const bool started = monitoring && !monitor_->gMonitoringInProgress;
    if (!monitoring && monitor_->gMonitoringInProgress)
        monitoringStopped();
    monitor_->gMonitoringInProgress = monitoring;
    if (started)
        monitoringStarted();
}

void Form1::monitoringStopped() {
    // The last moment the adapter was watched (a lost one may no longer be read: then the last
    // tick's counters stand).
    try {
        if (unwatched_ && !watchedAdapter_.isEmpty())
            bookUnwatched(unwatched_->watched(watchedAdapter_));
    } catch (...) {
    }
}

void Form1::monitoringStarted() {
    try {
        if (!unwatched_ || !coverage_)
            return;
        watchedAdapter_ = settings_->gInterfaceToWatch;
        bookUnwatched(unwatched_->monitoringStarts(watchedAdapter_));
    } catch (...) {
    }
}

void Form1::bookUnwatched(const UnwatchedTraffic::Gap& gap) {
    const QDate day = dailyUsage_ ? dailyUsage_->currentDay() : services_.clock.today();
    if (unwatched_ && coverage_ && unwatched_->bookInto(*coverage_, day, gap) && usageLogView_)
        usageLogView_->refreshMarks(); // today's row says so at once
}

void Form1::setLocalAddresses(const QStringList& addresses) {
    if (monitor_)
        monitor_->localAddresses = addresses;
    frames_.setLocalAddresses(addresses);
}

void Form1::setTooltipText(const QString& text) {
    if (monitor_)
        monitor_->gTooltipText = text;
}

void Form1::showBaloonTip(const QString& text, const QString& title, int icon) {
    tray_->showBaloonTip(text, title, icon);
}

void Form1::updateStats(bool force) {
    statistics_->updateStats(force);
}

void Form1::listLogFile() {
    if (usageLogView_)
        usageLogView_->listSelected();
}

void Form1::displaySpeed() {
    sampler_->displaySpeed();
}

void Form1::setSpeedFrameCaption(const QString& caption) {
    Frame1->setTitle(caption);
}

// ---------------------------------------------------------------------------------------------
// Toolbar switches

void Form1::toolbarClicked(int index, bool pressed) {
    switch (index) {
    case 0:
        settings_->displayTCP = !pressed;
        applySwitchesToFrames();
        break;
    case 1:
        settings_->displayUDP = !pressed;
        applySwitchesToFrames();
        break;
    case 2:
        settings_->displayICMP = !pressed;
        applySwitchesToFrames();
        break;
    case 3:
        setDisplayFrozen(pressed);
        break;
    case 4:
        setAlwaysOnTop(pressed);
        break;
    case 5:
        setResolveNames(pressed);
        break;
    default:
        break;
    }
}

void Form1::setDisplayFrozen(bool frozen) {
    statistics_->setDisplayFrozen(frozen);
    connectionList_->setDisplayFrozen(frozen);
    if (!frozen) {
        // The counters catch up with what was counted meanwhile, at once.
        statistics_->updateStats(false);
        statistics_->flush();
    }
}

bool Form1::displayFrozen() const {
    return statistics_->displayFrozen();
}

void Form1::setResolveNames(bool on) {
    connectionList_->setResolveNames(on);
}

bool Form1::resolveNames() const {
    return connectionList_->resolveNames();
}

void Form1::setAlwaysOnTop(bool on) {
    gIsTopmost = on;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != on) {
        // Changing a window's flags hides it (X11 makes a new native window): keep its place
        // and whether it showed.
        const QPoint place = pos();
        const bool shown = isVisible();
        const bool active = isActiveWindow();
        const Qt::WindowStates state = windowState();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        move(place);
        if (shown) {
            setWindowState(state);
            show();
            if (active)
                activateWindow();
        }
    }
    if (!on && stopwatchBackOnTop)
        stopwatchBackOnTop();
}

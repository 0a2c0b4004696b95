#include "monitor/MonitorSession.h"

#include "monitor/AdapterMonitor.h"
#include "monitor/CoverageKeeper.h"
#include "monitor/PlanController.h"
#include "platform/AddressChanges.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/SingleInstance.h"
#include "settings/RunAtLogon.h"
#include "speed/TrafficGraph.h"
#include "usage/LogFolder.h"
#include "usage/clsUsageLogger.h"

#include <algorithm>
#include <exception>

namespace {
QString describe(const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
}
const QString kUnknownError = QStringLiteral("Unknown error");
constexpr int kTipCharacters = 127;
} // namespace

MonitorSession::MonitorSession(ShellServices& services, QObject* parent)
    : QObject(parent), services_(services), tray_(services.trayIcon),
      sampler_(services.clock, frames_.counters, &services.boxes, units_),
      statistics_(services.clock, frames_, &sampler_, units_),
      packetList_(services.clock, settings_.gRemoveFromListTime, settings_.gHiliteNewPacketTime,
                  services.nameResolver, &frameBoxes_),
      pacer_([this] { refreshViews(); }, services.refreshIntervalMs) {
    frames_.currentDay = services.clock.today();
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer2.setObjectName(QStringLiteral("Timer2"));
    connect(&Timer1, &QTimer::timeout, this, &MonitorSession::timer1Tick);
    connect(&Timer2, &QTimer::timeout, this, &MonitorSession::timer2Tick);
    connect(&statistics_, &Statistics::refreshing, this, &MonitorSession::countersRefreshed);
    connect(&sampler_, &SpeedSampler::imagesChanged, this, &MonitorSession::graphChanged);
    connect(&sampler_, &SpeedSampler::scrolled, this, [this] {
        if (graph_)
            graph_->scroll();
    });
    connect(&sampler_, &SpeedSampler::sampled, this,
            [this](double bytesPerSecond, const QString& figure) {
                if (!graph_)
                    return;
                graph_->plot(bytesPerSecond, figure);
                emit graphChanged();
            });
    connect(&sampler_, &SpeedSampler::averageChanged, &statistics_, &Statistics::showAverage);
    connect(&sampler_, &SpeedSampler::activity, this, &MonitorSession::showSample);
    connect(&settings_, &Settings::changed, this, &MonitorSession::applySettings);
}

MonitorSession::~MonitorSession() {
    if (services_.addressChanges)
        services_.addressChanges->setChangeHandler(nullptr);
    if (KRX)
        KRX->setEvents(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

bool MonitorSession::open() {
    if (!services_.libraryCheck.accepted()) {
        services_.boxes.show(BoxIcon::Critical, services_.libraryCheck.refusalTitle(),
                             services_.libraryCheck.refusalText());
        return false;
    }
    if (!services_.singleInstance.tryBecomePrimary() && services_.singleInstance.activatePrevious())
        return false;
    try {
        KRX = services_.createCapture();
        if (!KRX)
            throw CaptureError(QStringLiteral("The capture component could not be created."));
    } catch (const CaptureError& e) {
        services_.boxes.show(BoxIcon::Critical, QStringLiteral("Error"), e.description());
        return false;
    } catch (const std::exception& e) {
        services_.boxes.show(BoxIcon::Critical, QStringLiteral("Error"), describe(e));
        return false;
    }
    KRX->setEvents(this);
    monitor_ =
        std::make_unique<AdapterMonitor>(*KRX, tray_, services_.boxes, settings_.gInterfaceToWatch,
                                         settings_.gDescOfInterfaceToWatch, settings_.gCountIPv6);
    monitor_->setRecoveryInterval(services_.recoveryIntervalMs);
    connect(monitor_.get(), &AdapterMonitor::localAddressesChanged, this,
            [this](const QStringList& a) { frames_.setLocalAddresses(a); });
    connect(monitor_.get(), &AdapterMonitor::monitoringStarted, this,
            &MonitorSession::monitoringStarted);
    if (services_.addressChanges)
        services_.addressChanges->setChangeHandler([this] {
            if (monitor_ && !shuttingDown_)
                monitor_->addressesChanged();
        });
    return true;
}

void MonitorSession::openUsageLog(const QString& folder) {
    usageLogger_ = std::make_unique<clsUsageLogger>(services_.fileSystem, services_.clock, folder);
    daily_ = std::make_unique<DailyUsage>(*usageLogger_, services_.fileSystem, services_.clock,
                                          frameBoxes_, units_);
    coverage_ = std::make_unique<CoverageKeeper>(services_.fileSystem, services_.interfaceCounters,
                                                 usageLogger_->logFolder());
    plan_ =
        std::make_unique<PlanController>(services_.fileSystem, usageLogger_->logFolder(), tray_);
    plan_->setPlan(settings_.gPlanAllowance, settings_.gPlanStartDay);
}

void MonitorSession::loadStores() {
    openUsageLog(
        LogFolder::choose(services_.fileSystem, services_.programFolder, services_.appDataFolder));
    // A key that does not convert takes its default and is reported.
    const QList<Settings::LoadError> errors = settings_.loadSettings(services_.store);
    units_ = {settings_.gDisplayUnit, settings_.gSpeedUnit};
    applySettings(Settings::Switches);
    if (plan_)
        plan_->setPlan(settings_.gPlanAllowance, settings_.gPlanStartDay);
    if (!errors.isEmpty())
        services_.boxes.error(QStringLiteral("Load"), Settings::describe(errors));
}

void MonitorSession::applyStoredFilter() {
    try {
        KRX->setFilter(settings_.gFilterString);
    } catch (const CaptureError& e) {
        // The rest of start-up goes on; monitoring runs without a filter meanwhile.
        KRX->setFilter(QString());
        services_.boxes.error(
            QStringLiteral("Load"),
            Settings::filterRejected(settings_.gFilterString, e.description(), true) +
                QStringLiteral(" Monitoring without a filter until it is "
                               "changed in Settings."));
    }
}

void MonitorSession::startAccounting() {
    if (!daily_)
        return;
    daily_->start();
    frames_.currentDay = daily_->currentDay();
    daily_->setUpView();
}

void MonitorSession::startTicks(int pictureWidth) {
    graph_ = std::make_unique<TrafficGraph>(pictureWidth);
    graph_->gBandwidth = settings_.gBandwidth;
    graph_->gGraphStyle = settings_.gGraphStyle;
    sampler_.start();
    Timer1.start(1000 / 10);
    Timer2.start(1000);
}

void MonitorSession::keepHousekeeping() {
    if (!shuttingDown_ && !Timer2.isActive())
        Timer2.start(1000);
}

bool MonitorSession::beginMonitoring() {
    resetStatistics();
    statistics_.updateStats(true);
    tray_.addTrayIcon();
    monitor_->gMonitoringInProgress = false;
    if (!settings_.gInterfaceToWatch.isEmpty()) {
        if (!startMonitoring() && !shuttingDown_) {
            monitor_->startRecovery();
            emit monitoringChanged(false);
        }
        return true;
    }
    tray_.showBaloonTip(QStringLiteral("Please select an adapter to monitor.\r\n"),
                        QStringLiteral("No adapter selected"), TrayController::Warning);
    tray_.showNoAdapter();
    emit monitoringChanged(false);
    return false;
}

void MonitorSession::stopCapture() {
    Timer1.stop();
    Timer2.stop();
    if (monitor_)
        monitor_->Timer3.stop();
    // Every step is attempted whatever happened to the previous one.
    shuttingDown_ = true;
    frameBoxes_.discard();
    const bool wasMonitoring = monitoringInProgress();
    try {
        if (KRX)
            KRX->StopCapture();
    } catch (...) {
    }
    pacer_.runWaiting(); // the last frames are shown and logged
    // The last moment watched: what passes from now on is not watched.
    if (wasMonitoring)
        monitoringStopped();
}

void MonitorSession::closeStores() {
    pacer_.runWaiting();
    graph_.reset();
    try {
        settings_.saveSettings(services_.store);
    } catch (...) {
    }
    try {
        tray_.removeTrayIcon();
    } catch (...) {
    }
    try {
        bookIpv6NotCounted(frames_.currentDay);
        coverage_.reset(); // writes what it has not yet stored
    } catch (...) {
    }
    try {
        daily_.reset();
        if (usageLogger_)
            usageLogger_->release();
        usageLogger_.reset();
    } catch (...) {
    }
}

void MonitorSession::registerRunAtLogon() {
    try {
        RunAtLogon::apply(services_.autostart, services_.programFolder, settings_.gStartAtLogon);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// The user's actions and the settings

void MonitorSession::resetStatistics() {
    statistics_.resetStatistics();
    try {
        packetList_.clear();
    } catch (...) {
        // a list that cannot be cleared keeps its rows
    }
    captureLoss_.resetRun();
    emit captureLossChanged(0);
    emit statisticsReset();
}

void MonitorSession::setDisplayFrozen(bool frozen) {
    statistics_.setDisplayFrozen(frozen);
    packetList_.setDisplayFrozen(frozen);
    if (!frozen) {
        // The counters catch up with what was counted meanwhile, at once.
        statistics_.updateStats(false);
        statistics_.flush();
    }
}

bool MonitorSession::startMonitoring() {
    return monitor_ && monitor_->startMonitoring();
}

void MonitorSession::applySettings(Settings::Changes what) {
    frames_.displayTCP = settings_.displayTCP;
    frames_.displayUDP = settings_.displayUDP;
    frames_.displayICMP = settings_.displayICMP;
    frames_.countIPv6 = settings_.gCountIPv6;
    if (!what.testFlag(Settings::Display))
        return;
    // The new units show at once: counters, the month listed, the average speed.
    units_ = {settings_.gDisplayUnit, settings_.gSpeedUnit};
    if (graph_) {
        graph_->gBandwidth = settings_.gBandwidth;
        graph_->gGraphStyle = settings_.gGraphStyle;
    }
    statistics_.updateStats(true);
    if (daily_)
        daily_->listSelected();
    sampler_.displaySpeed();
    if (plan_) {
        plan_->setPlan(settings_.gPlanAllowance, settings_.gPlanStartDay);
        tickPlan();
    }
}

// ---------------------------------------------------------------------------------------------
// The ticks

void MonitorSession::timer1Tick() {
    sampler_.tick();
    statistics_.flush();
}

void MonitorSession::showSample(int picture, double total) {
    if (monitoringInProgress()) {
        // The adapter's name as far as the tip allows beside the whole total and plan lines.
        QString totalLine = QStringLiteral("\r\nTotal: ") + units_.formatBytes(total);
        if (plan_ && !plan_->text().isEmpty())
            totalLine += QStringLiteral("\r\n") + plan_->text();
        tray_.update(picture, (monitor_->gTooltipText.left(
                                   std::max(0, kTipCharacters - int(totalLine.size()))) +
                               totalLine)
                                  .left(kTipCharacters));
    }
    emit sampleTaken();
}

void MonitorSession::timer2Tick() {
    const QDate countedDay = frames_.currentDay; // the day of the frames since the last tick
    try {
        if (daily_ && daily_->checkCurrentDay()) {
            frames_.currentDay = daily_->currentDay();
            emit dayChanged(frames_.currentDay);
            if (settings_.gResetStatsAtNewDay)
                resetStatistics();
        }
    } catch (...) {
    }
    try {
        statistics_.updateDuration();
    } catch (...) {
    }
    try {
        // Frames the capture could not deliver since the last tick, booked to the day counted.
        const quint64 dropped = KRX ? KRX->takeDroppedFrames() : 0;
        const QDate day = accountingDay();
        captureLoss_.tick(dropped, day);
        emit captureLossChanged(captureLoss_.runCount());
        const bool ipv6Marks = bookIpv6NotCounted(countedDay);
        if (coverage_ &&
            (coverage_->tick(services_.clock.now(), day, monitoringInProgress(), dropped) ||
             ipv6Marks) &&
            daily_)
            daily_->refreshMarks();
    } catch (...) {
    }
    try {
        packetList_.ScavengeList();
    } catch (...) {
    }
    try {
        tickPlan();
    } catch (...) {
    }
}

bool MonitorSession::bookIpv6NotCounted(const QDate& day) {
    const FrameHandler::NotCounted seen = frames_.ipv6NotCounted;
    if (!coverage_ || seen.frames == ipv6Booked_.frames)
        return false;
    coverage_->ipv6NotCounted(day, seen.bytes - ipv6Booked_.bytes,
                              seen.frames - ipv6Booked_.frames);
    ipv6Booked_ = seen;
    // The day's row says so at once the first time, then every 10 s while it grows (the marks
    // are read from the files).
    constexpr int kMarkEveryTicks = 10;
    if (day != ipv6MarkedDay_ || ++ipv6TicksUnmarked_ >= kMarkEveryTicks) {
        ipv6MarkedDay_ = day;
        ipv6TicksUnmarked_ = 0;
        return true;
    }
    return false;
}

QDate MonitorSession::accountingDay() const {
    return daily_ ? daily_->currentDay() : services_.clock.today();
}

void MonitorSession::tickPlan() {
    if (!plan_ || !usageLogger_)
        return;
    // Today's figures as stored so far and counted since (memory only while today's year is
    // the one the store holds).
    const QDate day = accountingDay();
    const clsUsageRec today = usageLogger_->getDailyUsage(day);
    plan_->tick(day, today.dataReceived + today.dataSent);
}

// ---------------------------------------------------------------------------------------------
// The frame path

void MonitorSession::OnPacket(const Packet& packet) {
    if (shuttingDown_)
        return;
    try {
        handle(packet);
    } catch (const std::exception& e) {
        report(QStringLiteral("OnPacket"), describe(e), true);
    } catch (...) {
        report(QStringLiteral("OnPacket"), kUnknownError, true);
    }
}

/// The session's part in each frame: the packet list, the usage log and the statistics.
struct MonitorSession::FramePath {
    MonitorSession& s;
    bool listing() const { return s.listing_; }
    ShownAddress nameOf(quint32 address) { return s.packetList_.shown(address); }
    ShownAddress nameOf(const IpAddress& address) { return s.packetList_.shown(address); }
    void listPacket(const clsPacketInfo& entry) { s.packetList_.listPacket(entry); }
    void counted(const clsUsageRec& increment) {
        if (s.daily_)
            s.daily_->logUsage(increment);
        s.statistics_.updateStats(false);
    }
};

void MonitorSession::handle(const Packet& packet) {
    FramePath path{*this};
    frames_.handle(packet, path);
}

void MonitorSession::OnBatchEnd() {
    reportedThisBatch_ = false;
    try {
        if (daily_)
            daily_->storeFigures(); // every batch: a crash loses at most the batch it was in
    } catch (...) {
    }
    pacer_.request();
}

void MonitorSession::refreshViews() {
    try {
        statistics_.flush();
        if (listing_) {
            const int shownBefore = packetList_.model().rowCount();
            const int latest = packetList_.flush();
            if (latest >= 0)
                emit packetListChanged(latest, packetList_.model().rowCount() != shownBefore);
        }
        if (daily_)
            daily_->showPending();
        emit batchEnded();
    } catch (...) {
        // refreshing the display ignores its errors; the next batch tries again
    }
}

void MonitorSession::OnCaptureAborted() {
    try {
        monitoringStopped();
        if (monitor_ && !shuttingDown_)
            monitor_->OnCaptureAborted();
        emit captureLost();
        emit monitoringChanged(false);
    } catch (const std::exception& e) {
        report(QStringLiteral("OnCaptureAborted"), describe(e), false);
    } catch (...) {
        report(QStringLiteral("OnCaptureAborted"), kUnknownError, false);
    }
}

void MonitorSession::report(const QString& procedure, const QString& description, bool repeating) {
    if (repeating) {
        if (reportedThisBatch_)
            return;
        reportedThisBatch_ = true;
    }
    emit errorRaised(procedure, description);
    frameBoxes_.error(procedure, description,
                      repeating ? ErrorSource::Repeating : ErrorSource::UserAction);
}

// ---------------------------------------------------------------------------------------------
// Monitoring and the settings dialog

bool MonitorSession::monitoringInProgress() const {
    return monitor_ && monitor_->gMonitoringInProgress;
}

QString MonitorSession::monitoringStatus() const {
    if (monitoringInProgress())
        return {};
    if (settings_.gInterfaceToWatch.isEmpty())
        return QStringLiteral("No adapter selected");
    return QStringLiteral("Adapter %1 lost: waiting for it to come back")
        .arg(settings_.gInterfaceToWatch);
}

void MonitorSession::setMonitoringInProgress(bool monitoring) {
    if (!monitor_)
        return;
    const bool started = monitoring && !monitor_->gMonitoringInProgress;
    const bool stopped = !monitoring && monitor_->gMonitoringInProgress;
    if (stopped)
        monitoringStopped();
    monitor_->gMonitoringInProgress = monitoring;
    if (started)
        monitoringStarted();
    else if (stopped)
        emit monitoringChanged(false);
}

void MonitorSession::monitoringStarted() {
    try {
        if (coverage_ &&
            coverage_->monitoringStarted(settings_.gInterfaceToWatch, accountingDay()) && daily_)
            daily_->refreshMarks(); // today's row says so at once
    } catch (...) {
    }
    emit monitoringChanged(true);
}

void MonitorSession::monitoringStopped() {
    try {
        if (coverage_ && coverage_->monitoringStopped(accountingDay()) && daily_)
            daily_->refreshMarks();
    } catch (...) {
    }
}

void MonitorSession::setLocalAddresses(const QStringList& addresses) {
    if (monitor_)
        monitor_->localAddresses = addresses;
    frames_.setLocalAddresses(addresses);
}

void MonitorSession::setTooltipText(const QString& text) {
    if (monitor_)
        monitor_->gTooltipText = text;
}

void MonitorSession::showBaloonTip(const QString& text, const QString& title, int icon) {
    tray_.showBaloonTip(text, title, icon);
}

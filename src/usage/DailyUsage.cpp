#include "usage/DailyUsage.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "usage/UsageViewPort.h"

#include <exception>

DailyUsage::DailyUsage(clsUsageLogger& logger, const Clock& clock, MessageBoxes& boxes)
    : logger_(logger), clock_(clock), boxes_(boxes) {}

void DailyUsage::start() {
    currentDay_ = clock_.today();
    listTag_ = currentDay_;
}

bool DailyUsage::checkCurrentDay() {
    const QDate today = clock_.today();
    if (today == currentDay_)
        return false;
    currentDay_ = today;
    return true;
}

bool DailyUsage::viewDayChanged() {
    const QDate lastDay = listTag_;
    listTag_ = currentDay_;
    if (!view_)
        return false;
    try {
        if (view_->monthPickerIndex() == lastDay.month() - 1 &&
            view_->yearPickerYear() == lastDay.year()) {
            view_->listLogFile(currentDay_.month(), currentDay_.year());
            view_->selectMonthIndex(currentDay_.month() - 1);
            view_->selectYear(currentDay_.year());
            return true;
        }
    } catch (const std::exception& e) {
        boxes_.error(QStringLiteral("logUsage"), QString::fromLocal8Bit(e.what()),
                     ErrorSource::Repeating);
        return true;
    }
    return false;
}

void DailyUsage::applyPending() {
    if (!pending_)
        return;
    pending_ = false;
    const double amount = pendingAmount_;
    pendingAmount_ = 0;
    if (!view_ || view_->rowCount() < 1 || view_->firstRowDate() != pendingDay_)
        return;
    try {
        addToUsageTotal(amount);
        view_->showFirstRow(logger_.getDailyUsage(pendingDay_));
    } catch (const std::exception& e) {
        boxes_.error(QStringLiteral("logUsage"), QString::fromLocal8Bit(e.what()),
                     ErrorSource::Repeating);
    }
}

void DailyUsage::onBatchEnd() {
    applyPending();
    if (logger_.flush()) {
        storeFailing_ = false;
        return;
    }
    // The figures stay in memory and are tried again at the next batch; the user is told once
    // (a box already open, this one or another, lets a later batch tell).
    if (!storeFailing_ &&
        boxes_.error(QStringLiteral("logUsage"),
                     QStringLiteral("The usage log could not be saved in \"%1\" (is the disk "
                                    "full?). The figures are kept and saved as soon as it works.")
                         .arg(logger_.logFolder()),
                     ErrorSource::Repeating))
        storeFailing_ = true;
}

void DailyUsage::addToUsageTotal(double amount) {
    usageTotal_ += amount;
    const int rows = view_ ? view_->rowCount() : 0;
    if (rows > 0)
        usageAverage_ = usageTotal_ / rows;
    if (view_)
        view_->showTotals(usageTotal_, usageAverage_);
}

void DailyUsage::listed(double total, int rows) {
    usageTotal_ = total;
    usageAverage_ = rows > 0 ? total / rows : 0;
    pending_ = false;
    pendingAmount_ = 0;
}

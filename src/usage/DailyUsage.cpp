#include "usage/DailyUsage.h"

#include "capture/CaptureLoss.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "speed/Format.h"

#include <QLocale>

#include <exception>
#include <stdexcept>

DailyUsage::DailyUsage(clsUsageLogger& logger, FileSystem& fs, const Clock& clock,
                       MessageBoxes& boxes, const DisplayUnits& units)
    : logger_(logger), fs_(fs), clock_(clock), boxes_(boxes), units_(units) {}

void DailyUsage::start() {
    currentDay_ = clock_.today();
    listTag_ = currentDay_;
}

void DailyUsage::setUpView() {
    const QDate today = clock_.today();
    selectedMonth_ = today.month() - 1;
    if (view_) {
        view_->selectMonth(selectedMonth_);
        view_->showTotals(units_.formatBytes(0), units_.formatBytes(0));
        // The year picker: one entry per year file, in the order the folder lists them.
        QStringList entries;
        int selected = -1;
        const QString folder = logger_.logFolder() + QLatin1Char('/');
        for (const QString& name : fs_.listFolder(logger_.logFolder())) {
            QString entry;
            if (!yearEntryOf(name, &entry) || !fs_.fileExists(folder + name))
                continue; // sub-folders named like year files are not years
            entries.append(entry);
            if (entry == QString::number(today.year()))
                selected = int(entries.size()) - 1;
        }
        view_->showYears(entries, selected);
    }
    listLogFile(currentDay_.month(), currentDay_.year());
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
        if (selectedMonth_ == lastDay.month() - 1 && selectedYear_ == lastDay.year()) {
            listLogFile(currentDay_.month(), currentDay_.year());
            selectedMonth_ = currentDay_.month() - 1;
            selectedYear_ = currentDay_.year();
            view_->selectMonth(selectedMonth_);
            view_->selectYear(selectedYear_);
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
    if (!view_ || listedDays_.isEmpty() || listedDays_.first() != pendingDay_)
        return;
    try {
        addToUsageTotal(amount);
        view_->showFirstRow(rowOf(logger_.getDailyUsage(pendingDay_)));
    } catch (const std::exception& e) {
        boxes_.error(QStringLiteral("logUsage"), QString::fromLocal8Bit(e.what()),
                     ErrorSource::Repeating);
    }
}

void DailyUsage::storeFigures() {
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
    if (!listedDays_.isEmpty())
        usageAverage_ = usageTotal_ / double(listedDays_.size());
    if (view_)
        view_->showTotals(units_.formatBytes(usageTotal_), units_.formatBytes(usageAverage_));
}

UsageViewPort::Row DailyUsage::rowOf(const clsUsageRec& day) const {
    return {day.usageDate,
            {QLocale::system().toString(day.usageDate, QStringLiteral("dd MMM yyyy")),
             units_.formatBytes(day.dataReceived), units_.formatBytes(day.dataSent),
             units_.formatBytes(day.dataPassthru), units_.formatBytes(day.dataTotalUsage)}};
}

void DailyUsage::listLogFile(int month, int year) {
    listedDays_.clear();
    usageTotal_ = 0;
    usageAverage_ = 0;
    pending_ = false;
    pendingAmount_ = 0;
    try {
        const auto records = logger_.getMonthlyUsage(month, year);
        if (!records)
            throw std::runtime_error("Object variable or With block variable not set");
        QList<UsageViewPort::Row> rows;
        double total = 0;
        for (const auto& rec : *records) {
            rows.prepend(rowOf(*rec)); // newest day on top
            listedDays_.prepend(rec->usageDate);
            total += rec->dataTotalUsage;
        }
        listedYear_ = year;
        listedMonth_ = month;
        usageTotal_ = total;
        usageAverage_ = rows.isEmpty() ? 0 : total / double(rows.size());
        if (view_) {
            view_->showMonth(rows);
            refreshMarks();
            view_->showTotals(units_.formatBytes(usageTotal_), units_.formatBytes(usageAverage_));
        }
    } catch (const std::exception& e) {
        if (view_)
            view_->showMonth({});
        boxes_.error(QStringLiteral("listLogFile"), QString::fromLocal8Bit(e.what()));
    }
    if (listed_)
        listed_();
}

void DailyUsage::refreshMarks() {
    // Days whose coverage file tells of frames lost by the capture or of traffic not watched
    // say so in their tooltip; a missing or damaged file marks nothing.
    if (!view_ || listedYear_ < 1)
        return;
    const QMap<QDate, CoverageLog::Day> days =
        CoverageLog::readWithSession(fs_, logger_.logFolder(), listedYear_);
    if (days.isEmpty())
        return;
    QMap<QDate, QString> tips;
    for (const QDate& date : listedDays_) {
        const QString tip = dayTooltip(days.value(date), units_);
        if (!tip.isEmpty())
            tips.insert(date, tip);
    }
    view_->markDays(tips);
}

bool DailyUsage::yearEntryOf(const QString& fileName, QString* entry) {
    if (!fileName.endsWith(QStringLiteral("log"), Qt::CaseSensitive) || fileName.size() < 4)
        return false;
    const QString first = fileName.left(4);
    for (const QChar c : first)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    const int year = first.toInt();
    // "May 30, " followed by the four characters must be a date.
    if (year < 100 || !QDate(year, 5, 30).isValid())
        return false;
    if (entry)
        *entry = first;
    return true;
}

QString DailyUsage::dayTooltip(const CoverageLog::Day& day, const DisplayUnits& units) {
    QStringList lines;
    if (day.framesLost > 0)
        lines << CaptureLoss::statusText(day.framesLost);
    // Frame counts in the user's grouping ("1,540"), even where the locale leaves it out.
    QLocale locale = QLocale::system();
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (day.unwatchedBytes > 0 || day.unwatchedFrames > 0)
        lines << QStringLiteral("Not watched: %1 in %2 frames while Quelmint was not running")
                     .arg(units.formatBytes(double(day.unwatchedBytes)),
                          locale.toString(qulonglong(day.unwatchedFrames)));
    if (day.ipv6Bytes > 0 || day.ipv6Frames > 0)
        lines << QStringLiteral("IPv6 not counted: %1 in %2 frames")
                     .arg(units.formatBytes(double(day.ipv6Bytes)),
                          locale.toString(qulonglong(day.ipv6Frames)));
    return lines.join(QLatin1Char('\n'));
}

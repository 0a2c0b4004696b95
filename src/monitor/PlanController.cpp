#include "monitor/PlanController.h"

#include "monitor/TrayController.h"
#include "settings/Settings.h"
#include "usage/UsageHistory.h"

static_assert(Settings::kLargestPlanAllowance == DataPlan::kLargestAllowance,
              "the settings and the plan agree on the largest allowance");
static_assert(Settings::kLatestPlanStartDay == DataPlan::kLatestStartDay,
              "the settings and the plan agree on the latest start day");

PlanController::PlanController(FileSystem& fs, const QString& folder, TrayController& tray,
                               QObject* parent)
    : QObject(parent), fs_(fs), folder_(folder), tray_(tray),
      warnings_(std::make_unique<PlanWarnings>(fs, folder)) {}

PlanController::~PlanController() = default;

void PlanController::setPlan(qint64 allowance, int startDay) {
    allowance_ = DataPlan::validAllowance(allowance) ? allowance : 0;
    startDay_ = startDay;
    storedFor_ = QDate();
    checked_ = DataPlan::Level::Below;
}

double PlanController::storedUse(const DataPlan::Period& period, const QDate& today) const {
    // The period's days before today, from the files as the program itself reads them (a
    // period of a start day late in the month begins in the previous year in January).
    const DataPlan::Period before{period.first, today.addDays(-1)};
    if (before.last < before.first)
        return 0;
    QList<UsageHistory::Day> days;
    for (int year = before.first.year(); year <= before.last.year(); ++year)
        days += UsageHistory::read(fs_, folder_, year).days;
    return DataPlan::used(days, before);
}

void PlanController::tick(const QDate& today, double todayUsed) {
    QString text;
    if (allowance_ > 0 && today.isValid()) {
        const DataPlan::Period period = DataPlan::periodOf(today, startDay_);
        if (!(period == period_))
            checked_ = DataPlan::Level::Below;
        period_ = period;
        if (storedFor_ != today) {
            stored_ = storedUse(period, today);
            storedFor_ = today;
        }
        used_ = stored_ + todayUsed;
        text = DataPlan::text(used_, allowance_, DataPlan::daysLeft(today, startDay_));
        const DataPlan::Level level = DataPlan::level(used_, allowance_);
        if (level > checked_) {
            checked_ = level;
            const DataPlan::Level due = warnings_->due(period, level);
            if (due == DataPlan::Level::Full)
                tray_.showBaloonTip(QStringLiteral("The data plan is used up.\r\n") + text,
                                    QString::fromLatin1(kBalloonTitle), TrayController::Warning);
            else if (due == DataPlan::Level::Eighty)
                tray_.showBaloonTip(QStringLiteral("80 % of the data plan is used.\r\n") + text,
                                    QString::fromLatin1(kBalloonTitle), TrayController::Warning);
        }
    } else {
        used_ = 0;
    }
    if (text != text_) {
        text_ = text;
        emit textChanged(text_);
    }
}

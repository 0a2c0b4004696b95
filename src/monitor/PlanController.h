#pragma once

#include "usage/DataPlan.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <memory>

class FileSystem;
class TrayController;

/// The data plan while the program runs. At each housekeeping tick it works out the period's
/// use: received and sent bytes of the stored days since the period started (read from the
/// year files once per day and whenever the plan changes, never per tick) plus today's running
/// figures (handed in from memory). It keeps the plan's text for the notification icon's tip and
/// the "Log" tab, and gives the balloons at 80 % and at 100 % of the allowance, each once per
/// period, remembered in "plan.state" so that a restart does not repeat them.
class PlanController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanController)

public:
    /// folder: the usage log folder. fs and tray must outlive the controller.
    PlanController(FileSystem& fs, const QString& folder, TrayController& tray,
                   QObject* parent = nullptr);
    ~PlanController() override;

    /// The plan from the settings (an allowance of 0, or one that is not valid, is no plan).
    /// The next tick works the period out anew.
    void setPlan(qint64 allowance, int startDay);
    /// Once a housekeeping tick: `today` is the accounting day, `todayUsed` its received and sent
    /// bytes so far. Tells a changed text (textChanged) and gives a warning that is due.
    void tick(const QDate& today, double todayUsed);

    /// "Plan: 41.2 G of 50.0 G used, 9 days left"; empty without a plan.
    const QString& text() const { return text_; }
    /// Received and sent bytes of the period so far (as of the last tick).
    double used() const { return used_; }
    /// The period of the last tick.
    const DataPlan::Period& period() const { return period_; }

    /// The balloons' title.
    static constexpr char kBalloonTitle[] = "Data plan";

signals:
    /// The plan's text changed (empty: no plan any more).
    void textChanged(const QString& text);

private:
    double storedUse(const DataPlan::Period& period, const QDate& today) const;

    FileSystem& fs_;
    QString folder_;
    TrayController& tray_;
    std::unique_ptr<PlanWarnings> warnings_;
    qint64 allowance_ = 0;
    int startDay_ = 1;
    DataPlan::Period period_;
    QDate storedFor_;   ///< the day the stored days' use was read for (invalid: read again)
    double stored_ = 0; ///< received and sent of the period's days before storedFor_
    double used_ = 0;
    /// The highest level already checked against the remembered warnings in this period, so
    /// that "plan.state" is read only when the level rises.
    DataPlan::Level checked_ = DataPlan::Level::Below;
    QString text_;
};

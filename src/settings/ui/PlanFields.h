#pragma once

#include <QGroupBox>
#include <QPair>

class MessageBoxes;
class QComboBox;
class QLineEdit;
class DigitsOnlyKeyFilter;

/// The settings dialog's "Data plan" group: its check box says whether there is a plan, its
/// fields give the allowance per period (a number of MB or GB) and the day the period starts.
class PlanFields final : public QGroupBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlanFields)

public:
    explicit PlanFields(QWidget* parent = nullptr);

    /// The allowance as the dialog shows it: a whole number of GB when it is one (0 too), else
    /// of MB (with decimals only when a hand-edited value needs them).
    static QPair<QString, QString> allowanceText(qint64 bytes);

    /// Lets only digits (and one decimal point in the allowance) be typed into the fields.
    void installDigitsOnly(DigitsOnlyKeyFilter& digits);
    /// Shows a stored plan; an allowance of 0 is no plan.
    void showPlan(qint64 allowance, qint32 startDay);
    /// The fields checked: false, after a box that says why with the focus on the field, when
    /// they cannot be stored; else the allowance in bytes (0: no plan, the start day then stays
    /// storedStartDay) and the start day.
    bool read(MessageBoxes& boxes, qint32 storedStartDay, qint64* allowance, qint32* startDay);

private:
    QLineEdit* txtPlanAllowance = nullptr; ///< allowance per period, above 0
    QComboBox* cboPlanUnit = nullptr;      ///< "MB" or "GB" (1024 MB)
    QLineEdit* txtPlanStartDay = nullptr;  ///< day of the month the period starts on
};

#include "settings/ui/PlanFields.h"

#include "platform/MessageBoxes.h"
#include "settings/Settings.h"
#include "settings/ui/DigitsOnlyKeyFilter.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include <cmath>

namespace {
template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    return named(new QLabel(text, parent), name);
}
} // namespace

PlanFields::PlanFields(QWidget* parent) : QGroupBox(QStringLiteral("Data plan"), parent) {
    setObjectName(QStringLiteral("fraPlan"));
    setCheckable(true);
    auto* g = new QGridLayout(this);
    g->addWidget(label(QStringLiteral("Allowance per period"), "lblPlanAllowance", this), 0, 0);
    txtPlanAllowance = named(new QLineEdit(this), "txtPlanAllowance");
    g->addWidget(txtPlanAllowance, 0, 1);
    cboPlanUnit = named(new QComboBox(this), "cboPlanUnit");
    cboPlanUnit->addItems({QStringLiteral("MB"), QStringLiteral("GB")});
    g->addWidget(cboPlanUnit, 0, 2);
    g->addWidget(label(QStringLiteral("received and sent"), "lblPlanCounts", this), 0, 3);
    g->addWidget(label(QStringLiteral("Period starts on day"), "lblPlanStartDay", this), 1, 0);
    txtPlanStartDay = named(new QLineEdit(this), "txtPlanStartDay");
    g->addWidget(txtPlanStartDay, 1, 1);
    g->addWidget(label(QStringLiteral("of the month  (1 to 28)"), "lblPlanDayRange", this), 1, 2, 1,
                 2);
    g->setColumnStretch(3, 1);
}

void PlanFields::installDigitsOnly(DigitsOnlyKeyFilter& digits) {
    // A hand-edited allowance may be a fraction of a MB.
    digits.install(txtPlanAllowance, QStringLiteral("[0-9]*\\.?[0-9]*"));
    digits.install(txtPlanStartDay);
}

QPair<QString, QString> PlanFields::allowanceText(qint64 bytes) {
    constexpr qint64 mb = qint64(1) << 20, gb = qint64(1) << 30;
    if (bytes % gb == 0)
        return {QString::number(bytes / gb), QStringLiteral("GB")};
    if (bytes % mb == 0)
        return {QString::number(bytes / mb), QStringLiteral("MB")};
    return {QString::number(double(bytes) / double(mb), 'f', QLocale::FloatingPointShortest),
            QStringLiteral("MB")};
}

void PlanFields::showPlan(qint64 allowance, qint32 startDay) {
    setChecked(allowance > 0);
    const auto [number, unit] = allowanceText(allowance);
    txtPlanAllowance->setText(allowance > 0 ? number : QString());
    cboPlanUnit->setCurrentText(unit);
    txtPlanStartDay->setText(QString::number(startDay));
}

bool PlanFields::read(MessageBoxes& boxes, qint32 storedStartDay, qint64* allowance,
                      qint32* startDay) {
    if (!isChecked()) {
        *allowance = 0;
        *startDay = storedStartDay;
        return true;
    }
    const auto refuse = [&boxes](QLineEdit* field, const QString& text) {
        boxes.show(BoxIcon::Warning, QStringLiteral("Data plan"), text);
        field->setFocus();
        field->selectAll();
        return false;
    };
    bool ok = false;
    const QString typed = txtPlanAllowance->text().trimmed();
    const double number = typed.toDouble(&ok);
    const double bytes =
        number * double(qint64(1) << (cboPlanUnit->currentText() == QLatin1String("GB") ? 30 : 20));
    if (!ok || !std::isfinite(bytes) || std::llround(bytes) < 1 ||
        bytes > double(Settings::kLargestPlanAllowance))
        return refuse(txtPlanAllowance,
                      QStringLiteral("The allowance \"%1 %2\" cannot be a data plan: give a "
                                     "number of MB or GB above 0 and up to 1048576 GB (1 PiB), "
                                     "or clear \"Data plan\".")
                          .arg(typed, cboPlanUnit->currentText()));
    const qint32 day = txtPlanStartDay->text().trimmed().toInt(&ok);
    if (!ok || day < 1 || day > Settings::kLatestPlanStartDay)
        return refuse(txtPlanStartDay,
                      QStringLiteral("The period cannot start on day \"%1\": give a day from 1 "
                                     "to 28, which every month has.")
                          .arg(txtPlanStartDay->text()));
    *allowance = qint64(std::llround(bytes));
    *startDay = day;
    return true;
}

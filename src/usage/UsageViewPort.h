#pragma once

#include "usage/clsUsageRec.h"

#include <QDate>

/// What the daily accounting needs from the usage log view (the "Log" tab).
class UsageViewPort {
public:
    virtual ~UsageViewPort() = default;

    /// Number of rows in the list.
    virtual int rowCount() const = 0;
    /// The date of the first (top) row; invalid when the list is empty.
    virtual QDate firstRowDate() const = 0;
    /// Shows a day's four amounts in the first row.
    virtual void showFirstRow(const clsUsageRec& day) = 0;
    /// Shows the month's total and average per day.
    virtual void showTotals(double total, double average) = 0;
    /// Selected index of the month picker (month - 1), -1 when none.
    virtual int monthPickerIndex() const = 0;
    /// Selected year of the year picker, 0 when none.
    virtual int yearPickerYear() const = 0;
    /// Selects a month picker entry.
    virtual void selectMonthIndex(int index) = 0;
    /// Selects a year in the year picker, inserting it in descending place when missing.
    virtual void selectYear(int year) = 0;
    /// Lists a month (1..12) of a year.
    virtual void listLogFile(int month, int year) = 0;
};

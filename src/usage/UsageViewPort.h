#pragma once

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

/// Where the daily accounting shows the month (the "Log" tab). The accounting decides what is
/// shown and pushes it; it never asks the view. The view tells the accounting which month and
/// year its pickers show (DailyUsage::selectMonth, DailyUsage::selectYear).
class UsageViewPort {
public:
    /// One row of the day list: its date and the texts of the columns "Date", "Download",
    /// "Upload", "Pass-by" and "Total".
    struct Row {
        QDate date;
        QStringList texts;
    };

    virtual ~UsageViewPort() = default;

    /// The year picker's entries; `selected` is the one to select (-1: the picker's own choice).
    virtual void showYears(const QStringList& entries, int selected) = 0;
    /// Replaces the rows of the list by these, the first on top.
    virtual void showMonth(const QList<Row>& rows) = 0;
    /// New texts for the top row (today's, while traffic flows).
    virtual void showFirstRow(const Row& row) = 0;
    /// The month's total and average per day.
    virtual void showTotals(const QString& total, const QString& average) = 0;
    /// Tooltips for the rows of these dates (days with frames lost or traffic not watched).
    virtual void markDays(const QMap<QDate, QString>& tooltips) = 0;
    /// Selects a month picker entry (month - 1).
    virtual void selectMonth(int index) = 0;
    /// Selects a year in the year picker, inserting it in descending place when missing.
    virtual void selectYear(int year) = 0;
};

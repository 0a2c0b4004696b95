#pragma once

#include "usage/clsUsageRec.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

/// Text form of the usage log lines: date, sent, received, pass-by and total, TAB-separated.
/// Dates are written as yyyy-MM-dd and read in that form or in the user's short date format
/// with a four-digit year. Amounts are written with up to 15 significant digits (exponent form
/// from 1E+15) and read in that form, or with the user's decimal separator and digit grouping.
class UsageLineFormat final {
public:
    UsageLineFormat() = delete;

    /// The largest amount written; larger ones (and infinity) are written as this one.
    static constexpr double kLargestAmount = 1.79769313486231e308;
    /// An amount as text: "123", "0.5", "1E+15"; beyond kLargestAmount "1.79769313486231E+308".
    static QByteArray formatAmount(double amount);
    /// Reads an amount as this class writes it or in the locale's form (decimal separator,
    /// digit groups). Empty text is 0. False (value untouched) when unreadable or not finite.
    static bool readAmount(const QByteArray& text, double& value,
                           const QLocale& locale = QLocale::system());
    /// An amount from text; anything unreadable (or not finite) counts as 0.
    static double parseAmount(const QByteArray& text);
    /// A date as yyyy-MM-dd.
    static QByteArray formatDate(const QDate& date);
    /// A date in yyyy-MM-dd or the user's short format with a four-digit year; invalid if neither.
    static QDate parseDate(const QByteArray& text);
    /// The user's short date format, with a four-digit year.
    static QString shortDateFormat();
    /// A record line without its line end.
    static QByteArray formatLine(const clsUsageRec& record);
    /// Reads a record line; missing amounts count as 0. False (and the record untouched) when
    /// the date or a present amount cannot be read: such a line is kept as it is, never merged.
    static bool parseLine(const QByteArray& line, clsUsageRec& record);
    /// True when the line is empty or holds only spaces.
    static bool isBlank(const QByteArray& line);
};

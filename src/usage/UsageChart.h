#pragma once

#include "speed/Format.h"
#include "usage/UsageHistory.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPalette>
#include <QRect>
#include <QString>

/// The usage chart, drawn by the program into an image without antialiasing: a bar per day of a
/// month (or per month of a year), received and sent stacked in two fixed colours, pass-by as
/// an outline on top of them (or left out), a value axis in the display unit with grid lines,
/// today's bar on a highlighted band with its label in bold, a small triangle above the bars
/// of days whose coverage tells of frames lost by the capture or of traffic not watched, and a
/// legend below. Background, text and grid take the palette's colours, so the chart reads on
/// light and dark palettes alike; the image is drawn at the screen's device pixel ratio.
///
/// Bar geometry (logical pixels): the plot area is layout().plot; bar i occupies the slot
/// plot.left() + i * slot ... + slot, centred, 70 % of it wide (at least 1 pixel). A value v is
/// v / axisTop * plot.height() pixels high, rounded, stacked from the bottom row of the plot
/// upwards: received, then sent, then pass-by (each segment's top is the rounded running sum).
class UsageChart final {
public:
    /// One bar: a day, or a month in the year view (its first day).
    struct Bar {
        QDate date;
        double received = 0;
        double sent = 0;
        double passby = 0;
        double total = 0;
        bool today = false; ///< today, or today's month
        QString marks;      ///< frames lost / not watched, a line each; empty: nothing to mark
    };
    enum class View { Month, Year };

    /// Where things go at a given size.
    struct Layout {
        QRect plot;         ///< the bars' area, logical pixels
        double slot = 0;    ///< width of one bar's slot
        double axisTop = 0; ///< the value at the plot's top
        double step = 0;    ///< the value between two grid lines
        int barWidth = 1;   ///< width of a bar
        /// The bar's column, full height of the plot.
        QRect barRect(int index) const;
        /// Pixels from the plot's bottom for a value.
        int heightOf(double value) const;
    };

    static const QColor kReceived; ///< received ("Download")
    static const QColor kSent;     ///< sent ("Upload")
    static const QColor kMark;     ///< the coverage mark

    /// The bars to show; the view decides the labels and the tooltips' dates.
    void setBars(View view, QList<Bar> bars);
    /// Pass-by shown as an outline on top of the bars (on by default), or left out.
    void setShowPassby(bool show) { showPassby_ = show; }
    /// The unit of the axis and the tooltips' amounts.
    void setUnits(const DisplayUnits& units) { units_ = units; }

    View view() const { return view_; }
    const QList<Bar>& bars() const { return bars_; }
    bool showPassby() const { return showPassby_; }

    /// The layout for an image of `size` (logical pixels) with text in `font`.
    Layout layout(QSize size, const QFont& font) const;
    /// Draws the chart at `size` (logical pixels) and `ratio` device pixels per logical one.
    QImage render(QSize size, qreal ratio, const QPalette& palette, const QFont& font) const;
    /// The bar under a logical point, -1 for none.
    int barAt(QPoint point, QSize size, const QFont& font) const;
    /// The bar's tooltip: its date, its exact figures and its coverage lines.
    QString tooltip(int index) const;

    /// A bar per day of the month (1..12) of the year from the history (days without a record
    /// are empty bars), today's marked, coverage lines as the "Log" tab's tooltips.
    static QList<Bar> monthBars(const UsageHistory& history, int year, int month,
                                const QDate& today, const DisplayUnits& units);
    /// A bar per month of the year, the sums of its days; its marks name the days that have some.
    static QList<Bar> yearBars(const UsageHistory& history, int year, const QDate& today,
                               const DisplayUnits& units);

    /// The distance between grid lines for values up to `largest`: 1, 2 or 5 times a power of
    /// ten of bytes, KB, MB or GB (1024-based, as the display units count), at most 5 lines.
    static double niceStep(double largest);
    /// A colour `share` of the way from `from` to `to`.
    static QColor blend(const QColor& from, const QColor& to, double share);

private:
    double stacked(const Bar& bar) const {
        return bar.received + bar.sent + (showPassby_ ? bar.passby : 0);
    }
    QString label(int index) const;

    View view_ = View::Month;
    QList<Bar> bars_;
    bool showPassby_ = true;
    DisplayUnits units_;
};

#pragma once

#include "usage/UsageChart.h"

#include <functional>

class DailyUsage;

/// What the usage chart shows: the month the "Log" tab listed last, or its year, read from the
/// log folder as the program stores it (the running day as far as it was written), in the
/// display units. It follows the listings of the daily accounting once connected.
///
/// @code
/// UsageChartFeed feed(daily);
/// feed.followListings([&] { window.update(); }); // after every listing of the "Log" tab
/// feed.setView(UsageChart::View::Year);            // reads again
/// window paints feed.chart().render(...), titled feed.title()
/// @endcode
class UsageChartFeed final {
    Q_DISABLE_COPY_MOVE(UsageChartFeed)

public:
    /// daily must outlive the feed.
    explicit UsageChartFeed(DailyUsage& daily) : daily_(daily) {}
    /// Stops following the listings.
    ~UsageChartFeed();

    /// Reads again after every listing and then calls `changed`.
    void followListings(std::function<void()> changed);
    /// Reads the listed month's (or year's) days again.
    void refresh();

    void setView(UsageChart::View view);
    UsageChart::View view() const { return chart_.view(); }
    void setShowPassby(bool show) { chart_.setShowPassby(show); }

    const UsageChart& chart() const { return chart_; }
    /// "December 2026", or "2026" in the year view; empty before the first listing.
    QString title() const;

private:
    DailyUsage& daily_;
    UsageChart chart_;
    std::function<void()> changed_;
};

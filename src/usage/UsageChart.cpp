#include "usage/UsageChart.h"

#include "usage/DailyUsage.h"

#include <QFontMetrics>
#include <QLocale>
#include <QMap>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <functional>

const QColor UsageChart::kReceived(40, 160, 70);
const QColor UsageChart::kSent(235, 140, 20);
const QColor UsageChart::kMark(220, 40, 40);

namespace {

constexpr int kGap = 6;           ///< between the plot and its labels
constexpr int kLegendSwatch = 10; ///< the legend's colour squares

QString exactBytes(double value) {
    return QLocale::system().toString(value, 'f', 0);
}

/// The triangle that marks a bar: its tip just above the plot.
QPolygon markTriangle(int centre, int tipY, int half) {
    return QPolygon({QPoint(centre - half, tipY - half), QPoint(centre + half, tipY - half),
                     QPoint(centre, tipY)});
}

} // namespace

QRect UsageChart::Layout::barRect(int index) const {
    const int x = plot.left() + int(std::floor(index * slot + (slot - barWidth) / 2.0));
    return QRect(x, plot.top(), barWidth, plot.height());
}

int UsageChart::Layout::heightOf(double value) const {
    if (axisTop <= 0 || value <= 0)
        return 0;
    return std::clamp(int(std::lround(value / axisTop * plot.height())), 0, plot.height());
}

void UsageChart::setBars(View view, QList<Bar> bars) {
    view_ = view;
    bars_ = std::move(bars);
}

double UsageChart::niceStep(double largest) {
    if (!(largest > 0) || !std::isfinite(largest))
        return 1;
    // The unit the axis counts in: the largest of B, KB, MB and GB that keeps the top at 1 or
    // more, then 1, 2 or 5 times a power of ten of it.
    double unit = 1;
    for (int i = 0; i < 3 && largest / unit >= 1024; ++i)
        unit *= 1024;
    const double scaled = largest / unit;
    double power = std::pow(10.0, std::floor(std::log10(scaled / 5)));
    for (;;) {
        for (const double m : {1.0, 2.0, 5.0})
            if (std::ceil(scaled / (m * power) - 1e-9) <= 5)
                return std::max(1.0, m * power * unit);
        power *= 10;
    }
}

QColor UsageChart::blend(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

UsageChart::Layout UsageChart::layout(QSize size, const QFont& font) const {
    const QFontMetrics fm(font);
    Layout l;
    double largest = 0;
    for (const Bar& b : bars_)
        largest = std::max(largest, stacked(b));
    l.step = niceStep(largest);
    l.axisTop = std::max(1.0, std::ceil(largest / l.step - 1e-9)) * l.step;
    int labelWidth = 0;
    for (double v = 0; v <= l.axisTop + l.step / 2; v += l.step)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(units_.formatBytes(v)));
    const int top = fm.height() / 2 + kGap + 6; // room for the marks and the top label
    const int left = labelWidth + 2 * kGap;
    const int bottom = 2 * fm.height() + 3 * kGap; // the bars' labels and the legend
    l.plot = QRect(left, top, std::max(1, size.width() - left - 2 * kGap),
                   std::max(1, size.height() - top - bottom));
    l.slot = bars_.isEmpty() ? l.plot.width() : double(l.plot.width()) / bars_.size();
    l.barWidth = std::max(1, int(l.slot * 0.7));
    return l;
}

QString UsageChart::label(int index) const {
    const QDate date = bars_[index].date;
    return view_ == View::Month ? QString::number(date.day())
                                : QLocale::system().monthName(date.month(), QLocale::ShortFormat);
}

QImage UsageChart::render(QSize size, qreal ratio, const QPalette& palette,
                          const QFont& font) const {
    QImage image(QSize(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    image.fill(base);
    const Layout l = layout(size, font);
    const QRect& plot = l.plot;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font);
    const QFontMetrics fm(font);

    // Today's band behind everything.
    for (int i = 0; i < bars_.size(); ++i)
        if (bars_[i].today) {
            const int x0 = plot.left() + int(std::floor(i * l.slot));
            const int x1 = plot.left() + int(std::floor((i + 1) * l.slot));
            p.fillRect(QRect(x0, plot.top(), std::max(1, x1 - x0), plot.height()),
                       blend(base, palette.color(QPalette::Highlight), 0.25));
        }

    // Grid lines and the axis's labels in the display unit.
    const QColor grid = blend(base, text, 0.18);
    p.setPen(text);
    for (double v = 0; v <= l.axisTop + l.step / 2; v += l.step) {
        const int y = plot.bottom() + 1 - l.heightOf(v);
        if (v > 0) {
            p.setPen(grid);
            p.drawLine(plot.left(), y, plot.right(), y);
        }
        p.setPen(text);
        const QRect box(0, y - fm.height() / 2, plot.left() - kGap, fm.height());
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, units_.formatBytes(v));
    }
    p.setPen(blend(base, text, 0.6));
    p.drawLine(plot.left(), plot.bottom() + 1, plot.right(), plot.bottom() + 1);

    // The bars: received, sent, then pass-by's outline.
    const QColor outline = blend(base, text, 0.7);
    for (int i = 0; i < bars_.size(); ++i) {
        const Bar& b = bars_[i];
        const QRect column = l.barRect(i);
        const int h1 = l.heightOf(b.received);
        const int h2 = l.heightOf(b.received + b.sent);
        const int bottom = plot.bottom() + 1;
        p.fillRect(QRect(column.left(), bottom - h1, column.width(), h1), kReceived);
        p.fillRect(QRect(column.left(), bottom - h2, column.width(), h2 - h1), kSent);
        if (showPassby_) {
            const int h3 = l.heightOf(b.received + b.sent + b.passby);
            if (h3 > h2) {
                p.setPen(outline);
                p.setBrush(Qt::NoBrush);
                if (column.width() > 1 && h3 - h2 > 1)
                    p.drawRect(QRect(column.left(), bottom - h3, column.width() - 1, h3 - h2 - 1));
                else
                    p.fillRect(QRect(column.left(), bottom - h3, column.width(), h3 - h2), outline);
            }
        }
        if (!b.marks.isEmpty()) {
            const int half = std::clamp(column.width() / 2, 2, 5);
            p.setPen(Qt::NoPen);
            p.setBrush(kMark);
            p.drawPolygon(markTriangle(column.center().x(), plot.top() - 2, half));
            p.setBrush(Qt::NoBrush);
        }
    }

    // The bars' labels: as many as fit, today's always and in bold.
    int widest = 0;
    for (int i = 0; i < bars_.size(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(label(i)));
    const int every = std::max(1, int(std::ceil((widest + 4) / std::max(1.0, l.slot))));
    QFont bold = font;
    bold.setBold(true);
    const int labelTop = plot.bottom() + 2 + kGap / 2;
    for (int i = 0; i < bars_.size(); ++i) {
        const bool today = bars_[i].today;
        const bool shown =
            view_ == View::Month ? (bars_[i].date.day() - 1) % every == 0 : i % every == 0;
        if (!shown && !today)
            continue;
        const int centre = plot.left() + int(std::floor((i + 0.5) * l.slot));
        const QFontMetrics m(today ? bold : font);
        const int width = m.horizontalAdvance(label(i)) + 2;
        p.setFont(today ? bold : font);
        p.setPen(text);
        p.drawText(QRect(centre - width / 2, labelTop, width, m.height()), Qt::AlignCenter,
                   label(i));
    }
    p.setFont(font);

    // The legend.
    int x = plot.left();
    const int legendTop = labelTop + fm.height() + kGap;
    const int swatchTop = legendTop + (fm.height() - kLegendSwatch) / 2;
    const auto entry = [&](const QString& name, const std::function<void(QRect)>& swatch) {
        const QRect square(x, swatchTop, kLegendSwatch, kLegendSwatch);
        swatch(square);
        x += kLegendSwatch + 4;
        p.setPen(text);
        const int width = fm.horizontalAdvance(name) + 2;
        p.drawText(QRect(x, legendTop, width, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += width + 3 * kGap;
    };
    entry(QStringLiteral("Download"), [&](QRect r) { p.fillRect(r, kReceived); });
    entry(QStringLiteral("Upload"), [&](QRect r) { p.fillRect(r, kSent); });
    if (showPassby_)
        entry(QStringLiteral("Pass-by"), [&](QRect r) {
            p.setPen(outline);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        });
    if (std::any_of(bars_.cbegin(), bars_.cend(), [](const Bar& b) { return !b.marks.isEmpty(); }))
        entry(QStringLiteral("Frames lost or not watched"), [&](QRect r) {
            p.setPen(Qt::NoPen);
            p.setBrush(kMark);
            p.drawPolygon(markTriangle(r.center().x(), r.bottom(), 5));
            p.setBrush(Qt::NoBrush);
        });
    return image;
}

int UsageChart::barAt(QPoint point, QSize size, const QFont& font) const {
    const Layout l = layout(size, font);
    if (bars_.isEmpty() || point.y() < l.plot.top() - 12 || point.y() > l.plot.bottom() + 1 ||
        point.x() < l.plot.left() || point.x() > l.plot.right())
        return -1;
    const int index = int((point.x() - l.plot.left()) / l.slot);
    return index >= 0 && index < bars_.size() ? index : -1;
}

QString UsageChart::tooltip(int index) const {
    if (index < 0 || index >= bars_.size())
        return QString();
    const Bar& b = bars_[index];
    const QLocale locale = QLocale::system();
    QStringList lines;
    lines << (view_ == View::Month ? locale.toString(b.date, QStringLiteral("dd MMM yyyy"))
                                   : locale.toString(b.date, QStringLiteral("MMMM yyyy")));
    const auto line = [&](const char* name, double value) {
        lines << QStringLiteral("%1: %2 (%3 bytes)")
                     .arg(QLatin1String(name), units_.formatBytes(value), exactBytes(value));
    };
    line("Download", b.received);
    line("Upload", b.sent);
    line("Pass-by", b.passby);
    line("Total", b.total);
    if (!b.marks.isEmpty())
        lines << b.marks;
    return lines.join(QLatin1Char('\n'));
}

QList<UsageChart::Bar> UsageChart::monthBars(const UsageHistory& history, int year, int month,
                                             const QDate& today, const DisplayUnits& units) {
    const QDate first(year, month, 1);
    if (!first.isValid())
        return {};
    QMap<QDate, const UsageHistory::Day*> byDate;
    for (const UsageHistory::Day& d : history.days)
        if (d.date.year() == year && d.date.month() == month)
            byDate.insert(d.date, &d);
    QList<Bar> bars;
    for (int day = 1; day <= first.daysInMonth(); ++day) {
        Bar bar;
        bar.date = QDate(year, month, day);
        bar.today = bar.date == today;
        if (const UsageHistory::Day* d = byDate.value(bar.date)) {
            bar.received = d->received;
            bar.sent = d->sent;
            bar.passby = d->passby;
            bar.total = d->total;
            if (d->coverage)
                bar.marks = DailyUsage::dayTooltip(*d->coverage, units);
        }
        bars.append(bar);
    }
    return bars;
}

QList<UsageChart::Bar> UsageChart::yearBars(const UsageHistory& history, int year,
                                            const QDate& today, const DisplayUnits& units) {
    QList<Bar> bars;
    for (int month = 1; month <= 12; ++month) {
        Bar bar;
        bar.date = QDate(year, month, 1);
        bar.today = today.year() == year && today.month() == month;
        bars.append(bar);
    }
    const QLocale locale = QLocale::system();
    for (const UsageHistory::Day& d : history.days) {
        if (d.date.year() != year)
            continue;
        Bar& bar = bars[d.date.month() - 1];
        bar.received += d.received;
        bar.sent += d.sent;
        bar.passby += d.passby;
        bar.total += d.total;
        const QString tip = d.coverage ? DailyUsage::dayTooltip(*d.coverage, units) : QString();
        if (!tip.isEmpty())
            bar.marks += (bar.marks.isEmpty() ? QString() : QStringLiteral("\n")) +
                         locale.toString(d.date, QStringLiteral("dd MMM")) + QStringLiteral(": ") +
                         QString(tip).replace(QLatin1Char('\n'), QStringLiteral("; "));
    }
    return bars;
}

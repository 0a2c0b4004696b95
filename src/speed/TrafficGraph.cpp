#include "speed/TrafficGraph.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

const QColor TrafficGraph::kBackground = QColor(0, 0, 0);
const QColor TrafficGraph::kGridColour = QColor(0, 130, 66);
const QColor TrafficGraph::kTraceColour = QColor(0, 255, 0);

namespace {

/// Moves every row of the image `shift` pixels to the left; the rightmost columns keep their
/// old content until they are drawn over.
void shiftLeft(QImage& image, int shift) {
    const int width = image.width();
    if (shift <= 0 || shift >= width)
        return;
    const std::size_t bytes = std::size_t(width - shift) * sizeof(QRgb);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::memmove(row, row + shift, bytes);
    }
}

/// The share of full scale (0..1) a speed reaches.
double scaleOf(double bytesPerSecond, double bandwidth) {
    if (!(bytesPerSecond > 0)) // also NaN
        return 0;
    if (!(bandwidth > 0))
        return 1; // no sensible full scale: any traffic fills it
    return std::min(bytesPerSecond, bandwidth) / bandwidth;
}

/// Meter pen: width 2, square ends.
QPen meterPen(const QColor& colour) {
    QPen pen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    return pen;
}

/// Trace pen: one pixel, both end points drawn.
QPen tracePen() {
    QPen pen(TrafficGraph::kTraceColour, 1, Qt::SolidLine, Qt::SquareCap);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

QString TrafficGraph::arialFamily() {
    static const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    return family;
}

TrafficGraph::TrafficGraph(int pictureWidth, int pictureHeight, int meterWidth) {
    graphWidth_ = std::max(pictureWidth - 5, 1);
    graphHeight_ = std::max(pictureHeight - 5, 1);

    // The chart: black, horizontal grid lines across the full width, vertical ones over the
    // full height from graphWidth mod 12 on.
    graph_ = QImage(graphWidth_ + 1, graphHeight_ + 1, QImage::Format_RGB32);
    graph_.fill(kBackground);
    {
        QPainter p(&graph_);
        for (int y = kGrid; y <= graphHeight_ - 1; y += kGrid)
            p.fillRect(0, y, graph_.width(), 1, kGridColour);
        lastGridX_ = graphWidth_ % kGrid;
        for (int x = lastGridX_; x <= graphWidth_ - 1; x += kGrid) {
            p.fillRect(x, 0, 1, graph_.height(), kGridColour);
            lastGridX_ = x;
        }
    }

    // The meter: black, all rows dim.
    meter_ = QImage(std::max(meterWidth, 1), std::max(pictureHeight, 1), QImage::Format_RGB32);
    meter_.fill(kBackground);
    for (int y = meter_.height() - 26; y > 6; y -= 3)
        ++barCount_;

    // "arial" of cell height 16: the pixel size whose ascent + descent is 16.
    meterFont_ = QFont(arialFamily());
    meterFont_.setWeight(QFont::Normal);
    meterFont_.setStyleStrategy(QFont::NoAntialias);
    for (int size = 16; size > 1; --size) {
        meterFont_.setPixelSize(size);
        if (QFontMetrics(meterFont_).height() <= 16)
            break;
    }
    drawMeterRows(0);
}

void TrafficGraph::scroll() {
    lastGridX_ -= 2;
    if (lastGridX_ + kGrid == graphWidth_) {
        shiftLeft(graph_, 3);
        lastGridX_ -= 1;
    } else {
        shiftLeft(graph_, 2);
    }
    const int strip = graphWidth_ - 2;
    QPainter p(&graph_);
    p.fillRect(strip, 0, 2, graph_.height(), kBackground);
    for (int y = kGrid; y <= graphHeight_ - 1; y += kGrid)
        p.fillRect(strip, y, 2, 1, kGridColour);
    if (graphWidth_ - lastGridX_ > 11) {
        lastGridX_ += kGrid;
        p.fillRect(lastGridX_, 0, 1, graph_.height(), kGridColour);
    }
}

void TrafficGraph::plot(double bytesPerSecond, const QString& figure) {
    const double scale = scaleOf(bytesPerSecond, gBandwidth);

    // The chart: a line from the previous point or a column from the bottom.
    const int level = int(std::lround(scale * graphHeight_));
    const int x = graphWidth_ - 3;
    {
        QPainter p(&graph_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(tracePen());
        const QPoint from =
            gGraphStyle == 0 ? QPoint(x - 2, graphHeight_ - lastPlotted_) : QPoint(x, graphHeight_);
        p.drawLine(from, QPoint(x, graphHeight_ - level));
    }
    lastPlotted_ = level;

    // The meter: rows lit while their number is at most barCount x scale, and the figure.
    drawMeterRows(barCount_ * scale);
    QPainter p(&meter_);
    const QRect band(0, meter_.height() - kFigureBand, meter_.width(), kFigureBand);
    p.fillRect(band, kBackground);
    p.setFont(meterFont_);
    p.setPen(kTraceColour);
    p.drawText(band, Qt::AlignHCenter | Qt::AlignTop, figure);
}

void TrafficGraph::drawMeterRows(double lit) {
    QPainter p(&meter_);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QPen dim = meterPen(kGridColour), bright = meterPen(kTraceColour);
    for (int i = 1; i <= barCount_; ++i) {
        p.setPen(i <= lit ? bright : dim);
        const int y = meterRowY(i);
        p.drawLine(17, y, 33, y);
        p.drawLine(36, y, 52, y);
    }
}

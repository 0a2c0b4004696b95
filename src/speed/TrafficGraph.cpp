#include "speed/TrafficGraph.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

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

/// Paints an image in its own pixels: the image's pixel ratio is set aside while the painter
/// is open, so every coordinate below is a device pixel.
class DevicePainter final {
public:
    explicit DevicePainter(QImage& image) : image_(image), ratio_(image.devicePixelRatio()) {
        image_.setDevicePixelRatio(1);
        painter_.emplace(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    ~DevicePainter() {
        painter_.reset();
        image_.setDevicePixelRatio(ratio_);
    }
    DevicePainter(const DevicePainter&) = delete;
    DevicePainter& operator=(const DevicePainter&) = delete;
    QPainter* operator->() { return &*painter_; }

private:
    QImage& image_;
    qreal ratio_;
    std::optional<QPainter> painter_;
};

} // namespace

QString TrafficGraph::arialFamily() {
    static const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    return family;
}

TrafficGraph::TrafficGraph(int pictureWidth, int pictureHeight, int meterWidth, qreal ratio) {
    if (!(ratio > 0))
        ratio = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                    ? qGuiApp->devicePixelRatio()
                    : 1.0;
    ratio_ = ratio;
    graphWidth_ = std::max(pictureWidth - 5, 1);
    graphHeight_ = std::max(pictureHeight - 5, 1);
    // One logical pixel of line in whole device pixels: the grid as thin as the screen allows,
    // the trace (and the meter's rows) as thick as their logical width.
    gridLine_ = std::max(1, int(ratio_));
    traceLine_ = std::max(1, qRound(ratio_));

    // The chart: black, horizontal grid lines across the full width, vertical ones over the
    // full height from graphWidth mod 12 on.
    graph_ = QImage(px(graphWidth_ + 1), px(graphHeight_ + 1), QImage::Format_RGB32);
    graph_.setDevicePixelRatio(ratio_);
    graph_.fill(kBackground);
    {
        DevicePainter p(graph_);
        for (int y = kGrid; y <= graphHeight_ - 1; y += kGrid)
            p->fillRect(0, px(y), graph_.width(), gridLine_, kGridColour);
        lastGridX_ = graphWidth_ % kGrid;
        for (int x = lastGridX_; x <= graphWidth_ - 1; x += kGrid) {
            p->fillRect(px(x), 0, gridLine_, graph_.height(), kGridColour);
            lastGridX_ = x;
        }
    }

    // The meter: black, all rows dim.
    meter_ = QImage(px(std::max(meterWidth, 1)), px(std::max(pictureHeight, 1)),
                    QImage::Format_RGB32);
    meter_.setDevicePixelRatio(ratio_);
    meter_.fill(kBackground);
    meterHeight_ = std::max(pictureHeight, 1);
    for (int y = meterHeight_ - 26; y > 6; y -= 3)
        ++barCount_;

    // "arial" of cell height 16: the pixel size whose ascent + descent is 16 (and the same at
    // the device's resolution for drawing).
    auto fontOfHeight = [](int height) {
        QFont font(arialFamily());
        font.setWeight(QFont::Normal);
        font.setStyleStrategy(QFont::NoAntialias);
        for (int size = height; size > 1; --size) {
            font.setPixelSize(size);
            if (QFontMetrics(font).height() <= height)
                break;
        }
        return font;
    };
    meterFont_ = fontOfHeight(16);
    deviceFont_ = ratio_ == 1 ? meterFont_ : fontOfHeight(px(16));
    drawMeterRows(0);
}

void TrafficGraph::scroll() {
    lastGridX_ -= 2;
    int shift = 2;
    if (lastGridX_ + kGrid == graphWidth_) {
        shift = 3;
        lastGridX_ -= 1;
    }
    // Whole device pixels that keep the image where the logical steps so far put it.
    scrolled_ += shift;
    const int deviceShift = px(scrolled_) - deviceScrolled_;
    deviceScrolled_ += deviceShift;
    shiftLeft(graph_, deviceShift);
    const int strip = px(graphWidth_ - 2);
    DevicePainter p(graph_);
    p->fillRect(strip, 0, graph_.width() - strip, graph_.height(), kBackground);
    for (int y = kGrid; y <= graphHeight_ - 1; y += kGrid)
        p->fillRect(strip, px(y), graph_.width() - strip, gridLine_, kGridColour);
    if (graphWidth_ - lastGridX_ > 11) {
        lastGridX_ += kGrid;
        p->fillRect(px(lastGridX_), 0, gridLine_, graph_.height(), kGridColour);
    }
}

void TrafficGraph::plot(double bytesPerSecond, const QString& figure) {
    const double scale = scaleOf(bytesPerSecond, gBandwidth);

    // The chart: a line from the previous point or a column from the bottom.
    const int level = int(std::lround(scale * graphHeight_));
    const int x = graphWidth_ - 3;
    {
        DevicePainter p(graph_);
        if (gGraphStyle == 0) {
            QPen pen(kTraceColour, traceLine_, Qt::SolidLine, Qt::SquareCap);
            pen.setCosmetic(ratio_ == 1); // one pixel, both end points drawn
            if (ratio_ == 1)
                pen.setWidth(1);
            p->setPen(pen);
            p->drawLine(QPoint(px(x - 2), px(graphHeight_ - lastPlotted_)),
                        QPoint(px(x), px(graphHeight_ - level)));
        } else {
            const int top = px(graphHeight_ - level);
            p->fillRect(px(x), top, traceLine_, px(graphHeight_ + 1) - top, kTraceColour);
        }
    }
    lastPlotted_ = level;

    // The meter: rows lit while their number is at most barCount x scale, and the figure.
    drawMeterRows(barCount_ * scale);
    DevicePainter p(meter_);
    const QRect band(0, px(meterHeight_ - kFigureBand), meter_.width(),
                     meter_.height() - px(meterHeight_ - kFigureBand));
    p->fillRect(band, kBackground);
    p->setFont(deviceFont_);
    p->setPen(kTraceColour);
    p->drawText(band, Qt::AlignHCenter | Qt::AlignTop, figure);
}

void TrafficGraph::drawMeterRows(double lit) {
    DevicePainter p(meter_);
    // Pens of width 2 with square ends, in device pixels.
    auto meterPen = [this](const QColor& colour) {
        return QPen(colour, px(2), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    };
    const QPen dim = meterPen(kGridColour), bright = meterPen(kTraceColour);
    for (int i = 1; i <= barCount_; ++i) {
        p->setPen(i <= lit ? bright : dim);
        const int y = px(meterRowY(i));
        p->drawLine(px(17), y, px(33), y);
        p->drawLine(px(36), y, px(52), y);
    }
}

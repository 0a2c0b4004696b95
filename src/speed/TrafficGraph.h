#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

/// The strip chart (Picture1) and the level meter with the speed figure (Picture2), drawn into
/// two off-screen images without antialiasing, so every pixel has one of the exact colours
/// below. The images are drawn at the screen's device pixel ratio (at 1.5 times the scale a
/// 63-pixel picture is 95 device pixels high), lines in whole device pixels, never scaled up. The window copies the images to the screen ten times a second; each one-second
/// sample first scrolls the chart by one step (scroll()) and then plots the speed (plot()).
///
/// Chart geometry: the picture is drawn with a 2-pixel border, the image fills what is inside
/// it. graphWidth = picture width - 5 and graphHeight = picture height - 5 are the last column
/// and row of the image. Grid lines every 12 pixels, the first vertical one at graphWidth mod
/// 12; the newest point is plotted at x = graphWidth - 3, the bottom is y = graphHeight.
///
/// Meter geometry: the image is the meter picture's size; rows of two segments (x 17..33 and
/// 36..52) from y = height - 26 upwards every 3 pixels while y > 6; the figure is written
/// centred with its top at y = height - 22.
class TrafficGraph final {
public:
    static constexpr int kPictureHeight = 63; ///< height of both pictures
    static constexpr int kMeterWidth = 72;    ///< width of the meter picture
    static constexpr int kBorder = 2;         ///< border drawn around the chart picture
    static constexpr int kGrid = 12;          ///< grid spacing, both ways
    static constexpr int kFigureBand = 22;    ///< height of the meter's figure band

    static const QColor kBackground;  ///< RGB(0, 0, 0)
    static const QColor kGridColour;  ///< RGB(0, 130, 66): grid and dim meter rows
    static const QColor kTraceColour; ///< RGB(0, 255, 0): trace, lit rows, figure

    /// Builds both images and draws their first frame: the grid, all meter rows dim.
    /// pictureWidth is Picture1's width; the heights are kPictureHeight. ratio: the screen's
    /// device pixel ratio the images are drawn at (0: the application's).
    explicit TrafficGraph(int pictureWidth, int pictureHeight = kPictureHeight,
                          int meterWidth = kMeterWidth, qreal ratio = 0);

    /// Start of a sample: scrolls the chart 2 pixels (3 when the grid needs it), clears the new
    /// strip and draws its grid.
    void scroll();
    /// Plots a speed (bytes per second) on the chart and the meter and writes the figure into
    /// the meter. Speeds above gBandwidth are drawn at full scale; with gBandwidth <= 0 any
    /// traffic is full scale.
    void plot(double bytesPerSecond, const QString& figure);

    double gBandwidth = 48000; ///< full-scale speed, bytes per second
    int gGraphStyle = 1;       ///< 0 line ("Wave"), 1 columns ("Columns")

    /// The images, drawn at the device pixel ratio they carry: a logical pixel (x, y) of the
    /// geometry above covers device pixels from (px(x), px(y)).
    const QImage& graphImage() const { return graph_; }
    const QImage& meterImage() const { return meter_; }
    /// The device pixel ratio of the images.
    qreal ratio() const { return ratio_; }
    /// A logical position in device pixels of the images.
    int px(qreal logical) const { return qRound(logical * ratio_); }
    int graphWidth() const { return graphWidth_; }
    int graphHeight() const { return graphHeight_; }
    int lastGridX() const { return lastGridX_; }
    int lastPlotted() const { return lastPlotted_; }
    int barCount() const { return barCount_; }
    /// y of meter row i (1 = bottom), logical.
    int meterRowY(int i) const { return meterHeight_ - 26 - 3 * (i - 1); }
    /// The meter's font: Arial 16 pixels high (cell height), normal weight, no antialiasing;
    /// Liberation Sans where Arial is not installed.
    const QFont& meterFont() const { return meterFont_; }
    /// "Arial" when installed, else its metric twin "Liberation Sans".
    static QString arialFamily();

private:
    void drawMeterRows(double lit);

    QImage graph_;
    QImage meter_;
    QFont meterFont_;
    QFont deviceFont_; ///< the meter font at the device's resolution
    qreal ratio_ = 1;
    int gridLine_ = 1;
    int traceLine_ = 1;
    int meterHeight_ = 0;
    qint64 scrolled_ = 0;       ///< logical pixels scrolled so far
    qint64 deviceScrolled_ = 0; ///< device pixels scrolled so far
    int graphWidth_ = 0;
    int graphHeight_ = 0;
    int lastGridX_ = 0;
    int lastPlotted_ = 0;
    int barCount_ = 0;
};

#include "shell/ToolbarIcons.h"

#include <QList>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kSize = kToolbarIconSize;

/// The icons' colours for a palette: ink from its button text, the rest chosen to stand out on
/// its button face.
struct Colours {
    QColor ink;    // letters and outlines
    QColor arrow;  // traffic arrows
    QColor ice;    // snowflake
    QColor title;  // front window's title bar
    QColor paper;  // window and lens
    QColor back;   // window behind
    QColor lens;   // letters inside the white lens
    QColor handle; // magnifier's handle

    explicit Colours(const QPalette& palette) {
        const bool dark = palette.color(QPalette::Button).lightness() < 128;
        ink = palette.color(QPalette::ButtonText);
        arrow = dark ? QColor(96, 208, 96) : QColor(0, 128, 0);
        ice = dark ? QColor(110, 180, 255) : QColor(0, 120, 215);
        title = QColor(0, 0, 160);
        paper = QColor(255, 255, 255);
        back = dark ? QColor(150, 150, 150) : QColor(192, 192, 192);
        lens = QColor(0, 0, 128);
        handle = dark ? QColor(200, 140, 80) : QColor(96, 48, 0);
    }
};

/// Draws in the icon's 16 × 16 logical pixels. At ratio 1 every shape is set pixel by pixel
/// (no antialiasing); above it the same shapes are drawn smooth at the image's own resolution:
/// cells filled one after another in one colour are joined into one outline first, so no seams
/// show between them, and lines run through the middle of their pixels. Everything is drawn in
/// the order given.
class Canvas final {
public:
    Canvas(QImage& image, bool smooth) : painter_(&image), smooth_(smooth) {
        painter_.setRenderHint(QPainter::Antialiasing, smooth);
    }
    ~Canvas() { flush(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    /// Fills whole pixels.
    void fill(int x, int y, int w, int h, const QColor& colour) {
        if (!smooth_) {
            painter_.fillRect(x, y, w, h, colour);
            return;
        }
        if (cells_.isEmpty() || cells_.last().first != colour.rgba())
            cells_.append({colour.rgba(), QPainterPath()});
        cells_.last().second.addRect(x, y, w, h);
    }
    /// Shapes drawn with pens and brushes, in pixel coordinates as at ratio 1.
    QPainter& shapes() {
        flush();
        if (smooth_ && !centred_) {
            painter_.translate(0.5, 0.5);
            centred_ = true;
        }
        return painter_;
    }

private:
    void flush() {
        if (centred_) {
            painter_.translate(-0.5, -0.5);
            centred_ = false;
        }
        for (const auto& [rgba, outline] : cells_)
            painter_.fillPath(outline.simplified(), QColor::fromRgba(rgba));
        cells_.clear();
    }

    QPainter painter_;
    bool smooth_;
    bool centred_ = false;
    QList<QPair<QRgb, QPainterPath>> cells_;
};

/// 3 × 5 letters (1 × 5 for I, 5 × 5 for M), '#' set.
const char* const* glyph(char c, int* width) {
    static const char* const T[] = {"###", ".#.", ".#.", ".#.", ".#."};
    static const char* const C[] = {".##", "#..", "#..", "#..", ".##"};
    static const char* const P[] = {"##.", "#.#", "##.", "#..", "#.."};
    static const char* const U[] = {"#.#", "#.#", "#.#", "#.#", "###"};
    static const char* const D[] = {"##.", "#.#", "#.#", "#.#", "##."};
    static const char* const I[] = {"#", "#", "#", "#", "#"};
    static const char* const M[] = {"#...#", "##.##", "#.#.#", "#...#", "#...#"};
    *width = c == 'M' ? 5 : c == 'I' ? 1 : 3;
    switch (c) {
    case 'T':
        return T;
    case 'C':
        return C;
    case 'P':
        return P;
    case 'U':
        return U;
    case 'D':
        return D;
    case 'I':
        return I;
    default:
        return M;
    }
}

/// A word centred in the icon's width, one blank column between letters.
void drawWord(Canvas& c, const char* word, int top, const QColor& ink) {
    int total = 0;
    for (const char* ch = word; *ch != 0; ++ch) {
        int w = 0;
        glyph(*ch, &w);
        total += w + 1;
    }
    int x = (kSize - (total - 1)) / 2;
    for (const char* ch = word; *ch != 0; ++ch) {
        int w = 0;
        const char* const* rows = glyph(*ch, &w);
        for (int r = 0; r < 5; ++r)
            for (int k = 0; k < w; ++k)
                if (rows[r][k] == '#')
                    c.fill(x + k, top + r, 1, 1, ink);
        x += w + 1;
    }
}

/// Two arrows, one each way: the traffic of the protocol named above them.
void drawArrows(Canvas& c, const QColor& arrow) {
    c.fill(2, 9, 11, 1, arrow); // → on row 9
    c.fill(11, 8, 1, 3, arrow);
    c.fill(10, 7, 1, 5, arrow);
    c.fill(3, 13, 11, 1, arrow); // ← on row 13
    c.fill(4, 12, 1, 3, arrow);
    c.fill(5, 11, 1, 5, arrow);
}

void drawSnowflake(Canvas& c, const Colours& k) {
    QPainter& p = c.shapes();
    p.setPen(k.ice);
    p.drawLine(7, 1, 7, 13);
    p.drawLine(1, 7, 13, 7);
    p.drawLine(3, 3, 11, 11);
    p.drawLine(11, 3, 3, 11);
    // Little branches at the ends of the upright arms.
    p.drawLine(6, 2, 8, 2);
    p.drawLine(6, 12, 8, 12);
    p.drawLine(2, 6, 2, 8);
    p.drawLine(12, 6, 12, 8);
}

void drawWindowsStack(Canvas& c, const Colours& k) {
    // The window behind.
    c.fill(1, 5, 9, 9, k.back);
    c.shapes().setPen(k.ink);
    c.shapes().setBrush(Qt::NoBrush);
    c.shapes().drawRect(1, 5, 9, 9);
    // The window in front, with its title bar.
    c.fill(5, 1, 10, 10, k.paper);
    c.fill(5, 1, 10, 3, k.title);
    c.shapes().drawRect(5, 1, 10, 10);
}

void drawMagnifier(Canvas& c, const Colours& k) {
    {
        QPainter& p = c.shapes();
        p.setPen(k.ink);
        p.setBrush(k.paper);
        p.drawEllipse(1, 1, 9, 9);
        p.setBrush(Qt::NoBrush);
    }
    // "IP" inside the lens.
    c.fill(4, 3, 1, 5, k.lens);
    c.fill(6, 3, 1, 5, k.lens);
    c.fill(7, 3, 1, 1, k.lens);
    c.fill(8, 4, 1, 1, k.lens);
    c.fill(7, 5, 1, 1, k.lens);
    QPainter& p = c.shapes();
    p.setPen(QPen(k.handle, 2));
    p.drawLine(10, 10, 14, 14);
}
} // namespace

QImage toolbarIcon(int index, const QPalette& palette, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const int pixels = qRound(kSize * ratio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    const Colours colours(palette);
    {
        Canvas canvas(image, ratio != 1);
        switch (index) {
        case 0:
            drawWord(canvas, "TCP", 1, colours.ink);
            drawArrows(canvas, colours.arrow);
            break;
        case 1:
            drawWord(canvas, "UDP", 1, colours.ink);
            drawArrows(canvas, colours.arrow);
            break;
        case 2:
            drawWord(canvas, "ICMP", 1, colours.ink);
            drawArrows(canvas, colours.arrow);
            break;
        case 3:
            drawSnowflake(canvas, colours);
            break;
        case 4:
            drawWindowsStack(canvas, colours);
            break;
        case 5:
            drawMagnifier(canvas, colours);
            break;
        default:
            break;
        }
    }
    return image;
}

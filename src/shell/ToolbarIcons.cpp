#include "shell/ToolbarIcons.h"

#include <QPainter>

namespace {
constexpr int kSize = 16;

const QColor kInk(0, 0, 128);    // letters
const QColor kArrow(0, 128, 0);  // traffic arrows
const QColor kIce(0, 120, 215);  // snowflake
const QColor kFrame(64, 64, 64); // window outlines
const QColor kTitle(0, 0, 160);  // front window's title bar
const QColor kPaper(255, 255, 255);
const QColor kBack(192, 192, 192);
const QColor kHandle(96, 48, 0);

/// 3 × 5 letters (5 × 5 for M), '#' set.
const char* const* glyph(char c, int* width) {
    static const char* const T[] = {"###", ".#.", ".#.", ".#.", ".#."};
    static const char* const C[] = {".##", "#..", "#..", "#..", ".##"};
    static const char* const P[] = {"##.", "#.#", "##.", "#..", "#.."};
    static const char* const U[] = {"#.#", "#.#", "#.#", "#.#", "###"};
    static const char* const D[] = {"##.", "#.#", "#.#", "#.#", "##."};
    static const char* const I[] = {"###", ".#.", ".#.", ".#.", "###"};
    static const char* const M[] = {"#...#", "##.##", "#.#.#", "#...#", "#...#"};
    *width = c == 'M' ? 5 : 3;
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

void drawWord(QPainter& p, const char* word, int top) {
    int total = 0;
    for (const char* c = word; *c != 0; ++c) {
        int w = 0;
        glyph(*c, &w);
        total += w + 1;
    }
    int x = (kSize - (total - 1)) / 2;
    for (const char* c = word; *c != 0; ++c) {
        int w = 0;
        const char* const* rows = glyph(*c, &w);
        for (int r = 0; r < 5; ++r)
            for (int k = 0; k < w; ++k)
                if (rows[r][k] == '#')
                    p.fillRect(x + k, top + r, 1, 1, kInk);
        x += w + 1;
    }
}

/// Two arrows, one each way: the traffic of the protocol named above them.
void drawArrows(QPainter& p) {
    p.fillRect(2, 9, 11, 1, kArrow); // → on row 9
    p.fillRect(11, 8, 1, 3, kArrow);
    p.fillRect(10, 7, 1, 5, kArrow);
    p.fillRect(3, 13, 11, 1, kArrow); // ← on row 13
    p.fillRect(4, 12, 1, 3, kArrow);
    p.fillRect(5, 11, 1, 5, kArrow);
}

void drawSnowflake(QPainter& p) {
    p.setPen(kIce);
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

void drawWindowsStack(QPainter& p) {
    // The window behind.
    p.fillRect(1, 5, 9, 9, kBack);
    p.setPen(kFrame);
    p.drawRect(1, 5, 9, 9);
    // The window in front, with its title bar.
    p.fillRect(5, 1, 10, 10, kPaper);
    p.fillRect(5, 1, 10, 3, kTitle);
    p.drawRect(5, 1, 10, 10);
}

void drawMagnifier(QPainter& p) {
    p.setPen(kInk);
    p.setBrush(kPaper);
    p.drawEllipse(1, 1, 9, 9);
    p.setBrush(Qt::NoBrush);
    // "IP" inside the lens.
    p.fillRect(4, 3, 1, 5, kInk);
    p.fillRect(6, 3, 1, 5, kInk);
    p.fillRect(7, 3, 1, 1, kInk);
    p.fillRect(8, 4, 1, 1, kInk);
    p.fillRect(7, 5, 1, 1, kInk);
    p.setPen(QPen(kHandle, 2));
    p.drawLine(10, 10, 14, 14);
}
} // namespace

QImage toolbarIcon(int index) {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (index) {
    case 0:
        drawWord(p, "TCP", 1);
        drawArrows(p);
        break;
    case 1:
        drawWord(p, "UDP", 1);
        drawArrows(p);
        break;
    case 2:
        drawWord(p, "ICMP", 1);
        drawArrows(p);
        break;
    case 3:
        drawSnowflake(p);
        break;
    case 4:
        drawWindowsStack(p);
        break;
    case 5:
        drawMagnifier(p);
        break;
    default:
        break;
    }
    return image;
}

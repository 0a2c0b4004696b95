#include "shell/ProgramPicture.h"

#include <QPainter>
#include <QPolygon>

namespace ProgramPicture {

QImage picture() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    // The panel with a one-pixel frame.
    p.setPen(Qt::NoPen);
    p.setBrush(frameColour());
    p.drawRect(0, 0, kSize, kSize);
    p.setBrush(panelColour());
    p.drawRect(2, 2, kSize - 4, kSize - 4);

    // The columns, standing on the baseline.
    p.setBrush(columnColour());
    QPolygon wave;
    for (int i = 0; i < kColumns; ++i) {
        const int x = kFirstColumnX + i * kColumnStep;
        const int h = kColumnHeights[i];
        p.drawRect(x, kBaselineY - h, kColumnWidth, h);
        wave << QPoint(x + kColumnWidth / 2, kBaselineY - h - 4);
    }

    // The wave over the columns' tops and the baseline under them.
    p.setPen(QPen(baselineColour(), 1));
    p.drawPolyline(wave);
    p.drawLine(kFirstColumnX - 2, kBaselineY, kFirstColumnX + kColumns * kColumnStep, kBaselineY);
    return image;
}

} // namespace ProgramPicture

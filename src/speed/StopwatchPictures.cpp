#include "speed/StopwatchPictures.h"

#include <QPainter>
#include <QPolygon>

#include <cmath>
#include <numbers>

namespace StopwatchPictures {

QImage picture(int index) {
    index %= 12;
    if (index <= 0)
        index += 12;
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    // Crown and the two side buttons.
    p.setPen(Qt::NoPen);
    p.setBrush(rimColour());
    p.drawRect(kCentreX - 2, 0, 5, 3);
    p.drawRect(kCentreX - 1, 3, 3, 2);
    p.drawRect(kCentreX - 11, 4, 3, 3);
    p.drawRect(kCentreX + 9, 4, 3, 3);

    // Rim and face.
    p.drawEllipse(QPoint(kCentreX, kCentreY), kFaceRadius + 2, kFaceRadius + 2);
    p.setBrush(faceColour());
    p.drawEllipse(QPoint(kCentreX, kCentreY), kFaceRadius, kFaceRadius);

    // The sector swept so far: from twelve o'clock clockwise to the hand.
    const QRect faceRect(kCentreX - kFaceRadius + 2, kCentreY - kFaceRadius + 2,
                         2 * kFaceRadius - 3, 2 * kFaceRadius - 3);
    p.setBrush(sectorColour());
    if (index == 12)
        p.drawEllipse(faceRect);
    else
        p.drawPie(faceRect, 90 * 16, -index * 30 * 16);

    // The hand, two pixels wide, from the centre to near the rim.
    const double angle = double(index) * 30.0 * std::numbers::pi / 180.0;
    const double length = kFaceRadius - 2;
    const QPoint tip(kCentreX + int(std::lround(std::sin(angle) * length)),
                     kCentreY - int(std::lround(std::cos(angle) * length)));
    QPen hand(handColour());
    hand.setWidth(2);
    hand.setCapStyle(Qt::FlatCap);
    p.setPen(hand);
    p.drawLine(QPoint(kCentreX, kCentreY), tip);
    p.setPen(Qt::NoPen);
    p.setBrush(rimColour());
    p.drawRect(kCentreX - 1, kCentreY - 1, 2, 2);
    return image;
}

} // namespace StopwatchPictures

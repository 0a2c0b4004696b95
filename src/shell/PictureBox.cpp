#include "shell/PictureBox.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

PictureBox::PictureBox(int border, QWidget* parent) : QFrame(parent) {
    if (border > 0) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(border);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setImage(const QImage* image) {
    image_ = image;
    update();
}

void PictureBox::refresh() {
    if (image_ != nullptr && image_->cacheKey() != paintedKey_)
        update(contentsRect());
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect inside = contentsRect();
    paintedKey_ = image_ != nullptr ? image_->cacheKey() : 0;
    // The image carries its device pixel ratio: its device pixels go 1:1 to the screen's.
    const QSizeF shown = image_ != nullptr ? image_->deviceIndependentSize() : QSizeF();
    if (image_ == nullptr || shown.width() < inside.width() || shown.height() < inside.height())
        p.fillRect(rect().intersected(event->rect()), Qt::black);
    if (image_ != nullptr) {
        const qreal ratio = image_->devicePixelRatio();
        const QRectF part(0, 0, std::min(qreal(inside.width()), shown.width()) * ratio,
                          std::min(qreal(inside.height()), shown.height()) * ratio);
        p.drawImage(QRectF(QPointF(inside.topLeft()), part.size() / ratio), *image_, part);
    }
    p.end();
    if (!inside.contains(event->rect()))
        QFrame::paintEvent(event); // the border
}

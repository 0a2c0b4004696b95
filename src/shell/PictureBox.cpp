#include "shell/PictureBox.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

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
    if (image_ == nullptr || image_->width() < inside.width() || image_->height() < inside.height())
        p.fillRect(rect().intersected(event->rect()), Qt::black);
    if (image_ != nullptr)
        p.drawImage(inside.topLeft(), *image_, QRect(QPoint(0, 0), inside.size()));
    p.end();
    if (!inside.contains(event->rect()))
        QFrame::paintEvent(event); // the border
}

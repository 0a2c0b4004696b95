#include "shell/CaptureLossView.h"

#include "capture/CaptureLoss.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

namespace {
// Inside the status frame: the usage labels' top and height (120 and 255 twips).
constexpr int kLeft = 6;
constexpr int kTop = 8;
constexpr int kHeight = 17;
} // namespace

CaptureLossView::CaptureLossView(QWidget* statusFrame) : QWidget(statusFrame) {
    setObjectName(QStringLiteral("captureLossRow"));
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("lblCaptureLoss"));
    label_->hide();
    const int width = statusFrame != nullptr ? statusFrame->width() - 2 * kLeft : 0;
    setGeometry(kLeft, kTop, std::max(width, 0), kHeight);
}

void CaptureLossView::setCount(quint64 runCount) {
    loss_ = CaptureLoss::statusText(runCount);
    refresh();
}

void CaptureLossView::setMonitoringStatus(const QString& status) {
    status_ = status;
    refresh();
}

void CaptureLossView::refresh() {
    QString text = status_;
    if (!loss_.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("   ")) + loss_;
    if (label_->text() != text)
        label_->setText(text);
    label_->setVisible(!text.isEmpty());
    fit();
}

void CaptureLossView::fit() {
    // A count too long for the narrow tab is drawn smaller rather than cut off.
    QFont font = this->font();
    const int width = label_->width();
    while (font.pointSizeF() > 5 && QFontMetrics(font).horizontalAdvance(label_->text()) > width)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (label_->font() != font)
        label_->setFont(font);
}

void CaptureLossView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    label_->setGeometry(rect());
    fit();
}

#include "shell/frmTooltip.h"

#include "platform/CursorImage.h"

#include <QLabel>
#include <QToolTip>

frmTooltip::frmTooltip(CursorSource& cursor, QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus),
      cursor_(cursor), label_(new QLabel(this)) {
    setObjectName(QStringLiteral("frmTooltip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setForegroundRole(QPalette::ToolTipText);
    label_->setMargin(0);
    label_->setIndent(0);
    label_->setTextFormat(Qt::PlainText);
}

void frmTooltip::ShowTooltip(const QString& text) {
    const int frame = 2 * frameWidth(); // outer minus inner size, each direction
    label_->setText(text);
    label_->adjustSize();
    label_->move(frameWidth() + kHorizontalMargin, frameWidth() + kVerticalMargin);
    setFixedSize(2 * kHorizontalMargin + label_->width() + frame,
                 2 * kVerticalMargin + label_->height() + frame);
    const CursorRect r = getCursorRect(cursor_);
    move(r.left, r.bottom);
    show();
    raise(); // back on top of whatever came up since, without taking the focus
}

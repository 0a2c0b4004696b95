#include "platform/gui/QtTrayIcon.h"

#include "platform/DBusNotifications.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {
// An arrow pointing down (download) or up (upload) in a 32 x 32 picture.
void drawArrow(QPainter& p, qreal centreX, bool down, const QColor& fill) {
    QPainterPath path;
    const qreal w = 6, head = 12, top = 4, bottom = 28;
    if (down) {
        path.moveTo(centreX - w / 2, top);
        path.lineTo(centreX + w / 2, top);
        path.lineTo(centreX + w / 2, bottom - head);
        path.lineTo(centreX + head / 2 + 1, bottom - head);
        path.lineTo(centreX, bottom);
        path.lineTo(centreX - head / 2 - 1, bottom - head);
        path.lineTo(centreX - w / 2, bottom - head);
    } else {
        path.moveTo(centreX - w / 2, bottom);
        path.lineTo(centreX + w / 2, bottom);
        path.lineTo(centreX + w / 2, top + head);
        path.lineTo(centreX + head / 2 + 1, top + head);
        path.lineTo(centreX, top);
        path.lineTo(centreX - head / 2 - 1, top + head);
        path.lineTo(centreX - w / 2, top + head);
    }
    path.closeSubpath();
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    p.setBrush(fill);
    p.drawPath(path);
}

QIcon draw(int index) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor idle(150, 150, 150);
    const bool down = index == 2 || index == 4;
    const bool up = index == 3 || index == 4;
    drawArrow(p, 9, true, down ? QColor(40, 190, 60) : idle);
    drawArrow(p, 23, false, up ? QColor(230, 120, 30) : idle);
    if (index == 5) {
        p.setPen(QPen(QColor(210, 30, 30), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(6, 6, 26, 26);
        p.drawLine(26, 6, 6, 26);
    }
    p.end();
    return QIcon(pixmap);
}

QString shownTip(const QString& tip) {
    QString text = tip.left(TrayIcon::kTipLimit);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}
} // namespace

QIcon QtTrayIcon::picture(int index) {
    static const std::array<QIcon, 5> pictures{draw(1), draw(2), draw(3), draw(4), draw(5)};
    if (index < 1 || index > 5)
        return {};
    return pictures[std::size_t(index - 1)];
}

namespace {
/// How long a balloon stays up.
constexpr int kBalloonMs = 10000;
} // namespace

QtTrayIcon::QtTrayIcon(QObject* parent)
    : QObject(parent), notifications_(std::make_unique<DBusNotifications>()) {}

QtTrayIcon::~QtTrayIcon() = default;

bool QtTrayIcon::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayIcon::add(int picture, const QString& tip) {
    if (icon_)
        return;
    icon_ = std::make_unique<QSystemTrayIcon>();
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (!handler_)
                    return;
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    handler_(traymsg::LeftButtonUp);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    handler_(traymsg::LeftDoubleClick);
                    break;
                case QSystemTrayIcon::Context:
                    handler_(traymsg::RightButtonUp);
                    break;
                default:
                    break;
                }
            });
    apply(picture, tip);
    icon_->show();
}

void QtTrayIcon::modify(int picture, const QString& tip) {
    if (icon_)
        apply(picture, tip);
}

void QtTrayIcon::apply(int picture, const QString& tip) {
    icon_->setIcon(QtTrayIcon::picture(picture));
    icon_->setToolTip(shownTip(tip));
}

void QtTrayIcon::showBalloon(const QString& text, const QString& title, int icon) {
    // Without a notification area there is nowhere to anchor a balloon: it is dropped.
    if (!icon_ || !isAvailable())
        return;
    QSystemTrayIcon::MessageIcon kind = QSystemTrayIcon::NoIcon;
    switch (icon) {
    case 1:
        kind = QSystemTrayIcon::Information;
        break;
    case 2:
        kind = QSystemTrayIcon::Warning;
        break;
    case 3:
        kind = QSystemTrayIcon::Critical;
        break;
    default:
        break;
    }
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A new message replaces the one showing. Qt would send each message to a desktop
    // notification service as a new one (errors at critical urgency, kept until dismissed).
    if (notifications_->isAvailable()) {
        notifications_->show(title, shown.trimmed(), icon, kBalloonMs);
        return;
    }
    icon_->showMessage(title, shown.trimmed(), kind, kBalloonMs);
}

void QtTrayIcon::hideBalloon() {
    // Qt takes its own showing message down before it shows the next one (an explicit empty
    // message would appear as an empty notification). One on the notification service is
    // closed.
    notifications_->close();
}

void QtTrayIcon::remove() {
    if (icon_) {
        icon_->hide();
        icon_.reset();
    }
}

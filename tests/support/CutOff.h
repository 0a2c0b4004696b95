#pragma once

// Finds texts that do not fit: every label, button, check box, radio button and group-box
// title shown in a window is measured with its own font and style, and must fit inside the
// control and inside every parent that clips it. Header only: link Qt6::Widgets to use it.
//
//   const QStringList cut = cutOffTexts(window);
//   EXPECT_TRUE(cut.isEmpty()) << cut.join('\n').toStdString();

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QToolButton>
#include <QWidget>

namespace cutoff_detail {

/// What a control shows of its parents: its rectangle cut by every ancestor up to top, in
/// top's coordinates.
inline QRect visibleRect(const QWidget& w, const QWidget& top) {
    QRect visible(w.mapTo(&top, QPoint(0, 0)), w.size());
    for (const QWidget* p = w.parentWidget(); p != nullptr && p != &top; p = p->parentWidget())
        visible &= QRect(p->mapTo(&top, QPoint(0, 0)), p->size());
    return visible & top.rect();
}

/// A mnemonic's '&' takes no room.
inline QString shownText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

inline QString describe(const QWidget& w, const QString& text, QSize needed, QRect has) {
    return QStringLiteral("%1 (%2) \"%3\" needs %4x%5, has %6x%7 at %8,%9")
        .arg(w.objectName(), QString::fromLatin1(w.metaObject()->className()), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(has.width())
        .arg(has.height())
        .arg(has.x())
        .arg(has.y());
}

/// Checks that a text of size `needed`, aligned in `area` (the control's coordinates), lies in
/// the area and in what the parents show of the control.
inline void check(const QWidget& w, const QWidget& top, const QString& text, QSize needed,
                  QRect area, Qt::Alignment alignment, QStringList& out) {
    const QRect at = QStyle::alignedRect(w.layoutDirection(), alignment, needed, area);
    const QRect inTop(w.mapTo(&top, at.topLeft()), at.size());
    if (needed.width() > area.width() || needed.height() > area.height() ||
        !visibleRect(w, top).contains(inTop))
        out << describe(w, text, needed, QRect(w.mapTo(&top, area.topLeft()), area.size()));
}

} // namespace cutoff_detail

/// The texts of `top` and its shown descendants that need more room than they have; empty
/// when everything fits. The window need not be on the screen.
inline QStringList cutOffTexts(const QWidget& top) {
    using namespace cutoff_detail;
    QStringList out;
    QList<QWidget*> widgets = top.findChildren<QWidget*>();
    widgets.prepend(const_cast<QWidget*>(&top));
    for (QWidget* w : widgets) {
        if (w != &top && (!w->isVisibleTo(&top) || w->isWindow()))
            continue;
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const QString text = label->text();
            if (text.isEmpty() || Qt::mightBeRichText(text))
                continue;
            QRect area = label->contentsRect();
            const int m = label->margin() + std::max(label->indent(), 0);
            area.adjust(m, m, -m, -m);
            QSize needed;
            if (label->wordWrap())
                needed =
                    QSize(std::min(fm.horizontalAdvance(text), area.width()),
                          fm.boundingRect(QRect(0, 0, area.width(), 10000), Qt::TextWordWrap, text)
                              .height());
            else
                needed = fm.size(Qt::TextShowMnemonic, text);
            check(*label, top, text, needed, area, label->alignment(), out);
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            if (box->title().isEmpty())
                continue;
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            if (box->isCheckable())
                option.subControls |= QStyle::SC_GroupBoxCheckBox;
            const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                             QStyle::SC_GroupBoxLabel, box);
            const QSize needed = fm.size(Qt::TextShowMnemonic, box->title());
            // The title needs its text's room inside the box.
            const QRect area = label.intersected(box->rect());
            check(
                *box, top, box->title(), needed,
                QRect(area.topLeft(), QSize(std::max(area.width(), 0), std::max(area.height(), 0))),
                Qt::AlignLeft | Qt::AlignVCenter, out);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const QString text = shownText(button->text());
            if (text.isEmpty())
                continue;
            if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
                // Indicator, spacing and text: the size hint has no minimum of its own.
                const QSize needed = button->sizeHint();
                check(*button, top, text, needed, button->rect(), Qt::AlignLeft | Qt::AlignVCenter,
                      out);
            } else {
                const QStyle* s = button->style();
                const int pad = 2 * (s->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                                     s->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
                const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
                const QSize needed(fm.horizontalAdvance(text) + pad + icon, fm.height());
                check(*button, top, text, needed, button->rect(), Qt::AlignCenter, out);
            }
        }
    }
    return out;
}

#include "shell/StatsPanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    return label;
}
} // namespace

StatsPanel::StatsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatsPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 2); // "Reset Statistics" close above the speed frames
    grid->setVerticalSpacing(2);

    static const char* const kRowNames[] = {"Received", "Sent", "Passthru", "Total"};
    static const char* const kRowCaptions[] = {"Download", "Upload", "Pass-by", "Total"};
    static const char* const kColumnSuffix[] = {"", "D", "H"};
    static const char* const kColumnCaptions[] = {"Transfer", "Data", "Headers"};

    for (int c = 0; c < TrafficCounters::kColumns; ++c)
        grid->addWidget(makeLabel(this, QStringLiteral("lblColumn%1").arg(kColumnCaptions[c]),
                                  QString::fromLatin1(kColumnCaptions[c]),
                                  Qt::AlignRight | Qt::AlignVCenter),
                        0, c + 1);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    for (int r = 0; r < TrafficCounters::kRows; ++r) {
        grid->addWidget(makeLabel(this, QStringLiteral("lblRow%1").arg(kRowNames[r]),
                                  QString::fromLatin1(kRowCaptions[r])),
                        r + 1, 0);
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            const QString name = QStringLiteral("lbl%1%2").arg(kRowNames[r], kColumnSuffix[c]);
            counters_[r][c] = makeLabel(this, name, QStringLiteral("0 B"), right);
            grid->addWidget(counters_[r][c], r + 1, c + 1);
        }
    }

    Label5_ = makeLabel(this, QStringLiteral("Label5"), QStringLiteral("Packets: "));
    lblPackets_ = makeLabel(this, QStringLiteral("lblPackets"), QStringLiteral("0"));
    Label3_ = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Duration:"));
    lblDuration_ = makeLabel(this, QStringLiteral("lblDuration"), QStringLiteral("00:00:00"));
    Label9_ = makeLabel(this, QStringLiteral("Label9"), QStringLiteral("Avg speed:"));
    lblAvgSpeed_ = makeLabel(this, QStringLiteral("lblAvgSpeed"), QString());
    grid->addWidget(Label5_, 5, 0);
    grid->addWidget(lblPackets_, 5, 1);
    grid->addWidget(Label3_, 6, 0);
    grid->addWidget(lblDuration_, 6, 1, 1, 2);
    grid->addWidget(Label9_, 7, 0);
    grid->addWidget(lblAvgSpeed_, 7, 1, 1, 2);

    cmdReset_ = new QPushButton(QStringLiteral("Reset Statistics"), this);
    cmdReset_->setObjectName(QStringLiteral("cmdReset"));
    grid->addWidget(cmdReset_, 8, 0, 1, 4);
    connect(cmdReset_, &QPushButton::clicked, this, &StatsPanel::resetClicked);
}

void StatsPanel::placeFooter(QWidget* area, int top) {
    if (area == nullptr)
        return;
    footerArea_ = area;
    const int rowHeight = 15;
    QLabel* const footer[] = {Label5_, lblPackets_, Label3_, lblDuration_, Label9_, lblAvgSpeed_};
    for (QLabel* label : footer) {
        layout()->removeWidget(label);
        label->setParent(area);
        label->show();
    }
    Label5_->setGeometry(6, top, 1, rowHeight);
    lblPackets_->setGeometry(70, top, 1, rowHeight);
    Label3_->setGeometry(6, top + rowHeight, 1, rowHeight);
    lblDuration_->setGeometry(70, top + rowHeight, 1, rowHeight);
    // The average speed takes the place of the packet count (shown on another tab).
    Label9_->setGeometry(Label5_->x(), Label5_->y(), 1, Label5_->height());
    lblAvgSpeed_->setGeometry(0, lblPackets_->y(), 1, lblPackets_->height());
    area->installEventFilter(this);
    fitFooter();
}

void StatsPanel::fitFooter() {
    if (footerArea_ == nullptr)
        return;
    for (QLabel* caption : {Label5_, Label3_, Label9_})
        caption->resize(caption->sizeHint().width(), caption->height());
    // The values share one column right of the widest caption, at least where they were.
    const int valueLeft =
        std::max({lblPackets_->x(), Label5_->geometry().right() + 1 + 8,
                  Label3_->geometry().right() + 1 + 8, Label9_->geometry().right() + 1 + 8});
    lblPackets_->move(valueLeft, lblPackets_->y());
    lblDuration_->move(valueLeft, lblDuration_->y());
    lblAvgSpeed_->move(valueLeft, lblAvgSpeed_->y());
    for (QLabel* value : {lblPackets_, lblDuration_, lblAvgSpeed_})
        value->resize(std::max(value->sizeHint().width(), footerArea_->width() - value->x()),
                      value->height());
}

bool StatsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == footerArea_ &&
        (event->type() == QEvent::Resize || event->type() == QEvent::FontChange ||
         event->type() == QEvent::StyleChange))
        fitFooter();
    return QWidget::eventFilter(watched, event);
}

void StatsPanel::setCounterText(TrafficCounters::Row row, TrafficCounters::Column column,
                                const QString& text) {
    QLabel* label = counters_[row][column];
    if (label->text() != text)
        label->setText(text);
}

void StatsPanel::setFooterValue(QLabel* value, const QString& text) {
    if (value->text() == text)
        return;
    const bool longer = text.size() > value->text().size();
    value->setText(text);
    // The captions and the column stay where fitFooter put them. A value reaches to the area's
    // edge; it is measured again only when its text grew (measuring every label at every
    // refresh costs more than drawing them).
    if (footerArea_ != nullptr && longer && value->sizeHint().width() > value->width())
        value->resize(value->sizeHint().width(), value->height());
}

void StatsPanel::setPacketsText(const QString& text) {
    setFooterValue(lblPackets_, text);
}

void StatsPanel::setDurationText(const QString& text) {
    setFooterValue(lblDuration_, text);
}

void StatsPanel::setAvgSpeedText(const QString& text) {
    setFooterValue(lblAvgSpeed_, text);
}

#include "shell/UsageChartWindow.h"

#include "shell/WindowPlacement.h"
#include "usage/UsageChartFeed.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

/// Paints the chart at its own size and gives the tooltip of the bar under the pointer.
class ChartPicture final : public QWidget {
public:
    ChartPicture(const UsageChart& chart, QWidget* parent) : QWidget(parent), chart_(chart) {
        setMinimumSize(360, 200);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(QPoint(0, 0), chart_.render(size(), devicePixelRatioF(), palette(), font()));
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            const QString tip = chart_.tooltip(chart_.barAt(help->pos(), size(), font()));
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
        return QWidget::event(e);
    }

private:
    const UsageChart& chart_;
};

} // namespace

UsageChartWindow::UsageChartWindow(DailyUsage& daily, QSize* size, QWidget* parent)
    : QWidget(parent, Qt::Window), feed_(std::make_unique<UsageChartFeed>(daily)), size_(size) {
    setObjectName(QStringLiteral("frmUsageChart"));
    setWindowTitle(QStringLiteral("Usage chart"));

    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    lblChartTitle = new QLabel(this);
    lblChartTitle->setObjectName(QStringLiteral("lblChartTitle"));
    QFont bold = lblChartTitle->font();
    bold.setBold(true);
    lblChartTitle->setFont(bold);
    row->addWidget(lblChartTitle, 1);
    optMonth = new QRadioButton(QStringLiteral("Month"), this);
    optMonth->setObjectName(QStringLiteral("optMonth"));
    optMonth->setChecked(true);
    optYear = new QRadioButton(QStringLiteral("Year"), this);
    optYear->setObjectName(QStringLiteral("optYear"));
    chkPassby = new QCheckBox(QStringLiteral("Show pass-by"), this);
    chkPassby->setObjectName(QStringLiteral("chkPassby"));
    chkPassby->setChecked(true);
    row->addWidget(optMonth);
    row->addWidget(optYear);
    row->addSpacing(12);
    row->addWidget(chkPassby);
    layout->addLayout(row);
    picChart = new ChartPicture(feed_->chart(), this);
    picChart->setObjectName(QStringLiteral("picChart"));
    layout->addWidget(picChart, 1);

    connect(optYear, &QRadioButton::toggled, this, [this](bool year) {
        feed_->setView(year ? UsageChart::View::Year : UsageChart::View::Month);
        showChart();
    });
    connect(chkPassby, &QCheckBox::toggled, this, [this](bool show) {
        feed_->setShowPassby(show);
        showChart();
    });
    feed_->followListings([this] { showChart(); });
    // Today's bar follows the traffic while the window is open.
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("tmrChart"));
    timer->setInterval(10000);
    connect(timer, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    timer->start();

    resize(size_ && size_->isValid() ? *size_ : QSize(640, 380));
}

UsageChartWindow::~UsageChartWindow() = default;

void UsageChartWindow::open() {
    refresh();
    WindowPlacement::restoreAndRaise(*this);
}

void UsageChartWindow::refresh() {
    feed_->refresh();
    showChart();
}

void UsageChartWindow::showChart() {
    lblChartTitle->setText(feed_->title());
    picChart->update();
}

void UsageChartWindow::resizeEvent(QResizeEvent* event) {
    if (size_)
        *size_ = event->size();
    QWidget::resizeEvent(event);
}

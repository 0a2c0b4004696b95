#include "shell/ConnectionListView.h"

#include "connections/PacketList.h"
#include "speed/TrafficGraph.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>

ConnectionListView::ConnectionListView(PacketList& list, QWidget* page) : list_(list) {
    ConnectionModel& model = list.model();
    auto* view = new QTableView(page);
    view_ = view;
    view->setObjectName(QStringLiteral("ListView1"));
    view->setFont(listFont());
    view->setModel(&model);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setSortingEnabled(false);
    view->setCornerButtonEnabled(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setFocusPolicy(Qt::StrongFocus);

    // Report style: captions on top, one line per row, no row numbers.
    const QFontMetrics fm(view->font());
    QHeaderView* rows = view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fm.height() + 4);
    rows->setMinimumSectionSize(fm.height() + 2);
    QHeaderView* captions = view->horizontalHeader();
    captions->setFont(view->font());
    captions->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    captions->setHighlightSections(false);
    captions->setSectionsClickable(false);
    captions->setStretchLastSection(false);
    captions->setSectionResizeMode(QHeaderView::Interactive);
    // Numbers, ports and types get room for their caption and their widest usual content;
    // the two address columns share what is left of the list's width (long host names are
    // elided, the whole text is in the cell's tooltip).
    constexpr int kWidth = 425 - 8;
    constexpr int kPad = 10;
    const char* const widest[] = {"", "65535", "", "65535", "1234567890", "ICMPv6", "1234567"};
    int used = 0;
    for (int c = 0; c < ConnectionModel::ColumnCount; ++c) {
        if (c == ConnectionModel::From || c == ConnectionModel::To)
            continue;
        const QString caption = model.headerData(c, Qt::Horizontal).toString();
        const int width = std::max(fm.horizontalAdvance(caption),
                                   fm.horizontalAdvance(QString::fromLatin1(widest[c]))) +
                          kPad;
        view->setColumnWidth(c, width);
        used += width;
    }
    const int inner = kWidth - 2 * view->frameWidth() -
                      view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    const int address =
        std::max((inner - used) / 2, fm.horizontalAdvance(QStringLiteral("From")) + kPad);
    view->setColumnWidth(ConnectionModel::From, address);
    view->setColumnWidth(ConnectionModel::To, address);
    view->setTextElideMode(Qt::ElideRight);
    // One pixel short of the client area's 290 - 33: at 1.5 times the scale a list ending on an
    // even pixel row loses its bottom border to the rounding of its viewport.
    view->setGeometry(0, 3, kWidth, 290 - 34);
    // The list follows the newest row only while it is scrolled to its end: a user who scrolled
    // away reads on undisturbed until scrolling back to the end. Whether it was at its end is
    // taken just before a batch's rows come (or the rows are replaced), which moves the end.
    const auto atEnd = [this] {
        const QScrollBar* bar = view_.isNull() ? nullptr : view_->verticalScrollBar();
        following_ = bar != nullptr && bar->value() >= bar->maximum();
    };
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, view, atEnd);
    QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, view, atEnd);
}

ConnectionListView::~ConnectionListView() {
    delete view_.data(); // before the model it shows
}

QFont ConnectionListView::listFont() {
    QFont font(TrafficGraph::arialFamily());
    font.setPointSize(8);
    return font;
}

void ConnectionListView::showLatest(int latestRow, bool rowsAdded) {
    if (latestRow < 0 || view_.isNull())
        return;
    if (!rowsAdded || !following_)
        return;
    // New rows: lay the list out now, so that the scroll range already holds them.
    view_->doItemsLayout();
    view_->scrollToBottom();
}

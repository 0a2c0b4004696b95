#include "connections/ConnectionModel.h"

#include <QColor>

namespace {
/// Above this many separate runs of removed rows one sweep resets the model instead of
/// announcing each run.
constexpr int kMaxRemovalRuns = 16;
} // namespace

ConnectionModel::ConnectionModel(ConnectionTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int ConnectionModel::flush() {
    const int size = table_.size();
    const ConnectionTable::Changes changes = table_.takeChanges();
    if (size > shown_) {
        beginInsertRows(QModelIndex(), shown_, size - 1);
        shown_ = size;
        endInsertRows();
    } else if (size < shown_) {
        // Rows only go through the sweep and the reset below; keep the views consistent anyway.
        beginResetModel();
        shown_ = size;
        endResetModel();
        return changes.lastTouched < size ? changes.lastTouched : -1;
    }
    if (changes.firstChanged >= 0 && changes.firstChanged < shown_) {
        const int last = std::min(changes.lastChanged, shown_ - 1);
        emit dataChanged(index(changes.firstChanged, Data), index(last, Packets));
    }
    return changes.lastTouched;
}

void ConnectionModel::ScavengeList() {
    flush();
    const int marked = table_.markOverdue();
    const ConnectionTable::Changes changes = table_.takeChanges();
    if (changes.firstChanged >= 0)
        emit dataChanged(index(changes.firstChanged, Data), index(changes.lastChanged, Data),
                         {Qt::ForegroundRole});
    if (marked == 0)
        return;
    int runs = 0;
    table_.forEachMarkedRun([&runs](int, int) { ++runs; });
    if (runs > kMaxRemovalRuns) {
        beginResetModel();
        table_.finishRemoval();
        shown_ = table_.size();
        endResetModel();
        return;
    }
    table_.forEachMarkedRun([this](int first, int last) {
        beginRemoveRows(QModelIndex(), first, last);
        table_.eraseRows(first, last);
        shown_ = table_.size();
        endRemoveRows();
    });
    table_.finishRemoval();
}

void ConnectionModel::clear() {
    beginResetModel();
    table_.clear();
    shown_ = 0;
    endResetModel();
}

int ConnectionModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

int ConnectionModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString ConnectionModel::cellText(const ConnectionTable& table, int row, int column) {
    const ConnectionEntry& e = table.at(row);
    switch (column) {
    case From:
        return table.text(e.source());
    case SrcPort:
        return QString::number(e.srcPort);
    case To:
        return table.text(e.destination());
    case DestPort:
        return QString::number(e.destPort);
    case Data:
        return ConnectionTable::numberText(e.data);
    case Type:
        return ConnectionTable::typeName(e.pkType);
    case Packets:
        return ConnectionTable::numberText(e.packets);
    default:
        return QString();
    }
}

QVariant ConnectionModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_ || index.row() >= table_.size())
        return QVariant();
    const ConnectionEntry& e = table_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(table_, index.row(), index.column());
    case Qt::ForegroundRole:
        // Red while highlighted; otherwise the view's own text colour, light or dark.
        if (index.column() == Data && e.highlighted)
            return QColor(255, 0, 0);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant ConnectionModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case From:
        return QStringLiteral("From");
    case SrcPort:
    case DestPort:
        return QStringLiteral("Port");
    case To:
        return QStringLiteral("To");
    case Data:
        return QStringLiteral("Data (Bytes)");
    case Type:
        return QStringLiteral("Type");
    case Packets:
        return QStringLiteral("Packets");
    default:
        return QVariant();
    }
}

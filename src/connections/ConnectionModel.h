#pragma once

#include "connections/ConnectionTable.h"

#include <QAbstractTableModel>

/// The packet list as a table model over a ConnectionTable: seven columns "From", "Port",
/// "To", "Port", "Data (Bytes)", "Type", "Packets"; the data cell red while highlighted, in the
/// view's text colour otherwise (like every other cell).
///
/// Packets change the table only; flush() tells the views once per batch of frames: the new
/// rows in one insertion, the changed cells in one dataChanged. The sweep and the reset go
/// through the model so that removals are announced.
class ConnectionModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionModel)

public:
    enum Column { From, SrcPort, To, DestPort, Data, Type, Packets, ColumnCount };

    /// table must outlive the model.
    explicit ConnectionModel(ConnectionTable& table, QObject* parent = nullptr);

    ConnectionTable& table() { return table_; }

    /// Announces what changed since the last flush; returns the row of the latest packet
    /// (-1: no packet since then).
    int flush();
    /// The ageing sweep, announced to the views.
    void ScavengeList();
    /// Empties the list (the statistics reset).
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// Text of a cell as the list shows it (made here, when the cell is painted).
    static QString cellText(const ConnectionTable& table, int row, int column);

private:
    ConnectionTable& table_;
    int shown_ = 0; ///< rows the views know of
};

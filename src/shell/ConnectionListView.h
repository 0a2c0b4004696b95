#pragma once

#include <QFont>
#include <QPointer>
#include <QTableView>

class PacketList;
class QWidget;

/// The "Packets" tab's list ListView1 over the session's packet list.
///
/// @code
/// connectionList = std::make_unique<ConnectionListView>(session.packetList(), packetsPage);
/// connect(&session, &MonitorSession::packetListChanged, [&](int row, bool added) {
///     connectionList->showLatest(row, added);
/// });
/// @endcode
class ConnectionListView final {
    Q_DISABLE_COPY_MOVE(ConnectionListView)

public:
    /// The list becomes a child of page at (0, 3), 417 x 257 pixels, showing list's model;
    /// list must outlive this object.
    ConnectionListView(PacketList& list, QWidget* page);
    ~ConnectionListView();

    /// After a batch of frames: lays out new rows and scrolls the latest packet's row into view.
    void showLatest(int latestRow, bool rowsAdded);

    /// ListView1 (null once its page is gone).
    QTableView* view() const { return view_; }

    /// The list's font: Arial, or a metric-compatible family where Arial is missing.
    static QFont listFont();

private:
    PacketList& list_;
    QPointer<QTableView> view_;
};

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
/// New rows are followed (the list scrolls to its end) only while the list is at its end:
/// scrolling away pauses following, scrolling back to the end resumes it.
class ConnectionListView final {
    Q_DISABLE_COPY_MOVE(ConnectionListView)

public:
    /// The list becomes a child of page at (0, 3), 417 x 257 pixels, showing list's model;
    /// list must outlive this object.
    ConnectionListView(PacketList& list, QWidget* page);
    ~ConnectionListView();

    /// After a batch of frames that changed the number of rows: lays them out and, when the
    /// list was at its end before they came, keeps it there.
    void showLatest(int latestRow, bool rowsAdded);

    /// ListView1 (null once its page is gone).
    QTableView* view() const { return view_; }

    /// The list's font: Arial, or a metric-compatible family where Arial is missing.
    static QFont listFont();

private:
    PacketList& list_;
    QPointer<QTableView> view_;
    bool following_ = true; ///< the list was at its end when the batch's rows came
};

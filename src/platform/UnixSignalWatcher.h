#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread (self-pipe), so the
/// program can run its orderly shutdown instead of dying where it stands.
class UnixSignalWatcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UnixSignalWatcher)

public:
    /// Installs the handlers; only one watcher may exist at a time.
    explicit UnixSignalWatcher(QObject* parent = nullptr);
    /// Restores the previous handlers.
    ~UnixSignalWatcher() override;

    /// True when the handlers are installed.
    bool isActive() const { return active_; }

signals:
    /// A termination signal arrived (its number).
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    bool active_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

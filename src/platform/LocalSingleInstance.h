#pragma once

#include "platform/SingleInstance.h"

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

/// The single-instance rule over a per-user lock file and a per-user local socket, both named
/// with the user id: <folder>/Quelmint-<uid>.lock and <folder>/Quelmint-<uid>.socket, where the
/// folder is $XDG_RUNTIME_DIR when set, else the temporary folder.
class LocalSingleInstance final : public QObject, public SingleInstance {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalSingleInstance)

public:
    /// Message a second start sends to the first instance.
    static constexpr char kRaise[] = "raise\n";

    /// folder: where the lock and the socket live (empty: the default above).
    explicit LocalSingleInstance(const QString& folder = QString(), QObject* parent = nullptr);
    ~LocalSingleInstance() override;

    bool tryBecomePrimary() override;
    bool activatePrevious() override;
    void setRaiseHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    /// How long activatePrevious keeps trying while the first instance is still starting.
    void setHandOverTimeout(int ms) { handOverTimeoutMs_ = ms; }
    /// The lock file's path.
    QString lockFilePath() const;
    /// The local socket's path.
    QString serverPath() const;
    /// The default folder for the lock and the socket.
    static QString defaultFolder();

signals:
    /// Another start asked this (primary) instance to show its main window.
    void raiseRequested();

private:
    bool listen();
    void onNewConnection();

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    std::function<void()> handler_;
    int handOverTimeoutMs_ = 10000;
    bool primary_ = false;
};

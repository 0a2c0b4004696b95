#include "platform/LocalSingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <unistd.h>

namespace {
QString baseName() {
    return QStringLiteral("Quelmint-%1").arg(::getuid());
}
} // namespace

LocalSingleInstance::LocalSingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder.isEmpty() ? defaultFolder() : folder) {}

LocalSingleInstance::~LocalSingleInstance() {
    if (server_ != nullptr)
        server_->close();
    // The lock goes last, so a new instance never finds our socket still listening.
    lock_.reset();
}

QString LocalSingleInstance::defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime;
    return QDir::tempPath();
}

QString LocalSingleInstance::lockFilePath() const {
    return folder_ + u'/' + baseName() + QStringLiteral(".lock");
}

QString LocalSingleInstance::serverPath() const {
    return folder_ + u'/' + baseName() + QStringLiteral(".socket");
}

bool LocalSingleInstance::tryBecomePrimary() {
    if (primary_)
        return true;
    if (!lock_) {
        lock_ = std::make_unique<QLockFile>(lockFilePath());
        // Only a dead owner makes the lock stale, never its age: an instance runs for weeks.
        lock_->setStaleLockTime(0);
    }
    if (!lock_->tryLock(0))
        return false;
    primary_ = true;
    listen();
    return true;
}

bool LocalSingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &LocalSingleInstance::onNewConnection);
    if (server_->listen(serverPath()))
        return true;
    // We hold the lock, so a socket file left there belongs to a crashed instance.
    QLocalServer::removeServer(serverPath());
    return server_->listen(serverPath());
}

void LocalSingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* buffer = new QByteArray;
        auto handle = [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() > 64) {
                socket->abort(); // not one of ours
                return;
            }
            if (*buffer == kRaise) {
                buffer->clear();
                socket->disconnectFromServer();
                emit raiseRequested();
                if (handler_)
                    handler_();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        if (socket->bytesAvailable() > 0)
            handle();
    }
}

bool LocalSingleInstance::activatePrevious() {
    // The first instance may hold the lock without listening yet (it is still starting), or it
    // may be ending; keep trying for a while, and take over if it has gone.
    const QDeadlineTimer deadline(handOverTimeoutMs_);
    do {
        QLocalSocket socket;
        socket.connectToServer(serverPath());
        if (socket.waitForConnected(500)) {
            socket.write(kRaise);
            if (socket.waitForBytesWritten(1000)) {
                // Wait for the first instance to take the message and hang up.
                socket.waitForDisconnected(1000);
                return true;
            }
        }
        if (tryBecomePrimary())
            return false;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    // The lock is held by an instance that does not answer: still never a second instance.
    return true;
}

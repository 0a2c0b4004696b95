#include "platform/HelperCapture.h"

#include "platform/HelperMessages.h"
#include "platform/HelperStream.h"
#include "platform/PcapSupport.h"
#include "platform/helper/HelperOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QtDebug>


#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

namespace {

using namespace capturestream;

/// Room for what one read of the pipe brings plus the unread rest of a record.
constexpr std::size_t kReadBytes = 1024 * 1024;
constexpr std::size_t kBufferBytes = kReadBytes + kHeaderBytes + kFrameFixedBytes + kMaxCapture;
constexpr int kPipeBytes = 1024 * 1024;
qint64 monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

/// Reads exactly n bytes, waiting until the deadline; false on the end of the stream, an error
/// or the time running out (*timedOut says which).
bool readExactly(int fd, unsigned char* out, std::size_t n, qint64 deadline, bool* timedOut) {
    *timedOut = false;
    while (n > 0) {
        const ssize_t got = ::read(fd, out, n);
        if (got > 0) {
            out += got;
            n -= std::size_t(got);
            continue;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const qint64 left = deadline - monotonicMs();
        if (left <= 0) {
            *timedOut = true;
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, int(left));
    }
    return true;
}

} // namespace

/// One run of the helper: its process, the read ends of its output and error pipes, and what
/// has been read of its stream.
struct HelperCapture::Session {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<HelperStream> stream;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kBufferBytes);
    std::size_t have = 0;
    Statistics statistics;
    qint32 linkType = 0;
    int exitStatus = -1; // waitpid's status once it has been collected

    ~Session() {
        if (notifier) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater(); // may be inside its own signal
        }
        if (out >= 0)
            ::close(out);
        if (err >= 0)
            ::close(err);
        reap(true);
    }

    /// Collects the helper's exit; with stop, ends it first.
    void reap(bool stop) {
        if (pid <= 0)
            return;
        if (stop)
            ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        exitStatus = status;
        pid = -1;
    }

    /// The first line the helper wrote to its standard error, if any.
    QString errorLine() const {
        if (err < 0)
            return {};
        char text[1024];
        const ssize_t n = ::read(err, text, sizeof text - 1);
        if (n <= 0)
            return {};
        return QString::fromLocal8Bit(text, int(n)).section(QLatin1Char('\n'), 0, 0).trimmed();
    }
};

HelperCapture::HelperCapture(const QString& helperPath, QObject* parent)
    : QObject(parent), helperPath_(helperPath) {
    try {
        RefreshAdapters();
    } catch (const CaptureError&) {
        // An empty list is a valid start; the error shows again at the next refresh.
    }
}

HelperCapture::~HelperCapture() {
    session_.reset();
    retired_.clear();
}

QString HelperCapture::locate(const QString& programFolder) {
    const QString beside = QDir(programFolder).filePath(QLatin1String(kHelperName));
    const QString libexec = QDir::cleanPath(
        QDir(programFolder).filePath(QStringLiteral("../libexec/quelmint/") + kHelperName));
    for (const QString& candidate : {beside, libexec}) {
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable())
            return candidate;
    }
    return beside;
}

void HelperCapture::RefreshAdapters() {
    adapters_ = pcapsupport::listAdapters();
}

bool HelperCapture::AdapterPresent(const QString& name) {
    return pcapsupport::adapterPresent(name);
}

QString HelperCapture::defaultRouteAdapter() const {
    return pcapsupport::defaultRouteAdapter();
}

qint64 HelperCapture::helperPid() const {
    return session_ ? session_->pid : 0;
}

capturestream::Statistics HelperCapture::helperStatistics() const {
    return session_ ? session_->statistics : capturestream::Statistics{};
}

qint32 HelperCapture::linkType() const {
    return session_ ? session_->linkType : 0;
}

void HelperCapture::setFilter(const QString& filter) {
    if (filter.toLocal8Bit().size() > qsizetype(HelperOptions::kMaxFilterBytes))
        throw CaptureError(QStringLiteral("The capture filter is longer than 65536 bytes."));
    // Checked here first, so a bad text leaves the filter in force untouched.
    const qint32 linkType = session_ ? session_->linkType
                            : active_ && linktype::readable(active_->LinkType)
                                ? active_->LinkType
                                : pcapsupport::kLinkEthernet;
    pcapsupport::compileFilter(filter, linkType);
    filter_ = filter;
    if (session_)
        StartCapture();
}

void HelperCapture::StartCapture() {
    if (!active_)
        throw CaptureError(QStringLiteral("No adapter is selected for capture."));
    StopCapture();
    const QString name = active_->Name;
    if (!HelperOptions::validName(name.toLocal8Bit().toStdString()))
        throw CaptureError(QStringLiteral("There is no adapter named %1.").arg(name));
    std::unique_ptr<Session> session = spawn(name);
    readStatus(*session, name);
    session->notifier = std::make_unique<QSocketNotifier>(session->out, QSocketNotifier::Read);
    connect(session->notifier.get(), &QSocketNotifier::activated, this, &HelperCapture::onReadable);
    session_ = std::move(session);
}

std::unique_ptr<HelperCapture::Session> HelperCapture::spawn(const QString& name) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw CaptureError(QStringLiteral("Cannot start the capture helper: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw CaptureError(QStringLiteral("Cannot start the capture helper: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    fcntl(out[0], F_SETPIPE_SZ, kPipeBytes); // a larger pipe where the system allows it
    fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);
    fcntl(err[0], F_SETFL, fcntl(err[0], F_GETFL) | O_NONBLOCK);

    const QByteArray path = helperPath_.toLocal8Bit();
    const QByteArray device = name.toLocal8Bit();
    const QByteArray filter = filter_.toLocal8Bit();
    const QByteArray buffer = QByteArray::number(bufferBytes_);
    const QByteArray hold = QByteArray::number(holdBytes_);
    const std::uint64_t ringSize = HelperStream::ringSizeFor(holdBytes_);
    const auto [ringFd, ring] = HelperStream::makeRing(ringSize);
    const QByteArray ringBytes = QByteArray::number(qulonglong(ringSize));
    const char* argv[] = {kHelperName,        "--interface", device.constData(),    "--buffer",
                          buffer.constData(), "--hold",      hold.constData(),      "--filter",
                          filter.constData(), "--ring",      ringBytes.constData(), nullptr};
    if (ring == nullptr)
        argv[9] = nullptr;                 // no ring: everything through the pipe
    char* const environment[] = {nullptr}; // the helper takes nothing from the environment

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (ringFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, ringFd, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    // A process group of its own: a Ctrl-C meant for the window does not end capture behind
    // its back; the window ends it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, path.constData(), &actions, &attributes,
                                   const_cast<char* const*>(argv), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (ringFd >= 0)
        ::close(ringFd);
    if (result != 0) {
        if (ring != nullptr)
            munmap(ring, streamring::kIndexBytes + ringSize);
        ::close(out[0]);
        ::close(err[0]);
        throw CaptureError(
            QStringLiteral("Cannot start Quelmint's capture helper %1: %2. It belongs beside "
                           "quelmint or in ../libexec/quelmint/ relative to it; once it is "
                           "there, grant it the capture capability with: sudo setcap "
                           "cap_net_raw=ep %1")
                .arg(helperPath_, QString::fromLocal8Bit(std::strerror(result))));
    }
    auto session = std::make_unique<Session>();
    session->pid = pid;
    session->out = out[0];
    session->err = err[0];
    session->stream = std::make_unique<HelperStream>(out[0], ring, ringSize);
    return session;
}

QString HelperCapture::endedText(Session& session) const {
    const QString said = session.errorLine();
    session.reap(false);
    const int status = session.exitStatus;
    QString how;
    if (WIFSIGNALED(status))
        how = QStringLiteral("ended by signal %1").arg(WTERMSIG(status));
    else
        how = QStringLiteral("ended with exit status %1").arg(WEXITSTATUS(status));
    return said.isEmpty() ? how : QStringLiteral("%1: %2").arg(how, said);
}

void HelperCapture::readStatus(Session& session, const QString& name) {
    const qint64 deadline = monotonicMs() + kAnswerMs;
    unsigned char header[kHeaderBytes];
    bool timedOut = false;
    if (!readExactly(session.out, header, sizeof header, deadline, &timedOut)) {
        if (timedOut)
            throw CaptureError(QStringLiteral("The capture helper %1 did not answer within %2 s.")
                                   .arg(helperPath_)
                                   .arg(kAnswerMs / 1000));
        throw CaptureError(QStringLiteral("The capture helper %1 %2 before it opened adapter %3.")
                               .arg(helperPath_, endedText(session), name));
    }
    const std::uint32_t kind = read<std::uint32_t>(header);
    const std::uint32_t length = read<std::uint32_t>(header + 4);
    std::vector<unsigned char> body(length);
    if (kind != std::uint32_t(Kind::Status) || length < kStatusFixedBytes ||
        length > maxBody(kind) ||
        !readExactly(session.out, body.data(), length, deadline, &timedOut))
        throw CaptureError(
            QStringLiteral("The capture helper %1 answered with something that cannot be read.")
                .arg(helperPath_));
    const std::uint32_t version = read<std::uint32_t>(body.data());
    if (version != kVersion)
        throw CaptureError(QStringLiteral("The capture helper %1 is of another version (%2, "
                                          "this program needs %3): install them together.")
                               .arg(helperPath_)
                               .arg(version)
                               .arg(kVersion));
    const qint32 code = read<std::int32_t>(body.data() + 4);
    session.linkType = read<std::int32_t>(body.data() + 8);
    const QString message =
        QString::fromLocal8Bit(reinterpret_cast<const char*>(body.data()) + kStatusFixedBytes,
                               int(length - kStatusFixedBytes));
    if (code != kCapturing)
        throw CaptureError(helperOpenFailure(name, code, message, helperPath_));
    if (!linktype::readable(session.linkType)) {
        const QString known = linktype::name(session.linkType);
        const QString type = known == QString::number(session.linkType)
                                 ? known
                                 : QStringLiteral("%1 (%2)").arg(session.linkType).arg(known);
        throw CaptureError(QStringLiteral("Quelmint cannot monitor adapter %1: its frames are of "
                                          "link type %2, which Quelmint cannot read.")
                               .arg(name, type));
    }
}

void HelperCapture::StopCapture() {
    if (session_)
        retire(std::move(session_));
}

void HelperCapture::retire(std::unique_ptr<Session> session) {
    // Frames of a session still being handed out live in its buffer until that is over.
    if (session.get() == delivering_) {
        session->notifier->setEnabled(false);
        if (session->out >= 0)
            ::close(session->out);
        session->out = -1;
        session->reap(true);
        retired_.push_back(std::move(session));
    }
    // Otherwise the session ends here: its helper is ended and collected.
}

quint64 HelperCapture::takeDroppedFrames() {
    return std::exchange(pendingDrops_, 0);
}

QString HelperCapture::takeFailure() {
    return std::exchange(failure_, QString());
}

void HelperCapture::account(Session& session, const Statistics& now) {
    const Statistics& before = session.statistics;
    const auto advance = [](std::uint64_t a, std::uint64_t b) { return b >= a ? b - a : b; };
    pendingDrops_ += advance(before.kernelDropped, now.kernelDropped) +
                     advance(before.interfaceDropped, now.interfaceDropped) +
                     advance(before.helperDropped, now.helperDropped);
    session.statistics = now;
}

void HelperCapture::notify(void (CaptureEvents::*event)()) {
    if (events_ == nullptr)
        return;
    try {
        (events_->*event)();
    } catch (const std::exception& e) {
        // Nothing may unwind into the event loop; the handlers report their own errors.
        qCritical("Capture: an event handler failed: %s", e.what());
    } catch (...) {
        qCritical("Capture: an event handler failed");
    }
}

void HelperCapture::abort(const QString& reason, bool failure) {
    abortReason_ = reason;
    if (failure)
        failure_ = reason;
    session_.reset();
    notify(&CaptureEvents::OnCaptureAborted);
}

void HelperCapture::onReadable() {
    Session* const session = session_.get();
    if (session == nullptr)
        return;
    session->notifier->setEnabled(false);
    if (delivering_ != nullptr)
        return; // a handler runs a nested event loop: the outer delivery reads on afterwards
    const ssize_t n =
        session->stream->read(session->buffer.data() + session->have,
                              std::min(kReadBytes, session->buffer.size() - session->have));
    if (n > 0) {
        session->have += std::size_t(n);
        deliver(*session);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        session->notifier->setEnabled(true);
        return;
    }
    // The helper went away without saying why, or announced what its ring does not hold:
    // told once, capture ends; counts stay.
    const QString reason =
        n < 0 && errno == EPROTO
            ? QStringLiteral("The capture helper %1 sent data that cannot be read; capture "
                             "starts again when the adapter is polled.")
                  .arg(helperPath_)
            : QStringLiteral("The capture helper %1 %2.").arg(helperPath_, endedText(*session));
    abort(reason, true);
}

void HelperCapture::deliver(Session& session) {
    delivering_ = &session;
    quint64 frames = 0;
    std::size_t at = 0;
    bool damaged = false;
    bool ended = false;
    bool handlerFailed = false;
    QString endReason;
    while (session_.get() == &session && !ended) {
        Record record;
        std::size_t used = 0;
        const Parse parse = next(session.buffer.data() + at, session.have - at, &record, &used);
        if (parse == Parse::Incomplete)
            break;
        if (parse == Parse::Damaged) {
            damaged = true;
            break;
        }
        at += used;
        switch (record.kind) {
        case Kind::Frame: {
            if (handlerFailed || events_ == nullptr)
                break;
            Packet packet;
            packet.Seconds = read<std::int64_t>(record.body);
            packet.Microseconds = read<std::uint32_t>(record.body + 8);
            packet.PacketLength = read<std::uint32_t>(record.body + 12);
            packet.CaptureLength =
                std::min(record.length - std::uint32_t(kFrameFixedBytes), packet.PacketLength);
            packet.Data = record.body + kFrameFixedBytes;
            packet.LinkType = session.linkType;
            ++frames;
            try {
                events_->OnPacket(packet);
            } catch (const std::exception& e) {
                // The frame handler reports its own errors; the rest of this batch is skipped.
                qCritical("Capture: a frame handler failed: %s", e.what());
                handlerFailed = true;
            } catch (...) {
                qCritical("Capture: a frame handler failed");
                handlerFailed = true;
            }
            break;
        }
        case Kind::Statistics:
            account(session, statistics(record));
            break;
        case Kind::End:
            ended = true;
            endReason = QString::fromLocal8Bit(reinterpret_cast<const char*>(record.body),
                                               int(record.length));
            break;
        case Kind::Status: // only ever the first record
        case Kind::Ring:   // never without a ring; with one, the stream resolves it
            damaged = true;
            break;
        }
        if (damaged)
            break;
    }
    delivering_ = nullptr;
    const bool current = session_.get() == &session;
    if (current) {
        // The start of an unfinished record waits for the rest.
        std::memmove(session.buffer.data(), session.buffer.data() + at, session.have - at);
        session.have -= at;
    }
    retired_.clear();
    if (frames > 0)
        notify(&CaptureEvents::OnBatchEnd);
    if (!current || session_.get() != &session) {
        // Stopped or restarted meanwhile: a new capture's reads may have waited for this one.
        if (session_)
            session_->notifier->setEnabled(true);
        return;
    }
    if (damaged) {
        abort(QStringLiteral("The capture helper %1 sent data that cannot be read; capture "
                             "starts again when the adapter is polled.")
                  .arg(helperPath_),
              true);
        return;
    }
    if (ended) {
        abort(endReason.isEmpty() ? QStringLiteral("Capture ended.") : endReason, false);
        return;
    }
    session.notifier->setEnabled(true);
    if (session.stream->pending()) // more of the stream waits without the pipe saying so
        QMetaObject::invokeMethod(this, &HelperCapture::onReadable, Qt::QueuedConnection);
}

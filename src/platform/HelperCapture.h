#pragma once

#include "platform/CaptureComponent.h"
#include "platform/helper/CaptureStream.h"

#include <QObject>

#include <memory>
#include <vector>

/// The capture component over the capture helper (`quelmint-capture`), a small program that
/// alone holds the capture privilege. StartCapture starts it as a child process for the active
/// adapter and filter and waits for its answer; from then on frames arrive over a pipe and are
/// read when it becomes readable (nothing polls while the adapter is idle). Each read hands out
/// the frames it holds, then calls OnBatchEnd. The helper keeps frames in its own buffer while
/// the window does not read (a modal box, a slow disk, a stopped process), so a stall loses
/// nothing until that buffer is full; what it drops then, like what the kernel drops, is told by
/// takeDroppedFrames. Handlers may stop or restart capture (no further frame of the old capture
/// follows) and may run a nested event loop (no frame is handed out until they return). The
/// adapter going away, the helper ending unexpectedly or a stream that cannot be read end
/// capture with one OnCaptureAborted. The window itself needs no privilege: adapters and their
/// addresses come from the kernel directly.
class HelperCapture final : public QObject, public CaptureComponent {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelperCapture)

public:
    /// The helper's file name.
    static constexpr const char* kHelperName = "quelmint-capture";
    /// Kernel buffer the helper asks for.
    static constexpr int kBufferBytes = 32 * 1024 * 1024;
    /// The helper's own buffer for frames the window has not read yet.
    static constexpr qint64 kHoldBytes = 256LL * 1024 * 1024;
    /// How long StartCapture waits for the helper's answer.
    static constexpr int kAnswerMs = 10000;

    /// helperPath: the helper program (see locate()).
    explicit HelperCapture(const QString& helperPath, QObject* parent = nullptr);
    ~HelperCapture() override;

    /// Where the helper of a program in programFolder is: beside it, else in
    /// ../libexec/quelmint/ relative to it; the first place when it is in neither.
    static QString locate(const QString& programFolder);

    void setEvents(CaptureEvents* events) override { events_ = events; }
    const QList<Adapter>& Adapters() const override { return adapters_; }
    void setActiveAdapter(const Adapter& adapter) override { active_ = adapter; }
    std::optional<Adapter> ActiveAdapter() const override { return active_; }
    /// Checks the text here; while capturing the helper is started again with it, as it applies
    /// a filter only when it opens the adapter.
    void setFilter(const QString& filter) override;
    QString Filter() const override { return filter_; }
    void StartCapture() override;
    void StopCapture() override;
    bool isCapturing() const override { return session_ != nullptr; }
    void RefreshAdapters() override;
    /// True when the device exists and is up (or is "any").
    bool AdapterPresent(const QString& name) override;
    /// From the kernel's route tables (IPv4 first, else IPv6).
    QString defaultRouteAdapter() const override;
    /// What the kernel, the adapter and the helper dropped since the last call.
    quint64 takeDroppedFrames() override;
    QString takeFailure() override;

    /// Kernel buffer size asked for at the next start.
    void setBufferBytes(int bytes) { bufferBytes_ = bytes; }
    /// The helper's own buffer size at the next start.
    void setHoldBytes(qint64 bytes) { holdBytes_ = bytes; }

    /// The helper program this component starts.
    const QString& helperPath() const { return helperPath_; }
    /// The running helper's process id; 0 when not capturing.
    qint64 helperPid() const;
    /// The running helper's last statistics.
    capturestream::Statistics helperStatistics() const;
    /// The link type of the running capture (0 when not capturing).
    qint32 linkType() const;
    /// Why the last capture ended without being asked; empty if it never did.
    QString abortReason() const { return abortReason_; }

private:
    struct Session;
    std::unique_ptr<Session> spawn(const QString& name);
    void readStatus(Session& session, const QString& name);
    void onReadable();
    void deliver(Session& session);
    void account(Session& session, const capturestream::Statistics& now);
    void abort(const QString& reason, bool failure);
    void retire(std::unique_ptr<Session> session);
    void notify(void (CaptureEvents::*event)());
    QString endedText(Session& session) const;

    QString helperPath_;
    CaptureEvents* events_ = nullptr;
    QList<Adapter> adapters_;
    std::optional<Adapter> active_;
    QString filter_;
    QString abortReason_;
    QString failure_;
    int bufferBytes_ = kBufferBytes;
    qint64 holdBytes_ = kHoldBytes;
    std::unique_ptr<Session> session_;
    Session* delivering_ = nullptr;                 // the session whose frames are being handed out
    std::vector<std::unique_ptr<Session>> retired_; // stopped while their frames were handed out
    quint64 pendingDrops_ = 0;
};

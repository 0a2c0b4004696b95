#pragma once

#include "platform/CaptureComponent.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;
struct pcap;
typedef struct pcap pcap_t;
struct pcap_pkthdr;

/// The capture component over libpcap. Frames are read on the GUI thread when the capture
/// descriptor becomes readable; nothing polls while the adapter is idle. Each wake-up hands out
/// what is there (at most 16 x 4096 frames), then calls OnBatchEnd. Handlers may stop or restart
/// capture (no further frame of the old capture follows) and may run a nested event loop (no
/// frame is handed out until they return). An error or hang-up on the descriptor, or a device
/// found down or gone when woken with nothing to read, ends capture with one OnCaptureAborted.
class PcapCapture final : public QObject, public CaptureComponent {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PcapCapture)

public:
    /// Kernel buffer size asked for at start.
    static constexpr int kBufferBytes = 32 * 1024 * 1024;
    /// Snapshot length: the whole frame, also for offloaded frames of 64 KiB and more.
    static constexpr int kSnapLength = 262144;

    explicit PcapCapture(QObject* parent = nullptr);
    ~PcapCapture() override;

    void setEvents(CaptureEvents* events) override { events_ = events; }
    const QList<Adapter>& Adapters() const override { return adapters_; }
    void setActiveAdapter(const Adapter& adapter) override { active_ = adapter; }
    std::optional<Adapter> ActiveAdapter() const override { return active_; }
    void setFilter(const QString& filter) override;
    QString Filter() const override { return filter_; }
    void StartCapture() override;
    void StopCapture() override;
    bool isCapturing() const override { return handle_ != nullptr; }
    void RefreshAdapters() override;
    /// True when the device exists and can be opened; one that is down counts as absent.
    bool AdapterPresent(const QString& name) override;

    /// Reads pcap_stats: ps_drop and ps_ifdrop advanced since the last call.
    quint64 takeDroppedFrames() override;

    /// Kernel buffer size asked for at the next start (kBufferBytes unless set).
    void setBufferBytes(int bytes) { bufferBytes_ = bytes; }

    /// libpcap's version text, as pcap_lib_version gives it.
    static QString libraryVersion();

    /// Why the last capture ended without being asked (libpcap's text); empty if it never did.
    QString abortReason() const { return abortReason_; }

private:
    struct DispatchContext;
    static void deliver(unsigned char* user, const pcap_pkthdr* header, const unsigned char* bytes);
    void onReadable();
    void notify(void (CaptureEvents::*event)());
    void closeHandle(bool destroying = false);
    quint64 readDrops(pcap_t* handle);

    CaptureEvents* events_ = nullptr;
    QList<Adapter> adapters_;
    std::optional<Adapter> active_;
    QString filter_;
    QString abortReason_;
    pcap_t* handle_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> selectTimer_; // only where the descriptor alone cannot be trusted
    pcap_t* dispatchHandle_ = nullptr;    // the handle pcap_dispatch is running on, if any
    pcap_t* retiredHandle_ = nullptr;     // closed once that dispatch has returned
    QString capturingOn_;                 // the device name handle_ was opened on
    bool kernelDevice_ = false;           // that is a kernel interface (not "any")
    int bufferBytes_ = kBufferBytes;
    quint32 lastDrop_ = 0; // handle_'s ps_drop and ps_ifdrop at the last reading
    quint32 lastIfDrop_ = 0;
    quint64 pendingDrops_ = 0; // drops of captures closed since the last report
};

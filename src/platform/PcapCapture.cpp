#include "platform/PcapCapture.h"

#include "platform/PcapSupport.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QtDebug>

#include <pcap/pcap.h>

#include <algorithm>
#include <exception>

namespace {
// Frames read per pcap_dispatch call, and calls per wake-up, so that timers and the window keep
// their turn under a flood.
constexpr int kBatchFrames = 4096;
constexpr int kBatchRounds = 16;
} // namespace

/// What a dispatch hands to the per-frame callback.
struct PcapCapture::DispatchContext {
    PcapCapture* self;
    pcap_t* handle;
    quint64 frames = 0;
    bool failed = false;
};

PcapCapture::PcapCapture(QObject* parent) : QObject(parent) {
    try {
        RefreshAdapters();
    } catch (const CaptureError&) {
        // An empty list is a valid start; the error shows again at the next refresh.
    }
}

PcapCapture::~PcapCapture() {
    closeHandle(true);
    if (retiredHandle_ != nullptr)
        pcap_close(retiredHandle_);
}

QString PcapCapture::libraryVersion() {
    return QString::fromLatin1(pcap_lib_version());
}

void PcapCapture::RefreshAdapters() {
    adapters_ = pcapsupport::listAdapters();
}

bool PcapCapture::AdapterPresent(const QString& name) {
    return pcapsupport::adapterPresent(name);
}

void PcapCapture::setFilter(const QString& filter) {
    // Compile first, so a bad text leaves the filter in force untouched.
    pcapsupport::BpfProgram program = pcapsupport::compileFilter(handle_, filter);
    if (handle_ != nullptr) {
        if (pcap_setfilter(handle_, program.get()) != 0)
            throw CaptureError(QString::fromLocal8Bit(pcap_geterr(handle_)));
    }
    filter_ = filter;
}

void PcapCapture::StartCapture() {
    if (!active_)
        throw CaptureError(QStringLiteral("No adapter is selected for capture."));
    StopCapture();
    const QString name = active_->Name;
    pcap_t* handle = pcapsupport::openLive(name, kSnapLength, bufferBytes_);
    try {
        pcapsupport::BpfProgram program = pcapsupport::compileFilter(handle, filter_);
        if (pcap_setfilter(handle, program.get()) != 0)
            throw CaptureError(QStringLiteral("Cannot set the filter on adapter %1: %2")
                                   .arg(name, QString::fromLocal8Bit(pcap_geterr(handle))));
    } catch (...) {
        pcap_close(handle);
        throw;
    }
    const int fd = pcap_get_selectable_fd(handle);
    if (fd < 0) {
        pcap_close(handle);
        throw CaptureError(
            QStringLiteral("The adapter %1 cannot be watched for frames.").arg(name));
    }
    handle_ = handle;
    lastDrop_ = 0; // a new handle counts from 0
    lastIfDrop_ = 0;
    capturingOn_ = name;
    kernelDevice_ = pcapsupport::deviceState(name) == pcapsupport::DeviceState::Up;
    // Level-triggered: a readable descriptor (frames) and an error or hang-up on it (the device
    // went down or away) both wake us; nothing runs while the adapter is idle.
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PcapCapture::onReadable);
    // Kernels whose ring does not wake poll() when a block times out need a read now and then.
    if (const timeval* wait = pcap_get_required_select_timeout(handle); wait != nullptr) {
        selectTimer_ = std::make_unique<QTimer>();
        selectTimer_->setInterval(std::max(1, int(wait->tv_sec * 1000 + wait->tv_usec / 1000)));
        connect(selectTimer_.get(), &QTimer::timeout, this, &PcapCapture::onReadable);
        selectTimer_->start();
    }
}

void PcapCapture::StopCapture() {
    closeHandle();
}

void PcapCapture::closeHandle(bool destroying) {
    // Capture may be stopped from a slot of the notifier or timer itself (a frame handler, a
    // batch end): those are deleted once control is back in the event loop.
    if (notifier_) {
        notifier_->setEnabled(false);
        if (destroying)
            notifier_.reset();
        else
            notifier_.release()->deleteLater();
    }
    if (selectTimer_) {
        selectTimer_->stop();
        if (destroying)
            selectTimer_.reset();
        else
            selectTimer_.release()->deleteLater();
    }
    if (handle_ == nullptr)
        return;
    // What the kernel dropped for this handle since the last report is not lost with it.
    if (!destroying)
        pendingDrops_ += readDrops(handle_);
    if (handle_ == dispatchHandle_) {
        // A frame handler stopped capture: end the running dispatch, close when it returns.
        pcap_breakloop(handle_);
        retiredHandle_ = handle_;
    } else {
        pcap_close(handle_);
    }
    handle_ = nullptr;
}

quint64 PcapCapture::takeDroppedFrames() {
    quint64 dropped = pendingDrops_;
    pendingDrops_ = 0;
    if (handle_ != nullptr)
        dropped += readDrops(handle_);
    return dropped;
}

quint64 PcapCapture::readDrops(pcap_t* handle) {
    // ps_drop: no room in the buffer; ps_ifdrop: lost by the adapter while we watched.
    pcap_stat stats{};
    if (pcap_stats(handle, &stats) != 0)
        return 0; // asked again at the next report
    const quint64 dropped = pcapsupport::counterAdvance(lastDrop_, stats.ps_drop) +
                            pcapsupport::counterAdvance(lastIfDrop_, stats.ps_ifdrop);
    lastDrop_ = stats.ps_drop;
    lastIfDrop_ = stats.ps_ifdrop;
    return dropped;
}

void PcapCapture::deliver(unsigned char* user, const pcap_pkthdr* header,
                          const unsigned char* bytes) {
    auto* context = reinterpret_cast<DispatchContext*>(user);
    PcapCapture* self = context->self;
    // Nothing more once a handler has stopped (or restarted) capture or failed.
    if (self->handle_ != context->handle || context->failed || self->events_ == nullptr)
        return;
    Packet packet;
    packet.PacketLength = header->len;
    packet.CaptureLength = std::min(header->caplen, header->len);
    packet.Data = bytes;
    ++context->frames;
    try {
        self->events_->OnPacket(packet);
    } catch (const std::exception& e) {
        // Must not unwind through libpcap; the frame handler reports its own errors.
        qCritical("Capture: a frame handler failed: %s", e.what());
        context->failed = true;
        pcap_breakloop(context->handle);
    } catch (...) {
        qCritical("Capture: a frame handler failed");
        context->failed = true;
        pcap_breakloop(context->handle);
    }
}

void PcapCapture::notify(void (CaptureEvents::*event)()) {
    try {
        (events_->*event)();
    } catch (const std::exception& e) {
        // Nothing may unwind into the event loop; the handlers report their own errors.
        qCritical("Capture: an event handler failed: %s", e.what());
    } catch (...) {
        qCritical("Capture: an event handler failed");
    }
}

void PcapCapture::onReadable() {
    pcap_t* const handle = handle_;
    if (handle == nullptr)
        return;
    if (dispatchHandle_ != nullptr) {
        // A frame handler runs a nested event loop (a modal box): no re-entry, and no busy
        // wake-ups while it is open. The outer dispatch enables the notifier again.
        if (notifier_)
            notifier_->setEnabled(false);
        return;
    }
    if (notifier_)
        notifier_->setEnabled(false);
    dispatchHandle_ = handle;
    DispatchContext context{this, handle};
    int result = 0;
    for (int round = 0; round < kBatchRounds; ++round) {
        result = pcap_dispatch(handle, kBatchFrames, &PcapCapture::deliver,
                               reinterpret_cast<unsigned char*>(&context));
        if (result < kBatchFrames || handle_ != handle || context.failed)
            break;
    }
    bool lost = result < 0 && result != PCAP_ERROR_BREAK && handle_ == handle;
    QString error = lost ? QString::fromLocal8Bit(pcap_geterr(handle)) : QString();
    if (result == 0 && kernelDevice_ && handle_ == handle) {
        // Woken with nothing to read: libpcap has just looked at the descriptor and taken any
        // error off it. Taking a device down only flags such an error, which libpcap does not
        // report, so ask the kernel how the device stands.
        switch (pcapsupport::deviceState(capturingOn_)) {
        case pcapsupport::DeviceState::Down:
            lost = true;
            error = QStringLiteral("The adapter %1 went down.").arg(capturingOn_);
            break;
        case pcapsupport::DeviceState::Gone:
            lost = true;
            error = QStringLiteral("The adapter %1 disappeared.").arg(capturingOn_);
            break;
        default:
            break;
        }
    }
    dispatchHandle_ = nullptr;
    if (retiredHandle_ != nullptr) {
        pcap_close(retiredHandle_);
        retiredHandle_ = nullptr;
    }

    if (context.frames > 0 && events_ != nullptr)
        notify(&CaptureEvents::OnBatchEnd);

    if (lost && handle_ == handle) {
        // The device went down or disappeared: stop, and tell once.
        abortReason_ = error;
        closeHandle();
        if (events_ != nullptr)
            notify(&CaptureEvents::OnCaptureAborted);
        return;
    }
    if (notifier_)
        notifier_->setEnabled(true);
}

#include "platform/PcapCapture.h"

#include "platform/PcapSupport.h"

#include <QSocketNotifier>

#include <pcap/pcap.h>

#include <cerrno>
#include <cstring>

PcapCapture::PcapCapture(QObject* parent) : QObject(parent) {
    try {
        RefreshAdapters();
    } catch (const CaptureError&) {
        // An empty list is a valid start; the error shows again at the next refresh.
    }
}

PcapCapture::~PcapCapture() { closeHandle(); }

QString PcapCapture::libraryVersion() { return QString::fromLatin1(pcap_lib_version()); }

void PcapCapture::RefreshAdapters() { adapters_ = pcapsupport::listAdapters(); }

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
    pcap_t* handle = pcapsupport::openLive(name, kSnapLength, kBufferBytes);
    try {
        pcapsupport::BpfProgram program = pcapsupport::compileFilter(handle, filter_);
        if (pcap_setfilter(handle, program.get()) != 0)
            throw CaptureError(QString::fromLocal8Bit(pcap_geterr(handle)));
    } catch (...) {
        pcap_close(handle);
        throw;
    }
    const int fd = pcap_get_selectable_fd(handle);
    if (fd < 0) {
        pcap_close(handle);
        throw CaptureError(QStringLiteral("The adapter %1 cannot be watched for frames.").arg(name));
    }
    handle_ = handle;
    stopRequested_ = false;
    notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PcapCapture::onReadable);
}

void PcapCapture::StopCapture() {
    if (dispatching_) {
        // Called from inside a frame handler: finish the batch, then close.
        stopRequested_ = true;
        if (notifier_)
            notifier_->setEnabled(false);
        return;
    }
    closeHandle();
}

void PcapCapture::closeHandle() {
    notifier_.reset();
    if (handle_ != nullptr) {
        pcap_close(handle_);
        handle_ = nullptr;
    }
}

namespace {
struct DispatchContext {
    CaptureEvents* events;
    PcapCapture* self;
};

void deliver(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto* events = reinterpret_cast<CaptureEvents*>(user);
    Packet packet;
    packet.PacketLength = header->len;
    packet.CaptureLength = header->caplen;
    packet.Data = bytes;
    events->OnPacket(packet);
}

void discard(u_char*, const pcap_pkthdr*, const u_char*) {}
} // namespace

void PcapCapture::onReadable() {
    if (handle_ == nullptr)
        return;
    // A frame handler may open a modal box, whose event loop would call us again.
    if (dispatching_)
        return;
    dispatching_ = true;
    int result = 0;
    // Read what is there now, in bounded batches, so timers and the window keep their turn.
    constexpr int kBatch = 4096;
    for (int round = 0; round < 16 && !stopRequested_; ++round) {
        result = events_ != nullptr
                     ? pcap_dispatch(handle_, kBatch, deliver, reinterpret_cast<u_char*>(events_))
                     : pcap_dispatch(handle_, kBatch, discard, nullptr);
        if (result < kBatch)
            break;
    }
    dispatching_ = false;
    if (events_ != nullptr)
        events_->OnBatchEnd();
    if (stopRequested_) {
        stopRequested_ = false;
        closeHandle();
        return;
    }
    if (result == PCAP_ERROR) {
        // The device went down or disappeared: stop, and tell once.
        closeHandle();
        if (events_ != nullptr)
            events_->OnCaptureAborted();
    }
}

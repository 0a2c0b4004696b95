#include "platform/PcapFileSource.h"

#include <pcap/pcap.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {
struct Counter {
    CaptureEvents* events;
    pcap_t* handle;
    quint64 frames;
    std::exception_ptr failure;
    qint32 linkType;
};

void deliver(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto* counter = reinterpret_cast<Counter*>(user);
    if (counter->failure)
        return;
    ++counter->frames;
    Packet packet;
    packet.PacketLength = header->len;
    // A record may claim more captured bytes than the frame had; the extra bytes are not frame.
    packet.CaptureLength = std::min(header->caplen, header->len);
    packet.Data = bytes;
    packet.LinkType = counter->linkType;
    packet.Seconds = header->ts.tv_sec;
    packet.Microseconds = quint32(header->ts.tv_usec);
    try {
        counter->events->OnPacket(packet);
    } catch (...) {
        // Never unwind through libpcap: finish the call, then hand the failure to our caller.
        counter->failure = std::current_exception();
        pcap_breakloop(counter->handle);
    }
}

void count(u_char* user, const pcap_pkthdr*, const u_char*) {
    ++reinterpret_cast<Counter*>(user)->frames;
}
} // namespace

PcapFileSource::PcapFileSource(const QString& path) : path_(path) {
    // Opened here rather than by libpcap, which would take the name "-" for standard input.
    const QByteArray name = path.toLocal8Bit();
    FILE* file = name.isEmpty() ? nullptr : std::fopen(name.constData(), "rbe");
    if (file == nullptr)
        throw CaptureError(
            QStringLiteral("Cannot read %1: %2")
                .arg(path, QString::fromLocal8Bit(std::strerror(name.isEmpty() ? ENOENT : errno))));
    char error[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_fopen_offline(file, error);
    if (handle_ == nullptr) {
        std::fclose(file);
        throw CaptureError(QStringLiteral("Cannot read %1: it is not a readable capture file (%2)")
                               .arg(path, QString::fromLocal8Bit(error)));
    }
}

PcapFileSource::~PcapFileSource() {
    if (handle_ != nullptr)
        pcap_close(handle_); // closes the file too
}

int PcapFileSource::linkType() const {
    return pcap_datalink(handle_);
}

quint64 PcapFileSource::deliverAll(CaptureEvents& events, int batchSize) {
    return run(&events, batchSize);
}

quint64 PcapFileSource::readAll() {
    return run(nullptr, 4096);
}

quint64 PcapFileSource::run(CaptureEvents* events, int batchSize) {
    Counter counter{events, handle_, 0, {}, pcap_datalink(handle_)};
    batchSize = std::max(1, batchSize);
    for (;;) {
        const int n =
            events != nullptr
                ? pcap_dispatch(handle_, batchSize, deliver, reinterpret_cast<u_char*>(&counter))
                : pcap_dispatch(handle_, batchSize, count, reinterpret_cast<u_char*>(&counter));
        if (counter.failure)
            std::rethrow_exception(counter.failure);
        if (n == PCAP_ERROR_BREAK)
            continue; // the stop left behind by a handler that failed in an earlier call
        if (n > 0 && events != nullptr)
            events->OnBatchEnd();
        if (n == 0)
            return counter.frames; // end of file
        if (n < 0)
            throw CaptureError(QStringLiteral("Cannot read %1 after %2 frames: %3")
                                   .arg(path_)
                                   .arg(counter.frames)
                                   .arg(QString::fromLocal8Bit(pcap_geterr(handle_))));
    }
}

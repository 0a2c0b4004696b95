#include "platform/PcapFileSource.h"

#include <pcap/pcap.h>

namespace {
struct Counter {
    CaptureEvents* events;
    quint64 frames;
};

void deliver(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto* counter = reinterpret_cast<Counter*>(user);
    ++counter->frames;
    Packet packet;
    packet.PacketLength = header->len;
    packet.CaptureLength = header->caplen;
    packet.Data = bytes;
    counter->events->OnPacket(packet);
}

void count(u_char* user, const pcap_pkthdr*, const u_char*) {
    ++reinterpret_cast<Counter*>(user)->frames;
}
} // namespace

PcapFileSource::PcapFileSource(const QString& path) : path_(path) {
    char error[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_open_offline(path.toLocal8Bit().constData(), error);
    if (handle_ == nullptr)
        throw CaptureError(
            QStringLiteral("Cannot read %1: %2").arg(path, QString::fromLocal8Bit(error)));
}

PcapFileSource::~PcapFileSource() {
    if (handle_ != nullptr)
        pcap_close(handle_);
}

int PcapFileSource::linkType() const { return pcap_datalink(handle_); }

quint64 PcapFileSource::deliverAll(CaptureEvents& events, int batchSize) {
    return run(&events, batchSize);
}

quint64 PcapFileSource::readAll() { return run(nullptr, 4096); }

quint64 PcapFileSource::run(CaptureEvents* events, int batchSize) {
    Counter counter{events, 0};
    for (;;) {
        const int n = events != nullptr
                          ? pcap_dispatch(handle_, batchSize, deliver,
                                          reinterpret_cast<u_char*>(&counter))
                          : pcap_dispatch(handle_, batchSize, count,
                                          reinterpret_cast<u_char*>(&counter));
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

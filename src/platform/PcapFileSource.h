#pragma once

#include "platform/CaptureTypes.h"

#include <QtGlobal>

struct pcap;
typedef struct pcap pcap_t;

/// Reads a pcap or pcapng file and hands its frames out through the same events as live capture,
/// in batches. For tests, benchmarks and the replay tool.
class PcapFileSource final {
    Q_DISABLE_COPY_MOVE(PcapFileSource)

public:
    /// Opens the file; throws CaptureError when it cannot be read or is not a capture file.
    explicit PcapFileSource(const QString& path);
    ~PcapFileSource();

    /// The link type that the file records (1 = Ethernet).
    int linkType() const;

    /// Hands out every frame, calling OnBatchEnd after each batch; returns the number of frames.
    /// A damaged or truncated file throws CaptureError after the frames read before the damage;
    /// an exception thrown by a handler ends the delivery and reaches the caller.
    quint64 deliverAll(CaptureEvents& events, int batchSize = 4096);

    /// Reads every frame and does nothing with it; returns the number of frames.
    quint64 readAll();

private:
    quint64 run(CaptureEvents* events, int batchSize);

    pcap_t* handle_ = nullptr;
    QString path_;
};

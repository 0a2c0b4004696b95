// bench-connections: memory of the packet list's connection table, full and after ageing.
//
//   bench-connections [--distinct]
//
// Fills the table to its limit (250,000 entries) the way the frame path does, names off: a port
// scan from 10.9.0.1:40000 to 10.0.0.1 + k / 50000, port 1 + k % 50000; with --distinct every
// entry has its own source address instead (10.128.0.0 + k). Then lets every entry age out
// (the clock moves past the removal time, one sweep). Prints one JSON line with the resident
// size (VmRSS, KiB) idle, full and aged, the bytes per entry ((full - idle) / entries) and the
// time per packet of the fill.

#include "connections/PacketList.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeHostNameResolver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

long rssKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool distinct = argc > 1 && std::strcmp(argv[1], "--distinct") == 0;
    FakeClock clock;
    qint32 removeSeconds = 30, hiliteSeconds = 2;
    FakeHostNameResolver resolver;
    PacketList list(clock, removeSeconds, hiliteSeconds, &resolver, nullptr);
    const long idle = rssKiB();

    const int n = ConnectionTable::kMaxEntries;
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < n; ++k) {
        clsPacketInfo p;
        const quint32 source = distinct ? 0x0A800000u + quint32(k) : 0x0A090001u;
        p.srcAddr = list.shown(source);
        p.destAddr = list.shown(0x0A000001u + quint32(k / 50000));
        p.srcPort = 40000;
        p.destPort = 1 + k % 50000;
        p.bytes = 0;
        p.pkType = 6;
        list.listPacket(p);
        if (k % 4096 == 4095)
            list.flush();
    }
    list.flush();
    const double fillNs = double(timer.nsecsElapsed()) / n;
    const long full = rssKiB();
    const int entries = list.table().size();

    clock.advance(qint64(removeSeconds) * 1000 + 1001);
    list.ScavengeList();
    const long aged = rssKiB();

    std::printf("{\"keys\": \"%s\", \"entries\": %d, \"idleKiB\": %ld, \"fullKiB\": %ld, "
                "\"bytesPerEntry\": %.0f, \"agedKiB\": %ld, \"entriesAfterAgeing\": %d, "
                "\"agedOverIdle\": %.3f, \"fillNsPerPacket\": %.0f}\n",
                distinct ? "distinct sources" : "port scan", entries, idle, full,
                double(full - idle) * 1024.0 / entries, aged, list.table().size(),
                double(aged) / double(idle), fillNs);
    return 0;
}

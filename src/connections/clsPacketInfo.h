#pragma once

#include <QString>

/// One counted packet handed from the decoder to the connection list.
struct clsPacketInfo {
    QString srcAddr;      ///< display text of the source (address or host name)
    QString destAddr;     ///< display text of the destination
    qint32 srcPort = 0;   ///< 0 unless TCP or UDP
    qint32 destPort = 0;  ///< 0 unless TCP or UDP
    double bytes = 0;     ///< the packet's data bytes
    qint16 pkType = 0;    ///< IP protocol number
};

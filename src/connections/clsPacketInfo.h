#pragma once

#include "connections/ShownAddress.h"

/// One counted packet handed from the decoder to the connection list.
struct clsPacketInfo {
    ShownAddress srcAddr;  ///< what the source shows as (address or host name), as numbers
    ShownAddress destAddr; ///< the same of the destination
    qint32 srcPort = 0;    ///< 0 unless TCP or UDP
    qint32 destPort = 0;   ///< 0 unless TCP or UDP
    double bytes = 0;      ///< the packet's data bytes
    qint16 pkType = 0;     ///< IP protocol number
};

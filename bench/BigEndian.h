#pragma once

#include <QByteArray>
#include <QtGlobal>

/// Writes a 16-bit value at a byte offset, most significant byte first (network order).
inline void put16(QByteArray& b, int at, int v) {
    b[at] = char((v >> 8) & 0xFF);
    b[at + 1] = char(v & 0xFF);
}

/// Writes a 32-bit value at a byte offset, most significant byte first (network order).
inline void put32(QByteArray& b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
}

#pragma once

#include <QList>
#include <QString>

#include <stdexcept>

/// One address of an adapter.
struct AdapterAddress {
    QString IPAddress; ///< dotted-quad text, or RFC 5952 text for IPv6 ("fd00:77::1")
};

/// An adapter as the capture component lists it.
struct Adapter {
    QString Name;        ///< the system's device name, stored as the setting "Interface"
    QString Description; ///< text shown to the user
    QList<AdapterAddress> Addresses; ///< IPv4, then IPv6 addresses, in the system's order
    qint32 LinkType = 0; ///< the link type of its frames (libpcap's DLT numbers; 1 = Ethernet)
};

/// One captured frame; Data is valid only during the OnPacket call.
struct Packet {
    quint32 PacketLength = 0;  ///< length of the frame on the wire
    quint32 CaptureLength = 0; ///< bytes available in Data
    const unsigned char* Data = nullptr;
    qint32 LinkType = 1;      ///< the link layer's type (libpcap's DLT numbers; 1 = Ethernet)
    qint64 Seconds = 0;       ///< when it was captured: seconds since 1970 (UTC)
    quint32 Microseconds = 0; ///< and microseconds within that second
};

/// Receiver of capture events, all on the GUI thread.
class CaptureEvents {
public:
    virtual ~CaptureEvents() = default;
    /// One frame.
    virtual void OnPacket(const Packet& packet) = 0;
    /// Capture ended without being asked (the adapter went down or disappeared).
    virtual void OnCaptureAborted() = 0;
    /// A batch of frames has been handed out; the program is about to return to its event loop.
    virtual void OnBatchEnd() {}
};

/// A capture failure with a description the user can act on.
class CaptureError : public std::runtime_error {
public:
    explicit CaptureError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    /// The text shown to the user.
    const QString& description() const { return description_; }

private:
    QString description_;
};

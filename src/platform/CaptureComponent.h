#pragma once

#include "platform/CaptureTypes.h"

#include <optional>

/// The capture component ("KRX"): lists adapters, opens one, filters and hands out frames.
/// Operations that fail throw CaptureError.
class CaptureComponent {
public:
    virtual ~CaptureComponent() = default;

    /// Where frames and abort notices go; may be null.
    virtual void setEvents(CaptureEvents* events) = 0;

    /// The adapters found at the last refresh, in the system's order.
    virtual const QList<Adapter>& Adapters() const = 0;
    /// Chooses the adapter that the next StartCapture opens.
    virtual void setActiveAdapter(const Adapter& adapter) = 0;
    /// The chosen adapter, if any.
    virtual std::optional<Adapter> ActiveAdapter() const = 0;

    /// Sets the capture filter (BPF syntax; empty = none). A text that does not compile throws
    /// and leaves the previous filter in force. Applied at once when capturing, else at the next
    /// start.
    virtual void setFilter(const QString& filter) = 0;
    /// The filter in force.
    virtual QString Filter() const = 0;

    /// Opens the active adapter and starts handing out frames.
    virtual void StartCapture() = 0;
    /// Stops handing out frames; harmless when not capturing.
    virtual void StopCapture() = 0;
    /// True while frames are being handed out.
    virtual bool isCapturing() const = 0;

    /// Lists the adapters present now.
    virtual void RefreshAdapters() = 0;
    /// True when an adapter of that name exists now.
    virtual bool AdapterPresent(const QString& name) = 0;
    /// The Name of the adapter that carries the default route now; empty when none is known.
    virtual QString defaultRouteAdapter() const { return {}; }

    /// Frames the system dropped for this capture since the last call (its buffer was full,
    /// or the adapter itself lost them), including those of a capture stopped or restarted
    /// meanwhile. A component that cannot tell reports 0.
    virtual quint64 takeDroppedFrames() { return 0; }

    /// Why the last capture ended when the capture itself failed (its helper died or sent
    /// something unreadable) rather than the adapter going away; empty otherwise. Cleared by
    /// the call.
    virtual QString takeFailure() { return {}; }
};

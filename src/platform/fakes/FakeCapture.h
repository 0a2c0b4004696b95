#pragma once

#include "platform/CaptureComponent.h"

#include <QStringList>

#include <functional>
#include <utility>

/// A capture component for tests: the "system" adapter list is set by hand, every call is
/// recorded, a filter or a start can be made to fail, and frames and aborts are fired by hand.
class FakeCapture final : public CaptureComponent {
public:
    /// Starts with the given adapters already listed.
    explicit FakeCapture(QList<Adapter> adapters = {}) { setAdapters(std::move(adapters)); }

    /// Replaces the system's adapters and the listed ones (as if refreshed).
    void setAdapters(QList<Adapter> adapters) {
        systemAdapters = std::move(adapters);
        listed_ = systemAdapters;
    }
    /// An Ethernet adapter with the given addresses.
    static Adapter ethernet(const QString& name, const QString& description,
                            const QStringList& addresses = {}, qint32 linkType = 1) {
        Adapter a;
        a.Name = name;
        a.Description = description;
        a.LinkType = linkType;
        for (const QString& address : addresses)
            a.Addresses.append({address});
        return a;
    }

    void setEvents(CaptureEvents* events) override { events_ = events; }
    CaptureEvents* events() const { return events_; }

    const QList<Adapter>& Adapters() const override { return listed_; }
    void setActiveAdapter(const Adapter& adapter) override {
        calls.append(QStringLiteral("setActiveAdapter:") + adapter.Name);
        active_ = adapter;
    }
    std::optional<Adapter> ActiveAdapter() const override { return active_; }

    void setFilter(const QString& filter) override {
        calls.append(QStringLiteral("setFilter:") + filter);
        if (rejectFilter) {
            const QString reason = rejectFilter(filter);
            if (!reason.isEmpty())
                throw CaptureError(reason);
        }
        filter_ = filter;
    }
    QString Filter() const override { return filter_; }

    void StartCapture() override {
        calls.append(QStringLiteral("StartCapture"));
        ++startCount;
        if (!active_)
            throw CaptureError(QStringLiteral("No adapter is selected for capture."));
        if (!startError.isEmpty())
            throw CaptureError(startError);
        capturing_ = true;
    }
    void StopCapture() override {
        calls.append(QStringLiteral("StopCapture"));
        ++stopCount;
        capturing_ = false;
    }
    bool isCapturing() const override { return capturing_; }

    void RefreshAdapters() override {
        calls.append(QStringLiteral("RefreshAdapters"));
        if (onRefresh)
            onRefresh();
        listed_ = systemAdapters;
    }
    bool AdapterPresent(const QString& name) override {
        for (const Adapter& a : systemAdapters)
            if (a.Name == name)
                return true;
        return false;
    }

    QString defaultRouteAdapter() const override { return defaultRoute; }

    /// Reports droppedFrames and sets it back to 0.
    quint64 takeDroppedFrames() override { return std::exchange(droppedFrames, 0); }

    /// Hands one frame to the receiver, as a capture would, followed by the batch end.
    void firePacket(const QByteArray& frame, quint32 wireLength = 0) {
        if (events_ == nullptr)
            return;
        Packet p;
        p.CaptureLength = quint32(frame.size());
        p.PacketLength = wireLength != 0 ? wireLength : p.CaptureLength;
        p.Data = reinterpret_cast<const unsigned char*>(frame.constData());
        events_->OnPacket(p);
        events_->OnBatchEnd();
    }
    /// Ends capture as a lost adapter would and tells the receiver.
    void fireCaptureAborted() {
        capturing_ = false;
        if (events_ != nullptr)
            events_->OnCaptureAborted();
    }

    /// Adapters present in the "system"; Adapters() shows them after RefreshAdapters.
    QList<Adapter> systemAdapters;
    /// Every call in order: "setActiveAdapter:<name>", "setFilter:<text>", "StartCapture",
    /// "StopCapture", "RefreshAdapters".
    QStringList calls;
    /// Returns a non-empty reason to reject a filter text.
    std::function<QString(const QString&)> rejectFilter;
    /// When not empty, StartCapture fails with this description.
    QString startError;
    /// Runs inside RefreshAdapters, before the list changes.
    std::function<void()> onRefresh;
    /// Frames the next takeDroppedFrames reports as dropped.
    quint64 droppedFrames = 0;
    /// The adapter of the default route.
    QString defaultRoute;
    int startCount = 0;
    int stopCount = 0;

private:
    CaptureEvents* events_ = nullptr;
    QList<Adapter> listed_;
    std::optional<Adapter> active_;
    QString filter_;
    bool capturing_ = false;
};

/// A capture component that forwards every call to a FakeCapture it does not own, so that a
/// test keeps its handle on the fake while the window owns (and destroys) the component.
class FakeCaptureRef : public CaptureComponent {
public:
    explicit FakeCaptureRef(FakeCapture& fake) : fake_(fake) {}
    void setEvents(CaptureEvents* events) override { fake_.setEvents(events); }
    const QList<Adapter>& Adapters() const override { return fake_.Adapters(); }
    void setActiveAdapter(const Adapter& a) override { fake_.setActiveAdapter(a); }
    std::optional<Adapter> ActiveAdapter() const override { return fake_.ActiveAdapter(); }
    void setFilter(const QString& f) override { fake_.setFilter(f); }
    QString Filter() const override { return fake_.Filter(); }
    void StartCapture() override { fake_.StartCapture(); }
    void StopCapture() override { fake_.StopCapture(); }
    bool isCapturing() const override { return fake_.isCapturing(); }
    void RefreshAdapters() override { fake_.RefreshAdapters(); }
    bool AdapterPresent(const QString& n) override { return fake_.AdapterPresent(n); }
    QString defaultRouteAdapter() const override { return fake_.defaultRouteAdapter(); }
    quint64 takeDroppedFrames() override { return fake_.takeDroppedFrames(); }

private:
    FakeCapture& fake_;
};

#pragma once

#include "monitor/ShellServices.h"
#include "platform/fakes/FakeAddressChanges.h"
#include "platform/fakes/FakeAutostart.h"
#include "platform/fakes/FakeBrowser.h"
#include "platform/fakes/FakeCapture.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeFileSystem.h"
#include "platform/fakes/FakeHostNameResolver.h"
#include "platform/fakes/FakeInterfaceCounters.h"
#include "platform/fakes/FakeMessageBoxes.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "platform/fakes/FakeSingleInstance.h"
#include "platform/fakes/FakeTrayIcon.h"

#include <functional>
#include <memory>
#include <optional>

/// Every outside service of the program, faked. makeServices() ties them together; the
/// session's capture component forwards to `capture` unless the test makes its own.
struct FakeShellServices {
    /// Lists adapter eth0 (10.0.0.1) and stores it as the adapter to monitor.
    void configureEth0() {
        capture.setAdapters(
            {FakeCapture::ethernet(QStringLiteral("eth0"), QStringLiteral("Ethernet adapter eth0"),
                                   {QStringLiteral("10.0.0.1")})});
        store.at(QStringLiteral("Interface")) = QStringLiteral("eth0");
        store.at(QStringLiteral("InterfaceDesc")) = QStringLiteral("Ethernet adapter eth0");
    }

    ShellServices&
    makeServices(std::function<std::unique_ptr<CaptureComponent>()> createCapture = {}) {
        if (!createCapture)
            createCapture = [this] { return std::make_unique<FakeCaptureRef>(capture); };
        services = std::make_unique<ShellServices>(
            ShellServices{clock, boxes, tray, store, autostart, single, fs,
                          CaptureLibraryCheck(
                              CaptureLibraryCheck::Rule::WinPcap,
                              [] { return std::optional<QString>(QStringLiteral("4.1.0.2980")); }),
                          std::move(createCapture), QStringLiteral("/opt/quelmint"),
                          QStringLiteral("/home/u/.local/share/Quelmint"), 2000, &browser, nullptr,
                          &resolver, &counters, refreshMs});
        services->addressChanges = &addressChanges;
        return *services;
    }

    FakeClock clock;
    FakeMessageBoxes boxes;
    FakeTrayIcon tray;
    FakeSettingsStore store;
    FakeAutostart autostart;
    FakeSingleInstance single;
    FakeFileSystem fs;
    FakeCapture capture;
    FakeHostNameResolver resolver;
    /// Refresh after every batch, so a test sees each frame at once; pacing has its own test.
    int refreshMs = 0;
    FakeBrowser browser;
    FakeInterfaceCounters counters; ///< lists no adapter unless the test adds it
    FakeAddressChanges addressChanges;
    std::unique_ptr<ShellServices> services;
};

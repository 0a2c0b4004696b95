// The session with the real capture component and the kernel's address events, inside network
// namespaces: addresses added while running, IPv6 counted on request, a tun device.
#include "support/CaptureHelperPath.h"
#include "support/FakeShellServices.h"
#include "support/RealProgram.h"

#include "monitor/AdapterMonitor.h"
#include "monitor/MonitorSession.h"
#include "platform/HelperCapture.h"
#include "platform/NetlinkAddressChanges.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <sys/ioctl.h>

#include <cstring>

#include <gtest/gtest.h>

namespace {

constexpr quint16 kPort = 40406;
const QString kTun = QStringLiteral("qm190t");

/// A tun device of this thread's namespace, up with 10.231.191.1/24, for as long as it lives.
struct Tun {
    explicit Tun(const NetnsPair& pair) {
        fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        ifreq request = {};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, kTun.toLatin1().constData(), IFNAMSIZ - 1);
        ok = fd >= 0 && ::ioctl(fd, TUNSETIFF, &request) == 0 &&
             pair.runInA({"ip", "addr", "add", "10.231.191.1/24", "dev", kTun}) == 0 &&
             pair.runInA({"ip", "link", "set", kTun, "up"}) == 0;
    }
    ~Tun() {
        if (fd >= 0)
            ::close(fd); // the device goes with it
    }
    int fd = -1;
    bool ok = false;
};

struct Case {
    const char* name;
    bool countIPv6;
    bool onTun;           // monitor the tun device rather than the veth end
    const char* addA;     // an address given to A's adapter while monitoring (ip addr add)
    const char* addB;     // one given to B's at the same time
    const char* local;    // what localAddresses must then hold
    const char* sendFrom; // "A" or "B"
    const char* sendTo;   // the datagrams' destination
    TrafficCounters::Row row;
    int frameBytes; // each datagram on the wire
};

class AddressesLive : public ::testing::TestWithParam<Case> {};

TEST_P(AddressesLive, CountsAsTheAdapterIsNow) {
    const Case& c = GetParam();
    ensureApplication();
    SKIP_WITHOUT_NETNS("ip");
    NetnsPair pair(QStringLiteral("a6"), 190);
    ASSERT_TRUE(pair.ok());
    NetnsEnter inA(pair.nsA());
    ASSERT_TRUE(inA.ok());
    std::unique_ptr<Tun> tun;
    if (c.onTun) {
        tun = std::make_unique<Tun>(pair);
        ASSERT_TRUE(tun->ok);
    }

    FakeShellServices fakes;
    NetlinkAddressChanges kernel; // opened in A's namespace
    ASSERT_TRUE(kernel.listening());
    ShellServices& services =
        fakes.makeServices([] { return std::make_unique<HelperCapture>(captureHelperPath()); });
    services.addressChanges = &kernel;
    MonitorSession session(services);
    ASSERT_TRUE(session.open());
    session.settings().gInterfaceToWatch = c.onTun ? kTun : pair.nameA();
    session.settings().gCountIPv6 = c.countIPv6;
    session.settings().announce(Settings::Switches);
    ASSERT_TRUE(session.startMonitoring());

    if (*c.addA != '\0') {
        ASSERT_EQ(pair.runInA({"ip", "addr", "add", c.addA, "dev", pair.nameA(), "nodad"}), 0);
        if (*c.addB != '\0') {
            ASSERT_EQ(pair.runInB({"ip", "addr", "add", c.addB, "dev", pair.nameB(), "nodad"}), 0);
        }
    }
    ASSERT_TRUE(waitUntil(
        [&] { return session.monitor()->localAddresses.contains(QLatin1String(c.local)); }, 15000))
        << session.monitor()->localAddresses.join(' ').toStdString();

    constexpr int kCount = 20;
    const double before = session.frames().counters.transfer(c.row);
    const QString from = *c.sendFrom == 'A' ? pair.nsA() : pair.nsB();
    ASSERT_EQ(sendUdpFrom(from, QLatin1String(c.sendTo), kPort, kCount, 100), kCount);
    // The neighbour's resolution and the replies may add frames; the test's are all there.
    EXPECT_TRUE(waitUntil(
        [&] {
            return session.frames().counters.transfer(c.row) >=
                   before + double(kCount) * c.frameBytes;
        },
        15000))
        << session.frames().counters.transfer(c.row) - before;
    session.stopCapture();
}

// clang-format off
const Case kCases[] = {
    {"AddressAddedWhileRunningIsLocal", false, false, "10.231.190.7/24", "", "10.231.190.7",
     "B", "10.231.190.7", TrafficCounters::Received, 14 + 20 + 8 + 100},
    {"Ipv6CountedWhenAsked", true, false, "fd00:231:190::1/64", "fd00:231:190::2/64",
     "fd00:231:190::1", "B", "fd00:231:190::1", TrafficCounters::Received, 14 + 40 + 8 + 100},
    {"TunDeviceIsMonitored", false, true, "", "", "10.231.191.1", "A", "10.231.191.9",
     TrafficCounters::Sent, 20 + 8 + 100},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Namespaces, AddressesLive, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

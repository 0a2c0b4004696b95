// The capture helper's parts that need no privilege: which arguments it takes, the stream's
// records, and its own buffer; and, as a process, that refused arguments end it at once.
#include "platform/HelperStream.h"
#include "platform/helper/CaptureStream.h"
#include "platform/helper/HelperOptions.h"
#include "platform/helper/HoldQueue.h"
#include "platform/helper/StreamRing.h"
#include "support/CaptureHelperPath.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace capturestream;

std::optional<HelperOptions> parse(std::vector<std::string> args, std::string* error) {
    args.insert(args.begin(), "quelmint-capture");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return HelperOptions::parse(int(argv.size()), argv.data(), error);
}

TEST(CaptureHelper, TakesOnlyWhatItCanCheck) {
    struct Case {
        std::vector<std::string> args;
        const char* refusal; // nullptr: accepted
    };
    const std::string longest(65536, 'x');
    const Case cases[] = {
        {{"--interface", "eth0"}, nullptr},
        {{"--interface", "any", "--filter", "", "--buffer", "65536", "--hold", "1048576"}, nullptr},
        {{"--interface", "wg0.vpn:1@x-y_z"}, nullptr},
        {{"--interface", "abcdefghijklmno"}, nullptr},
        {{"--interface", "eth0", "--filter", longest}, nullptr},
        {{"--interface", "eth0", "--buffer", "268435456", "--hold", "4294967296"}, nullptr},
        {{"--interface", "eth0", "--ring", "1048576"}, nullptr},
        {{"--interface", "eth0", "--ring", "268435456"}, nullptr},
        {{"--interface", "eth0", "--ring", "524288"}, "--ring must be"},
        {{"--interface", "eth0", "--ring", "3000000"}, "--ring must be"},
        {{"--interface", "eth0", "--ring", "536870912"}, "--ring must be"},
        {{}, "--interface is missing"},
        {{"--filter", "tcp"}, "--interface is missing"},
        {{"--interface"}, "--interface needs a value"},
        {{"--interface", ""}, "adapter name"},
        {{"--interface", "abcdefghijklmnop"}, "adapter name"},
        {{"--interface", "eth0;reboot"}, "adapter name"},
        {{"--interface", "../../etc"}, "adapter name"},
        {{"--interface", "eth 0"}, "adapter name"},
        {{"--interface", "eth0", "--interface", "eth1"}, "given twice"},
        {{"--interface", "eth0", "--filter", longest + "x"}, "longer than 65536"},
        {{"--interface", "eth0", "--buffer", "65535"}, "--buffer must be"},
        {{"--interface", "eth0", "--buffer", "268435457"}, "--buffer must be"},
        {{"--interface", "eth0", "--buffer", "-1"}, "--buffer must be"},
        {{"--interface", "eth0", "--buffer", "1e6"}, "--buffer must be"},
        {{"--interface", "eth0", "--buffer", ""}, "--buffer must be"},
        {{"--interface", "eth0", "--buffer", "9999999999999"}, "--buffer must be"},
        {{"--interface", "eth0", "--hold", "1048575"}, "--hold must be"},
        {{"--interface", "eth0", "--hold", "4294967297"}, "--hold must be"},
        {{"--interface", "eth0", "--snaplen", "96"}, "unknown argument \"--snaplen\""},
        {{"--interface", "eth0", "-i"}, "unknown argument"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args)
            joined += (a.size() > 40 ? a.substr(0, 40) + "..." : a) + " ";
        SCOPED_TRACE(joined);
        std::string error;
        const std::optional<HelperOptions> options = parse(c.args, &error);
        if (c.refusal == nullptr) {
            ASSERT_TRUE(options.has_value()) << error;
            EXPECT_EQ(options->interface, c.args[1]);
        } else {
            EXPECT_FALSE(options.has_value());
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos);
        }
    }
    std::string error;
    const auto defaults = parse({"--interface", "eth0"}, &error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->bufferBytes, 32 * 1024 * 1024);
    EXPECT_EQ(defaults->holdBytes, 256LL * 1024 * 1024);
    EXPECT_EQ(defaults->filter, "");
}

TEST(CaptureHelper, RefusedArgumentsEndItWithOneLineAndStatusTwo) {
    const std::vector<QStringList> refused = {
        {},
        {"--interface", "eth0;id"},
        {"--interface", "lo", "--buffer", "1"},
        {"--interface", "lo", "--extra"},
    };
    for (const QStringList& args : refused) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess helper;
        helper.start(captureHelperPath(), args);
        ASSERT_TRUE(helper.waitForFinished(10000));
        EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(helper.exitCode(), 2);
        EXPECT_TRUE(helper.readAllStandardOutput().isEmpty());
        const QByteArray said = helper.readAllStandardError();
        EXPECT_TRUE(said.startsWith("quelmint-capture: ")) << said.constData();
        EXPECT_EQ(said.count('\n'), 1) << said.constData();
    }
}

TEST(CaptureHelper, RecordsAreReadOnlyWhenWholeAndWithinTheirKindsLimits) {
    struct Case {
        const char* what;
        std::uint32_t kind;
        std::uint32_t length;
        std::size_t available; // bytes in the buffer after the header
        Parse expected;
    };
    const Case cases[] = {
        {"a whole frame", 2, 16 + 60, 76, Parse::Complete},
        {"a frame missing its last byte", 2, 16 + 60, 75, Parse::Incomplete},
        {"a frame of the largest snapshot", 2, 16 + kMaxCapture, 16 + kMaxCapture, Parse::Complete},
        {"a frame larger than any snapshot", 2, 17 + kMaxCapture, 17 + kMaxCapture, Parse::Damaged},
        {"a frame without its fixed part", 2, 15, 15, Parse::Damaged},
        {"statistics", 3, 40, 40, Parse::Complete},
        {"short statistics", 3, 39, 39, Parse::Damaged},
        {"an empty end", 4, 0, 0, Parse::Complete},
        {"an end too long", 4, kMaxText + 1, kMaxText + 1, Parse::Damaged},
        {"a status", 1, 12 + 5, 17, Parse::Complete},
        {"a ring announcement", 5, 8, 8, Parse::Complete},
        {"a ring announcement too long", 5, 9, 9, Parse::Damaged},
        {"an unknown kind", 6, 0, 0, Parse::Damaged},
        {"kind zero", 0, 0, 0, Parse::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> buffer(kHeaderBytes + c.available, 0xAB);
        putHeader(buffer.data(), Kind(c.kind), c.length);
        Record record;
        std::size_t used = 0;
        EXPECT_EQ(next(buffer.data(), buffer.size(), &record, &used), c.expected);
        if (c.expected == Parse::Complete) {
            EXPECT_EQ(used, kHeaderBytes + c.length);
            EXPECT_EQ(record.length, c.length);
            EXPECT_EQ(record.body, buffer.data() + kHeaderBytes);
        }
    }
    Record record;
    std::size_t used = 0;
    const unsigned char half[7] = {2, 0, 0, 0, 16, 0, 0};
    EXPECT_EQ(next(half, sizeof half, &record, &used), Parse::Incomplete);
}

TEST(CaptureHelper, ItsBufferKeepsOrderAcrossChunksHoldsItsLimitAndGivesMemoryBack) {
    int pipeEnds[2];
    ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
    HoldQueue queue(3 * HoldQueue::kChunkBytes);
    // Records of odd sizes, so that they straddle chunk borders.
    std::vector<unsigned char> expected;
    std::uint32_t n = 0;
    while (true) {
        std::vector<unsigned char> record(1000 + n % 777, static_cast<unsigned char>(n));
        if (!queue.fits(record.size()))
            break;
        ASSERT_TRUE(queue.append2(&n, sizeof n, record.data(), record.size() - sizeof n));
        expected.insert(expected.end(), reinterpret_cast<unsigned char*>(&n),
                        reinterpret_cast<unsigned char*>(&n) + sizeof n);
        expected.insert(expected.end(), record.begin(), record.end() - sizeof n);
        ++n;
    }
    EXPECT_EQ(queue.held(), expected.size());
    EXPECT_LE(queue.held(), 3 * HoldQueue::kChunkBytes);
    EXPECT_GT(queue.held(), 3 * HoldQueue::kChunkBytes - 2000);
    EXPECT_EQ(queue.peak(), queue.held());
    // Control records go in whatever the limit.
    const unsigned char control[48] = {7};
    EXPECT_FALSE(queue.fits(sizeof control + 2000));
    ASSERT_TRUE(queue.append(control, sizeof control));
    expected.insert(expected.end(), control, control + sizeof control);

    // Written through a pipe of 64 KiB, read on the other side: the same bytes in order.
    std::vector<unsigned char> got;
    std::vector<unsigned char> chunk(1 << 16);
    while (!queue.empty()) {
        ASSERT_GE(queue.writeTo(pipeEnds[1]), 0);
        ssize_t r;
        while ((r = read(pipeEnds[0], chunk.data(), chunk.size())) > 0)
            got.insert(got.end(), chunk.begin(), chunk.begin() + r);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(queue.held(), 0u);
    // Room again for as much as before.
    EXPECT_TRUE(queue.fits(3 * HoldQueue::kChunkBytes));
    close(pipeEnds[0]);
    // A reader that went away is an error, not a wait (the helper ignores SIGPIPE as well).
    signal(SIGPIPE, SIG_IGN);
    ASSERT_TRUE(queue.append(control, sizeof control));
    EXPECT_EQ(queue.writeTo(pipeEnds[1]), -1);
    close(pipeEnds[1]);
}

TEST(CaptureHelper, TheRingCarriesTheStreamInOrderAndOnlyWhatWasAnnounced) {
    constexpr std::uint64_t kRing = streamring::kMinBytes;
    const std::size_t mapped = streamring::kIndexBytes + kRing;
    struct Case {
        const char* what;
        const char* steps; // p: a record on the pipe; r: a run of records through the ring
        std::size_t recordBytes;
        bool lieAboutARun;   // the last run is announced one byte longer than was published
        bool lieAboutTaking; // the window's index runs ahead of what was published
    };
    const Case cases[] = {
        {"pipe records and runs keep their order", "prpprp", 700, false, false},
        {"runs that wrap the ring many times", "rrrrrrrrrrrr", 250000, false, false},
        {"an announcement beyond what was published", "prr", 700, true, false},
        {"a window that claims to have taken more frees nothing", "rr", 700, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
        void* map =
            mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(map, MAP_FAILED);
        streamring::Ring helper;
        helper.attach(map, kRing);
        std::vector<unsigned char> expected, got(2 * kRing);
        std::size_t have = 0;
        {
            HelperStream stream(ends[0], map, kRing); // unmaps at the end
            const auto readAll = [&] {
                for (ssize_t n; (n = stream.read(got.data() + have, got.size() - have)) > 0;) {
                    have += std::size_t(n);
                    if (have == got.size()) {
                        got.resize(got.size() * 2);
                    }
                }
                return errno;
            };
            const auto record = [&](std::uint32_t serial) {
                std::vector<unsigned char> r(kHeaderBytes + c.recordBytes, serial & 0xff);
                putHeader(r.data(), Kind::End,
                          std::uint32_t(c.recordBytes > kMaxText ? 0 : c.recordBytes));
                if (c.recordBytes > kMaxText) // a frame record carries the large sizes
                    putHeader(r.data(), Kind::Frame, std::uint32_t(c.recordBytes));
                return r;
            };
            std::uint32_t serial = 0;
            int readError = 0;
            for (const char* step = c.steps; *step != '\0'; ++step) {
                const std::vector<unsigned char> r = record(serial++);
                std::uint64_t announced = r.size();
                if (*step == 'p') {
                    ASSERT_EQ(write(ends[1], r.data(), r.size()), ssize_t(r.size()));
                } else {
                    if (c.lieAboutTaking) {
                        const std::uint64_t room = helper.room();
                        std::atomic_ref<std::uint64_t>(static_cast<std::uint64_t*>(map)[8])
                            .store(~0ULL); // the window's index, a cache line after the helper's
                        EXPECT_EQ(helper.room(), room) << "freed what was never published";
                    }
                    ASSERT_TRUE(helper.stage(r.data(), r.size()));
                    helper.publish();
                    if (c.lieAboutARun && step[1] == '\0')
                        ++announced;
                    unsigned char a[kHeaderBytes + kRingBytes];
                    putHeader(a, Kind::Ring, std::uint32_t(kRingBytes));
                    std::memcpy(a + kHeaderBytes, &announced, sizeof announced);
                    ASSERT_EQ(write(ends[1], a, sizeof a), ssize_t(sizeof a));
                }
                expected.insert(expected.end(), r.begin(), r.end());
                readError = readAll();
            }
            if (c.lieAboutARun) {
                EXPECT_EQ(readError, EPROTO);
                expected.resize(expected.size() - c.recordBytes - kHeaderBytes);
            } else {
                EXPECT_EQ(readError, EAGAIN);
            }
            EXPECT_FALSE(stream.pending());
        }
        got.resize(have);
        EXPECT_EQ(got, expected);
        close(ends[0]);
        close(ends[1]);
    }
}

} // namespace

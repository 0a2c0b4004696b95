// Parts of the capture component that need no privilege: filters, device questions, misuse.
#include "platform/HelperCapture.h"
#include "support/CaptureHelperPath.h"
#include "platform/PcapSupport.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>

namespace {

/// pcap's own message for a text that does not compile, or nothing when it compiles.
std::optional<QString> pcapVerdict(const QByteArray& text) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    bpf_program program{};
    std::optional<QString> message;
    if (pcap_compile(dead, &program, text.constData(), 1, PCAP_NETMASK_UNKNOWN) != 0)
        message = QString::fromLocal8Bit(pcap_geterr(dead));
    else
        pcap_freecode(&program);
    pcap_close(dead);
    return message;
}

TEST(PcapSupport, FiltersCompileOrFailWithPcapsOwnMessage) {
    struct Case {
        const char* text;
        bool compiles;
    };
    const Case cases[] = {{"", true},
                          {"tcp", true},
                          {"udp port 53", true},
                          {"host 10.231.1.1 and not arp", true},
                          {"ether proto 0x0800 and len > 60", true},
                          {"tcp port", false},
                          {"hoste 10.0.0.1", false},
                          {"port 99999", false},
                          {"(tcp", false},
                          {"net 10.0.0.0/33", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            pcapsupport::BpfProgram program =
                pcapsupport::compileFilter(QString::fromLatin1(c.text));
            EXPECT_TRUE(c.compiles);
            EXPECT_NE(program.get(), nullptr);
        } catch (const CaptureError& e) {
            EXPECT_FALSE(c.compiles) << e.what();
            // The description is libpcap's own explanation, word for word.
            const std::optional<QString> message = pcapVerdict(c.text);
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(e.description(), *message);
            EXPECT_FALSE(e.description().isEmpty());
        }
    }
}

TEST(PcapSupport, DeviceQuestionsAnswerForThisNamespace) {
    struct Case {
        QString name;
        qint32 linkType;
        pcapsupport::DeviceState state;
    };
    const Case cases[] = {
        {QStringLiteral("lo"), 772, pcapsupport::DeviceState::Up},
        {QStringLiteral("any"), 113, pcapsupport::DeviceState::Gone},
        {QStringLiteral("qmnosuch0"), 0, pcapsupport::DeviceState::Gone},
        {QStringLiteral("a-name-far-too-long-for-a-device"), 0, pcapsupport::DeviceState::Gone},
        {QString(), 0, pcapsupport::DeviceState::Gone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(pcapsupport::linkTypeOf(c.name), c.linkType);
        EXPECT_EQ(pcapsupport::deviceState(c.name), c.state);
    }
    EXPECT_TRUE(pcapsupport::adapterPresent(QStringLiteral("lo")));
    EXPECT_FALSE(pcapsupport::adapterPresent(QStringLiteral("qmnosuch0")));
    EXPECT_FALSE(pcapsupport::adapterPresent(QString()));
    EXPECT_TRUE(pcapsupport::adapterPresent(QStringLiteral("any")));
}

TEST(HelperCapture, MisuseFailsCleanlyWithoutAnAdapter) {
    HelperCapture capture(captureHelperPath());
    EXPECT_TRUE(pcapsupport::libraryVersion().contains(QStringLiteral("libpcap")));
    EXPECT_FALSE(capture.isCapturing());
    capture.StopCapture(); // harmless when not capturing
    EXPECT_FALSE(capture.ActiveAdapter().has_value());

    // No adapter chosen.
    try {
        capture.StartCapture();
        ADD_FAILURE() << "capture started without an adapter";
    } catch (const CaptureError& e) {
        EXPECT_FALSE(e.description().isEmpty());
    }
    EXPECT_FALSE(capture.isCapturing());

    // Filters are kept before any adapter is active; a bad one changes nothing.
    EXPECT_EQ(capture.Filter(), QString());
    capture.setFilter(QStringLiteral("tcp port 80"));
    EXPECT_EQ(capture.Filter(), QStringLiteral("tcp port 80"));
    EXPECT_THROW(capture.setFilter(QStringLiteral("tcp port")), CaptureError);
    EXPECT_EQ(capture.Filter(), QStringLiteral("tcp port 80"));
    capture.setFilter(QString());
    EXPECT_EQ(capture.Filter(), QString());

    // The list is there without any privilege, and loopback is no Ethernet adapter.
    bool sawLo = false;
    for (const Adapter& a : capture.Adapters()) {
        if (a.Name == QLatin1String("lo")) {
            sawLo = true;
            EXPECT_NE(a.LinkType, 1);
            ASSERT_FALSE(a.Addresses.isEmpty());
            EXPECT_EQ(a.Addresses.first().IPAddress, QStringLiteral("127.0.0.1"));
        }
    }
    EXPECT_TRUE(sawLo);
}

} // namespace

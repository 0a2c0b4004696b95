#include "platform/HelperMessages.h"

#include "platform/helper/CaptureStream.h"

#include <pcap/pcap.h>

namespace {

QString privilegeHint(const QString& helper) {
    return QStringLiteral("Capturing needs the CAP_NET_RAW capability, which only Quelmint's "
                          "capture helper holds (Quelmint itself needs none): grant it once with: "
                          "sudo setcap cap_net_raw=ep %1")
        .arg(helper);
}

} // namespace

QString helperOpenFailure(const QString& name, qint32 code, const QString& message,
                          const QString& helper) {
    switch (code) {
    case PCAP_ERROR_PERM_DENIED:
    case PCAP_ERROR_PROMISC_PERM_DENIED:
        return QStringLiteral("Cannot capture on adapter %1: %2\r\n%3")
            .arg(name, message, privilegeHint(helper));
    case PCAP_ERROR_IFACE_NOT_UP:
        return QStringLiteral("The adapter %1 is down (%2). Capture can start once it is up again.")
            .arg(name, message);
    case PCAP_ERROR_NO_SUCH_DEVICE:
        return QStringLiteral("There is no adapter named %1 (%2).").arg(name, message);
    case capturestream::kFilterRejected:
        return QStringLiteral("Cannot set the filter on adapter %1: %2").arg(name, message);
    case capturestream::kPrivilegeNotDropped:
        return QStringLiteral("The capture helper %1 could not give up its privileges after "
                              "opening adapter %2, so it does not capture.")
            .arg(helper, name);
    default:
        return QStringLiteral("Cannot capture on adapter %1: %2").arg(name, message);
    }
}

#include "platform/QHostInfoResolver.h"

#include <QHostInfo>

void QHostInfoResolver::lookUp(const IpAddress& address) {
    QHostInfo::lookupHost(address.text(), &context_, [this, address](const QHostInfo& info) {
        const QString name = info.hostName();
        // Without a reverse entry the resolver gives the address back as text.
        if (info.error() != QHostInfo::NoError || name.isEmpty() ||
            IpAddress::parse(name) == address) {
            answer(address, std::nullopt);
            return;
        }
        // The system's bytes come as Latin-1; give them back unchanged.
        bool latin1 = true;
        for (QChar c : name)
            latin1 = latin1 && c.unicode() <= 0xFF;
        answer(address, latin1 ? name.toLatin1() : name.toUtf8());
    });
}

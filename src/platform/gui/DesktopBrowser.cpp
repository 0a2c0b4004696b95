#include "platform/gui/DesktopBrowser.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopBrowser::openUrl(const QString& address) {
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    if (!url.isValid() || url.isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

#include "platform/gui/DesktopBrowser.h"

#include <QDesktopServices>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

bool DesktopBrowser::openUrl(const QString& address, std::function<void()> failedLater) {
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    if (!url.isValid() || url.isEmpty())
        return false;
    const QString opener = !opener_.isEmpty()
                               ? opener_
                               : QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);
    // xdg-open ends with a failure code when no browser could take the address; it may also
    // run as long as the browser does, so its end is awaited without blocking.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({url.toString(QUrl::FullyEncoded)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto failed = std::make_shared<std::function<void()>>(std::move(failedLater));
    const std::shared_ptr<int> running = running_;
    ++*running;
    const auto ended = [process, failed, running](bool ok) {
        --*running;
        if (!ok && *failed)
            (*failed)();
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [ended](int code, QProcess::ExitStatus status) {
                         ended(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [ended](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             ended(false);
                     });
    process->start();
    return true;
}

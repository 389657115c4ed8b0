// SPDX-License-Identifier: MIT
#include "DesktopOpener.h"

#include <QProcess>

#include <memory>
#include <utility>

namespace DesktopOpener {

void open(const QString &program, const QString &target, std::function<void()> failed)
{
    // Not detached, so that its exit status tells whether something opened; it is never waited for. An application
    // that xdg-open keeps running in the foreground outlives the call, and the process object is deleted once it ends.
    auto *opener = new QProcess;
    opener->setProgram(program);
    opener->setArguments({target});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto tell = std::make_shared<std::function<void()>>(std::move(failed));
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, tell](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (*tell)
            (*tell)();
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, tell](int exitCode, QProcess::ExitStatus status) {
        if ((status != QProcess::NormalExit || exitCode != 0) && *tell)
            (*tell)();
        opener->deleteLater();
    });
    opener->start();
}

void openWebPage(const QUrl &url, std::function<void(const QString &reason)> failed, const QString &program)
{
    open(program, url.toString(), [url, failed = std::move(failed)] {
        if (failed)
            failed(webPageFailureText(url));
    });
}

QString webPageFailureText(const QUrl &url)
{
    return QStringLiteral("No web browser could be opened to show “") + url.toString() + QStringLiteral("”.");
}

} // namespace DesktopOpener

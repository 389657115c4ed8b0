// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateService.h"

#include "ErrorText.h"
#include "LoggingService.h"
#include "NetworkReplies.h"
#include "ReplyGuard.h"
#include "RestoreImageCatalogService.h"
#include "VersionString.h"

#include <QFileInfo>
#include <QLocale>
#include <QNetworkRequest>
#include <QPointer>

namespace {

const QString category = QStringLiteral("Update");

bool isLinux(const VMBundle &bundle)
{
    return bundle.metadata.guestOSType == VMGuestOSType::linux;
}

VMMacOSUpdateInfo freshRecord(const VMBundle &bundle)
{
    VMMacOSUpdateInfo info;
    info.id = QUuid::createUuid();
    info.detectedAt = QDateTime::currentDateTimeUtc();
    info.currentDisplayName = bundle.metadata.guestOSDisplayName;
    return info;
}

} // namespace

VMMacOSUpdateService::VMMacOSUpdateService(RestoreImageCatalogService &restoreImageCatalogService, SnapshotMaker makeSnapshot,
                                           const LoggingService &logging)
    : VMMacOSUpdateService(restoreImageCatalogService, std::move(makeSnapshot), logging, Options())
{
}

VMMacOSUpdateService::VMMacOSUpdateService(RestoreImageCatalogService &restoreImageCatalogService, SnapshotMaker makeSnapshot,
                                           const LoggingService &logging, Options options, QObject *parent)
    : QObject(parent)
    , m_catalog(restoreImageCatalogService)
    , m_makeSnapshot(std::move(makeSnapshot))
    , m_logging(logging)
    , m_options(std::move(options))
{
}

QCoro::Task<> VMMacOSUpdateService::checkForUpdates(VMBundle bundle)
{
    QPointer<VMMacOSUpdateService> self(this);
    setChecksInFlight(m_checksInFlight + 1);
    if (bundle.metadata.guestOSType == VMGuestOSType::windows) {
        VMMacOSUpdateInfo info = freshRecord(bundle);
        publish(bundle, info, QStringLiteral("Update checks are not available for Windows guests."));
    } else if (isLinux(bundle)) {
        co_await checkLinux(bundle);
    } else {
        co_await checkMacOS(bundle);
    }
    if (self)
        setChecksInFlight(m_checksInFlight - 1);
}

QCoro::Task<> VMMacOSUpdateService::checkMacOS(VMBundle bundle)
{
    QPointer<VMMacOSUpdateService> self(this);
    VMMacOSUpdateInfo info = freshRecord(bundle);
    info.currentBuildVersion = bundle.metadata.guestBuildVersion;
    std::optional<RestoreImageInfo> newest;
    std::exception_ptr failure;
    try {
        newest = co_await m_catalog.fetchLatestRestoreImage();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    if (failure) {
        const QString reason = ErrorText::describe(failure);
        log(reason, bundle);
        publish(bundle, info, reason);
        co_return;
    }
    info.availableVersion = newest->version;
    info.availableBuildVersion = newest->build;

    // Like with like: builds when both are known, else the version inside the display name with the image's version.
    bool upToDate = false;
    if (bundle.metadata.guestBuildVersion && !newest->build.isEmpty()) {
        upToDate = *bundle.metadata.guestBuildVersion == newest->build;
    } else if (bundle.metadata.guestOSDisplayName) {
        const std::optional<QString> current = versionInDisplayName(*bundle.metadata.guestOSDisplayName);
        upToDate = current && VersionString::compare(*current, newest->version) >= 0;
    }
    publish(bundle, info, std::nullopt);
    log(QStringLiteral("Checked for macOS updates for %1: %2").arg(bundle.metadata.name, upToDate ? QStringLiteral("Up to date") : QStringLiteral("Update available")),
        bundle);
}

QCoro::Task<> VMMacOSUpdateService::checkLinux(VMBundle bundle)
{
    QPointer<VMMacOSUpdateService> self(this);
    VMMacOSUpdateInfo info = freshRecord(bundle);
    const std::optional<LinuxDistribution> distribution = matchingDistribution(bundle);
    if (!distribution || !distribution->isoURL) {
        publish(bundle, info, QStringLiteral("No known Linux distribution matches this VM, so there is nothing to compare with."));
        co_return;
    }

    QNetworkRequest request(*distribution->isoURL);
    request.setTransferTimeout(int(m_options.headTimeout.count()));
    const ReplyGuard reply(m_network.head(request));
    const bool finished = co_await NetworkReplies::waitForReply(reply.get(), m_options.headTimeout);
    if (!self || !reply.get())
        co_return;
    const std::optional<int> status = NetworkReplies::httpStatus(*reply.get());
    std::optional<QString> failure;
    if (!finished)
        failure = QString::fromUtf8(NetworkReplies::timedOut().what());
    else if (!status)
        failure = QString::fromUtf8(NetworkReplies::transportError(*reply.get()).what());
    else if (*status < 200 || *status > 299)
        failure = QStringLiteral("The distribution's server answered HTTP %1.").arg(*status);
    std::optional<qint64> length;
    try {
        if (!failure)
            length = NetworkReplies::announcedLength(*reply.get());
    } catch (const std::runtime_error &error) {
        // A length we cannot read says nothing about the ISO: the check failed, it did not find the ISO unchanged.
        failure = QString::fromUtf8(error.what());
    }
    if (failure) {
        log(*failure, bundle);
        publish(bundle, info, failure);
        co_return;
    }

    const qint64 remoteSize = length.value_or(-1);
    const QFileInfo local(bundle.bundleURL + QStringLiteral("/LinuxInstall.iso"));
    const qint64 localSize = local.isFile() ? local.size() : 0;
    const QString release = distribution->name + QLatin1Char(' ') + distribution->version;
    const bool unchanged = remoteSize < 1 || remoteSize == localSize;
    if (!unchanged) {
        info.availableVersion = release;
        info.availableBuildVersion = QStringLiteral("remote-") + QString::number(remoteSize);
        info.downloadSizeBytes = quint64(remoteSize);
    }
    publish(bundle, info, std::nullopt);
    log(QStringLiteral("Checked Linux updates for %1: %2")
            .arg(bundle.metadata.name, unchanged ? QStringLiteral("ISO unchanged") : QStringLiteral("Newer ISO available (%1)").arg(release)),
        bundle);
}

QCoro::Task<QString> VMMacOSUpdateService::createPreUpdateSnapshot(VMBundle bundle, VMMacOSUpdateStrategy strategy)
{
    const bool isLinuxGuest = isLinux(bundle);
    const QString date = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    switch (strategy) {
    case VMMacOSUpdateStrategy::manual:
        break;
    case VMMacOSUpdateStrategy::snapshotThenUpdate:
        co_await m_makeSnapshot(bundle.id(), QStringLiteral("Pre-Update Snapshot (%1)").arg(date), QString(), true);
        co_return isLinuxGuest ? QStringLiteral("A safety snapshot has been created. Start the VM and run your package manager to update. If anything breaks, "
                                         "restore from the snapshot.")
                        : QStringLiteral("A safety snapshot has been created. Start the VM and apply the update through System Settings. If the "
                                         "update fails, you can restore from the snapshot.");
    case VMMacOSUpdateStrategy::snapshotUpdateVerifyRollback:
        co_await m_makeSnapshot(bundle.id(), QStringLiteral("Pre-Update Safety Snapshot (%1)").arg(date), QString(), true);
        co_return isLinuxGuest ? QStringLiteral("A safety snapshot has been created. Start the VM, update via your package manager, and verify the system "
                                         "boots correctly. If anything goes wrong, restore from the safety snapshot.")
                        : QStringLiteral("A safety snapshot has been created. Start the VM, apply the update, and verify the system boots "
                                         "successfully. If anything goes wrong, restore from the safety snapshot in the Snapshot Timeline.");
    }
    co_return isLinuxGuest ? QStringLiteral("Run your distribution's package manager inside the guest to update (e.g., 'sudo apt update && sudo apt "
                                     "upgrade' for Ubuntu/Debian, 'sudo dnf upgrade' for Fedora, 'sudo apk upgrade' for Alpine).")
                    : QStringLiteral("Open System Settings → General → Software Update inside the guest to check and install updates.");
}

std::optional<QString> VMMacOSUpdateService::versionInDisplayName(const QString &displayName)
{
    const QStringList words = displayName.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (auto word = words.crbegin(); word != words.crend(); ++word) {
        if (VersionString::isWellFormedVersion(*word))
            return *word;
    }
    return std::nullopt;
}

std::optional<LinuxDistribution> VMMacOSUpdateService::matchingDistribution(const VMBundle &bundle) const
{
    const QString shown = bundle.metadata.guestOSDisplayName.value_or(QString()).toLower();
    for (const LinuxDistribution &distribution : m_options.distributions) {
        if (!distribution.name.isEmpty() && shown.contains(distribution.name.toLower()))
            return distribution;
    }
    return std::nullopt;
}

void VMMacOSUpdateService::publish(const VMBundle &bundle, const VMMacOSUpdateInfo &info, const std::optional<QString> &failure)
{
    m_updateInfo.insert(bundle.id(), info);
    Q_EMIT updateInfoChanged(m_updateInfo);
    if (failure)
        m_checkFailures.insert(bundle.id(), *failure);
    else
        m_checkFailures.remove(bundle.id());
    Q_EMIT checkFailuresChanged(m_checkFailures);
}

void VMMacOSUpdateService::setChecksInFlight(int count)
{
    m_checksInFlight = count;
    Q_EMIT isCheckingChanged(isChecking());
}

void VMMacOSUpdateService::log(const QString &message, const VMBundle &bundle) const
{
    m_logging.log(message, category, bundle.bundleURL);
}

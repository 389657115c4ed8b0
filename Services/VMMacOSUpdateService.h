// SPDX-License-Identifier: MIT
#pragma once

#include "LinuxDistribution.h"
#include "VMBundle.h"
#include "VMMacOSUpdateInfo.h"
#include "VMMacOSUpdateStrategy.h"
#include "VMSnapshot.h"

#include <QCoroTask>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>

class LoggingService;
class RestoreImageCatalogService;

/**
 * Checks one VM at a time for a newer guest system and keeps the latest
 * result per VM, in memory only: a macOS guest against the newest restore
 * image of the catalog, a Linux guest by asking its distribution's server
 * whether the installation image changed (HEAD). Windows guests are not
 * checked. A check never throws; one that could not be made (catalog
 * unreadable, request failed, no matching distribution) leaves a record
 * without an available version and its reason in checkFailures(), never an
 * "up to date". It also takes the dated safety snapshot before an update
 * and returns the guidance shown to the user. GUI thread only; log lines go
 * to the VM's log with the category "Update".
 *
 * The snapshot is taken through `makeSnapshot`, which must cope with a
 * running VM (pause, copy, resume): the coordinator's snapshot operation.
 *
 * @code
 * co_await updates.checkForUpdates(bundle);
 * const VMMacOSUpdateInfo info = updates.updateInfo().value(bundle.id());
 * @endcode
 */
class VMMacOSUpdateService final : public QObject
{
    Q_OBJECT

public:
    using SnapshotMaker = std::function<QCoro::Task<VMSnapshot>(QUuid vmID, QString name, QString notes, bool isAutoSnapshot)>;

    struct Options {
        std::chrono::milliseconds headTimeout{60000};
        /// The distributions a Linux guest is matched against, in order.
        QList<LinuxDistribution> distributions = LinuxDistribution::catalog();
    };

    VMMacOSUpdateService(RestoreImageCatalogService &restoreImageCatalogService, SnapshotMaker makeSnapshot, const LoggingService &logging);
    VMMacOSUpdateService(RestoreImageCatalogService &restoreImageCatalogService, SnapshotMaker makeSnapshot, const LoggingService &logging,
                         Options options, QObject *parent = nullptr);

    const QMap<QUuid, VMMacOSUpdateInfo> &updateInfo() const { return m_updateInfo; }
    /// Why the last check of a VM could not be made; no entry after a check that could.
    const QMap<QUuid, QString> &checkFailures() const { return m_checkFailures; }
    /// True while any check runs.
    bool isChecking() const { return m_checksInFlight > 0; }

    QCoro::Task<> checkForUpdates(VMBundle bundle);

    /// Takes the snapshot the strategy asks for and returns the guidance text; the snapshot's errors are thrown unchanged.
    QCoro::Task<QString> createPreUpdateSnapshot(VMBundle bundle, VMMacOSUpdateStrategy strategy);

    /// The version inside a display name such as "macOS 14.6.1", when there is one.
    static std::optional<QString> versionInDisplayName(const QString &displayName);

Q_SIGNALS:
    void updateInfoChanged(const QMap<QUuid, VMMacOSUpdateInfo> &updateInfo);
    void checkFailuresChanged(const QMap<QUuid, QString> &checkFailures);
    void isCheckingChanged(bool checking);

private:
    QCoro::Task<> checkMacOS(VMBundle bundle);
    QCoro::Task<> checkLinux(VMBundle bundle);
    std::optional<LinuxDistribution> matchingDistribution(const VMBundle &bundle) const;
    void publish(const VMBundle &bundle, const VMMacOSUpdateInfo &info, const std::optional<QString> &failure);
    void setChecksInFlight(int count);
    void log(const QString &message, const VMBundle &bundle) const;

    RestoreImageCatalogService &m_catalog;
    SnapshotMaker m_makeSnapshot;
    const LoggingService &m_logging;
    Options m_options;
    QNetworkAccessManager m_network;
    QMap<QUuid, VMMacOSUpdateInfo> m_updateInfo;
    QMap<QUuid, QString> m_checkFailures;
    int m_checksInFlight = 0;
};

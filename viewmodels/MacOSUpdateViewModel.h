// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"
#include "VMMacOSUpdateInfo.h"
#include "VMMacOSUpdateStrategy.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

class SnapshotTimelineViewModel;
class VMDetailsViewModel;
class VMMacOSUpdateService;

/**
 * The state and actions behind the details pane's update panel: what the
 * update service last answered about the pane's VM (or why it could not),
 * whether it is checking, and the snapshot taken before an update, which
 * takes its turn among the VM's snapshot operations and is then shown in the
 * timeline. A failed pre-update snapshot is emitted through failed() for
 * the pane's banner; its guidance comes out of updatePrepared(). GUI thread
 * only.
 *
 * @code
 * MacOSUpdateViewModel updates(details, timeline, updateService);
 * co_await updates.checkForUpdates();
 * @endcode
 */
class MacOSUpdateViewModel final : public QObject
{
    Q_OBJECT

public:
    MacOSUpdateViewModel(
        const VMDetailsViewModel &pane, SnapshotTimelineViewModel &timeline, VMMacOSUpdateService &updates, QObject *parent = nullptr);

    /// The guest of the pane's VM; none without a VM.
    std::optional<VMGuestOSType> guestOSType() const;
    /// Whether the VM runs or is paused: no update is prepared then.
    bool isVMActive() const;
    const std::optional<VMMacOSUpdateInfo> &updateInfo() const { return m_updateInfo; }
    /// Why the last update check could not be made; none after a check that could.
    const std::optional<QString> &updateCheckFailure() const { return m_updateCheckFailure; }
    /// The update service is checking a VM (any VM: the service checks one at a time).
    bool isChecking() const;
    bool isSnapshotOperationRunning() const;

    /// Asks the update service about the VM and publishes its answer, or why there was none.
    QCoro::Task<> checkForUpdates();
    /// Takes the snapshot the strategy asks for (a running VM is paused for the copy); the guidance text, none on failure.
    QCoro::Task<std::optional<QString>> createPreUpdateSnapshot(VMMacOSUpdateStrategy strategy);
    /// The panel's Prepare: takes the pre-update snapshot and hands its guidance to updatePrepared().
    QCoro::Task<> prepareUpdate(VMMacOSUpdateStrategy strategy);

Q_SIGNALS:
    /// The pane's VM changed (its guest or its run state among others).
    void vmChanged();
    void updateInfoChanged();
    void isCheckingChanged();
    void isSnapshotOperationRunningChanged();
    /// A pre-update snapshot was taken; `guidance` says how to go on with the update.
    void updatePrepared(const QString &guidance);
    /// A pre-update snapshot failed; `message` is the banner's text.
    void failed(const QString &message);

private:
    const VMDetailsViewModel &m_pane;
    SnapshotTimelineViewModel &m_timeline;
    VMMacOSUpdateService &m_updates;
    std::optional<VMMacOSUpdateInfo> m_updateInfo;
    std::optional<QString> m_updateCheckFailure;
};

// SPDX-License-Identifier: MIT
#include "MacOSUpdateViewModel.h"

#include "SnapshotTimelineViewModel.h"
#include "VMDetailsViewModel.h"
#include "VMMacOSUpdateService.h"

#include <QPointer>

MacOSUpdateViewModel::MacOSUpdateViewModel(
    const VMDetailsViewModel &pane, SnapshotTimelineViewModel &timeline, VMMacOSUpdateService &updates, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_timeline(timeline)
    , m_updates(updates)
{
    connect(&m_pane, &VMDetailsViewModel::bundleChanged, this, &MacOSUpdateViewModel::vmChanged);
    connect(&m_updates, &VMMacOSUpdateService::isCheckingChanged, this, &MacOSUpdateViewModel::isCheckingChanged);
    connect(
        &m_timeline, &SnapshotTimelineViewModel::isOperationRunningChanged, this, &MacOSUpdateViewModel::isSnapshotOperationRunningChanged);
}

std::optional<VMGuestOSType> MacOSUpdateViewModel::guestOSType() const
{
    return m_pane.bundle() ? std::optional(m_pane.bundle()->metadata.guestOSType) : std::nullopt;
}

bool MacOSUpdateViewModel::isVMActive() const
{
    return m_pane.isActive();
}

bool MacOSUpdateViewModel::isChecking() const
{
    return m_updates.isChecking();
}

bool MacOSUpdateViewModel::isSnapshotOperationRunning() const
{
    return m_timeline.isOperationRunning();
}

QCoro::Task<> MacOSUpdateViewModel::checkForUpdates()
{
    if (!m_pane.bundle())
        co_return;
    const QPointer<MacOSUpdateViewModel> self(this);
    const QUuid id = m_pane.bundleID();
    co_await m_updates.checkForUpdates(*m_pane.bundle());
    if (!self)
        co_return;
    m_updateInfo = m_updates.updateInfo().contains(id) ? std::optional(m_updates.updateInfo().value(id)) : std::nullopt;
    m_updateCheckFailure = m_updates.checkFailures().contains(id) ? std::optional(m_updates.checkFailures().value(id)) : std::nullopt;
    Q_EMIT updateInfoChanged();
}

QCoro::Task<std::optional<QString>> MacOSUpdateViewModel::createPreUpdateSnapshot(VMMacOSUpdateStrategy strategy)
{
    if (!m_pane.bundle())
        co_return std::nullopt;
    const std::optional<SnapshotTimelineViewModel::Operation> operation = m_timeline.beginOperation();
    if (!operation)
        co_return std::nullopt;
    const QPointer<MacOSUpdateViewModel> self(this);
    const QPointer<SnapshotTimelineViewModel> timeline(&m_timeline);
    try {
        QString guidance = co_await m_updates.createPreUpdateSnapshot(*m_pane.bundle(), strategy);
        if (timeline)
            timeline->refresh();
        co_return guidance;
    } catch (const std::exception &error) {
        if (self)
            Q_EMIT failed(QString::fromUtf8(error.what()));
    }
    co_return std::nullopt;
}

QCoro::Task<> MacOSUpdateViewModel::prepareUpdate(VMMacOSUpdateStrategy strategy)
{
    const QPointer<MacOSUpdateViewModel> self(this);
    const std::optional<QString> guidance = co_await createPreUpdateSnapshot(strategy);
    if (self && guidance)
        Q_EMIT self->updatePrepared(*guidance);
}

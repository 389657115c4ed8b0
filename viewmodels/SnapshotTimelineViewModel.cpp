// SPDX-License-Identifier: MIT
#include "SnapshotTimelineViewModel.h"

#include "LoggingService.h"
#include "VMBundleOperations.h"
#include "VMDetailsViewModel.h"
#include "VMSnapshotService.h"

#include <QPointer>

SnapshotTimelineViewModel::SnapshotTimelineViewModel(VMDetailsViewModel &pane, Services services, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_bundleOperations(services.operations)
    , m_snapshots(services.snapshots)
    , m_logging(services.logging)
{
    connect(&m_pane, &VMDetailsViewModel::bundleChanged, this, &SnapshotTimelineViewModel::refresh);
    refresh();
}

void SnapshotTimelineViewModel::setOperations(int count)
{
    m_operations = count;
    Q_EMIT isOperationRunningChanged();
}

void SnapshotTimelineViewModel::refresh()
{
    if (!m_pane.bundle())
        return;
    m_timeline = m_snapshots.loadTimeline(*m_pane.bundle());
    Q_EMIT timelineChanged();
}

std::optional<SnapshotTimelineViewModel::Operation> SnapshotTimelineViewModel::beginOperation()
{
    std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(m_pane.bundleID(), u"snapshot");
    if (!ticket)
        return std::nullopt;
    return Operation(
        std::move(*ticket), CountedOperation(*this, &SnapshotTimelineViewModel::m_operations, &SnapshotTimelineViewModel::setOperations));
}

void SnapshotTimelineViewModel::report(const std::exception &error)
{
    const QString text = QString::fromUtf8(error.what());
    m_logging.log(text, QStringLiteral("Details"));
    Q_EMIT failed(text);
}

QString SnapshotTimelineViewModel::snapshotName(const QUuid &snapshotID) const
{
    for (const VMSnapshot &snapshot : m_timeline.snapshots) {
        if (snapshot.id == snapshotID)
            return snapshot.name;
    }
    return {};
}

void SnapshotTimelineViewModel::announce(const VMDetailsViewModel::BusyFrame &frame, const QString &done, const QString &name)
{
    if (VMDetailsViewModel *pane = frame.model())
        pane->announce(name.isEmpty() ? done.trimmed() : done + QStringLiteral("“") + name + QStringLiteral("”"));
}

QCoro::Task<> SnapshotTimelineViewModel::createSnapshot(QString name, QString notes)
{
    const std::optional<Operation> operation = beginOperation();
    if (!operation)
        co_return;
    const VMDetailsViewModel::BusyFrame frame(m_pane);
    if (!m_pane.bundle())
        co_return;
    const QPointer<SnapshotTimelineViewModel> self(this);
    try {
        const VMSnapshot snapshot = co_await m_bundleOperations.createSnapshot(m_pane.bundleID(), std::move(name), std::move(notes), false);
        if (self) {
            refresh();
            announce(frame, QStringLiteral("Created snapshot "), snapshot.name);
        }
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

QCoro::Task<> SnapshotTimelineViewModel::restoreSnapshot(QUuid snapshotID)
{
    const std::optional<Operation> operation = beginOperation();
    if (!operation)
        co_return;
    const VMDetailsViewModel::BusyFrame frame(m_pane);
    if (!m_pane.bundle())
        co_return;
    const QPointer<SnapshotTimelineViewModel> self(this);
    const QString name = snapshotName(snapshotID);
    try {
        co_await m_bundleOperations.restoreSnapshot(m_pane.bundleID(), snapshotID);
        if (self && frame.model()) {
            m_pane.republishBundle();
            refresh();
            m_pane.refreshDiskUsage();
            announce(frame, QStringLiteral("Restored snapshot "), name);
        }
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

QCoro::Task<> SnapshotTimelineViewModel::deleteSnapshot(QUuid snapshotID)
{
    const std::optional<Operation> operation = beginOperation();
    if (!operation)
        co_return;
    const VMDetailsViewModel::BusyFrame frame(m_pane);
    if (!m_pane.bundle())
        co_return;
    const QString name = snapshotName(snapshotID);
    try {
        m_bundleOperations.deleteSnapshot(m_pane.bundleID(), snapshotID);
        refresh();
        announce(frame, QStringLiteral("Deleted snapshot "), name);
    } catch (const std::exception &error) {
        report(error);
    }
}

void SnapshotTimelineViewModel::renameSnapshot(const QUuid &snapshotID, const QString &name)
{
    if (!m_pane.bundle())
        return;
    try {
        m_snapshots.updateSnapshot(snapshotID, name, *m_pane.bundle());
    } catch (const std::exception &error) {
        report(error);
    }
    refresh();
}

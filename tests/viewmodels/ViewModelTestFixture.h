// SPDX-License-Identifier: MIT
#pragma once

#include "../runtime/CoordinatorTestFixture.h"
#include "FileChooser.h"
#include "ApplicationResources.h"
#include "RestoreImageCatalogService.h"
#include "VMBundleOperations.h"
#include "VMCIRunnerService.h"
#include "VMMacOSUpdateService.h"
#include "VMNetworkTopologyService.h"
#include "VMPerformanceMonitorService.h"
#include "VMDetailsPaneModels.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMSnapshotService.h"
#include "VMTemplateService.h"

#include <QCoreApplication>
#include <QTest>

/**
 * Answers every choice with the next scripted path (none: the user cancels)
 * and records what was asked. A choice of several items takes the next
 * scripted list when there is one, else the next path as a chooser of one
 * item would.
 */
class ScriptedFileChooser final : public FileChooser
{
public:
    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) override
    {
        requests << request;
        co_return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }

    QCoro::Task<QStringList> chooseSeveral(FileChoiceRequest request) override
    {
        if (severalAnswers.isEmpty())
            co_return co_await FileChooser::chooseSeveral(std::move(request));
        requests << request;
        co_return severalAnswers.takeFirst();
    }

    QList<std::optional<QString>> answers;
    QList<QStringList> severalAnswers;
    QList<FileChoiceRequest> requests;
};

/// The coordinator's world of the runtime tests, with the long bundle operations a view model needs.
class ViewModelTest : public CoordinatorTesting::VirtualMachineCoordinatorTest
{
protected:
    /// Lets queued deliveries (the store's list) arrive.
    static void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    /// A details view model for the VM on a host of 8 processors and 32 GiB, with its first list delivered.
    std::unique_ptr<VMDetailsViewModel> makeDetails(const QUuid &id, QEMUSetupService *qemuSetup = nullptr)
    {
        const HostCapacity host{8, 32 * CoordinatorTesting::gibibyte};
        auto details = std::make_unique<VMDetailsViewModel>(
            id, VMDetailsViewModel::Services{store(), coordinator(), m_runtime, m_disks, m_automation, m_templates, m_viewer, m_logging, [host] { return host; },
                                             qemuSetup});
        settle();
        return details;
    }

    std::unique_ptr<SnapshotTimelineViewModel> makeTimeline(VMDetailsViewModel &details)
    {
        return std::make_unique<SnapshotTimelineViewModel>(details, SnapshotTimelineViewModel::Services{m_operations, m_snapshots, m_logging});
    }

    std::unique_ptr<DiskAnalyticsViewModel> makeDiskAnalytics(VMDetailsViewModel &details, SnapshotTimelineViewModel &timeline)
    {
        return std::make_unique<DiskAnalyticsViewModel>(details, timeline, m_analytics, m_operations, m_logging);
    }

    /// Every view model of a details pane for the VM, as the application builds them; the export asks `m_chooser`.
    VMDetailsPaneModels makeDetailsPane(const QUuid &id)
    {
        VMDetailsPaneModels models;
        models.details = makeDetails(id);
        models.exportRun = std::make_unique<VMExportRun>(*models.details, VMExportRun::Services{m_operations, m_exports, store(), m_chooser}, nullptr);
        models.snapshotTimeline = makeTimeline(*models.details);
        models.performance = std::make_unique<PerformanceDashboardViewModel>(*models.details, m_performance);
        models.diskAnalytics = makeDiskAnalytics(*models.details, *models.snapshotTimeline);
        models.updates = std::make_unique<MacOSUpdateViewModel>(*models.details, *models.snapshotTimeline, m_updates);
        models.fileDrop = std::make_unique<FileDropTransferViewModel>(*models.details);
        models.ciRunner = std::make_unique<CIRunnerViewModel>(m_ciRunner, store(), id, m_logging);
        models.networkTopology = std::make_unique<NetworkTopologyViewModel>(m_networks, store(), m_logging);
        return models;
    }

    /// A new installed, stopped VM with this display and memory.
    VMBundle vmWithDisplay(qint64 width, qint64 height, qint64 pixelsPerInch, quint64 memoryBytes)
    {
        return storeChanged(installedBundle(QStringLiteral("VM %1").arg(++m_bundlesMade)).id(), [&](VMBundle &bundle) {
            VMHardwareProfile &profile = bundle.metadata.hardwareProfile;
            profile.displayWidth = width;
            profile.displayHeight = height;
            profile.displayPixelsPerInch = pixelsPerInch;
            profile.memorySizeBytes = memoryBytes;
            bundle.metadata.memorySizeBytes = memoryBytes;
        });
    }

    VMSnapshotService m_snapshots{m_disks, m_logging};
    VMExportService m_exports{m_logging, store()};
    const VMDiskAnalyticsService m_analytics{m_disks, m_logging};
    VMBundleOperations m_operations{{coordinator(), store(), m_runtime, m_snapshots, m_exports, m_analytics}};
    /// The one path by which snapshots of a running VM are taken.
    VMMacOSUpdateService::SnapshotMaker m_snapshotMaker = [this](QUuid id, QString name, QString notes, bool isAuto) {
        return m_operations.createSnapshot(id, std::move(name), std::move(notes), isAuto);
    };
    // Nothing here has a QEMU process to measure, and no catalog is reachable.
    VMPerformanceMonitorService m_performance{[](const QUuid &) { return std::optional<qint64>(); }};
    RestoreImageCatalogService m_catalog{m_logging, QUrl(QStringLiteral("https://127.0.0.1:9/catalog.json")), ApplicationResources(std::nullopt)};
    VMMacOSUpdateService m_updates{m_catalog, m_snapshotMaker, m_logging};
    VMCIRunnerService m_ciRunner{m_logging, [this](const QUuid &id) { return coordinator().effectiveRuntimeState(id); }, m_snapshotMaker};
    VMNetworkTopologyService m_networks{m_logging};
    VMTemplateService m_templates{m_logging};
    ScriptedFileChooser m_chooser;
    int m_bundlesMade = 0;
};

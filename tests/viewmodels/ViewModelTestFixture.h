// SPDX-License-Identifier: MIT
#pragma once

#include "../runtime/CoordinatorTestFixture.h"
#include "FileChooser.h"
#include "VMBundleOperations.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMSnapshotService.h"

#include <QCoreApplication>
#include <QTest>

/// Answers every choice with the next scripted path (none: the user cancels) and records what was asked.
class ScriptedFileChooser final : public FileChooser
{
public:
    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest request) override
    {
        requests << request;
        co_return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }

    QList<std::optional<QString>> answers;
    QList<FileChoiceRequest> requests;
};

/// The coordinator's world of the runtime tests, with the long bundle operations a view model needs.
class ViewModelTest : public CoordinatorTesting::VirtualMachineCoordinatorTest
{
protected:
    /// Lets queued deliveries (the store's list) arrive.
    static void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    VMSnapshotService m_snapshots{m_disks, m_logging};
    VMExportService m_exports{m_logging, store()};
    const VMDiskAnalyticsService m_analytics{m_disks, m_logging};
    VMBundleOperations m_operations{{coordinator(), store(), m_runtime, m_snapshots, m_exports, m_analytics}};
    ScriptedFileChooser m_chooser;
};

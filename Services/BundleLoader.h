// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class LoggingService;
class ProtectionMirror;

/**
 * Reads one bundle folder back into a VMBundle: decodes the metadata and the
 * side files, derives what the disk shows (the guest kind of an old bundle,
 * the shared-folder count, the first-boot flag, the saved state), resets a
 * stored run state to stopped (a VM never survives the application), checks
 * the required items and, at most once per load, repairs a damaged bundle
 * from its protection mirror. Nothing is written back except what the
 * repair restores.
 *
 * A bundle may come from anywhere, so a folder that is a link is refused, a
 * Metadata.json larger than any real record is not read, and hardware values
 * no VM can run with (no CPU, no memory, an empty display) are brought into
 * range with a log line. It keeps no state of its own and may run on a
 * worker thread.
 */
class BundleLoader
{
public:
    /// A stored run state that a load set back to stopped.
    struct RuntimeStateReset {
        QUuid id;
        QString name;
        VMRuntimeState stored = VMRuntimeState::stopped;
        QString bundleURL;

        /// The line that tells the VM's log about it.
        QString message() const;
    };
    using ResetReport = std::function<void(const RuntimeStateReset &reset)>;

    /// `runningIDs`: VMs that run now; their stored run state is live, not left over, so its reset is not logged.
    BundleLoader(const ProtectionMirror &mirror, const LoggingService &logging, QSet<QUuid> runningIDs = {});
    /// Hands every reset to `report` instead of logging it: a load on a worker cannot know which VMs start meanwhile.
    BundleLoader(const ProtectionMirror &mirror, const LoggingService &logging, ResetReport report);

    /// Throws VirtualMachineError (missingBundleFile, invalidBundle), or the read or decoding error of a bundle file.
    VMBundle loadBundle(const QString &url, bool allowRecovery) const;

    /// The record of the saved-state file the bundle holds now, as a load makes it; none without a file.
    static std::optional<VMSavedState> savedStateRecord(const VMBundle::Layout &layout);

private:

    const ProtectionMirror &m_mirror;
    const LoggingService &m_logging;
    const ResetReport m_reportReset;
};

// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMExportConfiguration.h"
#include "VMExportFormat.h"
#include "VMExportProgress.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

class LoggingService;
class VMStore;

/**
 * Turns a VM bundle into something that can be handed on: a plain copy of
 * the bundle folder ("<name>.vm") or a zip archive of it ("<name>.vmarchive",
 * whose one top entry is the "<name>.vm/" folder), in a folder the user
 * chose, leaving out what the export configuration excludes (see
 * ExportExclusions). The source bundle is never changed.
 *
 * An export never destroys data either: a destination inside the source
 * bundle, or a result that would replace a bundle of the library (the source
 * included), is refused with VirtualMachineError (invalidOperation) before
 * anything is written. The result is made in a hidden StagingFolder beside
 * its final place and only then replaces what was there; a failed export
 * removes what it wrote, and what a crash leaves is removed by the next
 * library load, which looks in the store's recent destinations. An item the guest wrote into the bundle that cannot
 * be read (GuestWrittenContent) is refused the same way, before anything is
 * written.
 *
 * The copying and compressing run on worker threads; the service itself
 * lives on the GUI thread, where it publishes exportProgress() and emits
 * exportProgressChanged() on every assignment; while an archive is written
 * its compressing fraction (content taken in of the content that travels,
 * holes counted) is published a few times a second. Each finished export is
 * logged to the source bundle's log with the category "Export".
 *
 * @code
 * const QString archive = co_await exports.exportVM(bundle, folder, VMExportFormat::compressedArchive, configuration);
 * @endcode
 */
class VMExportService : public QObject
{
    Q_OBJECT

public:
    /// The store names the library's bundles, which no export may replace.
    VMExportService(const LoggingService &logging, const VMStore &store, QObject *parent = nullptr);

    /// Absent until the first export starts; afterwards the last value published.
    const std::optional<VMExportProgress> &exportProgress() const { return m_exportProgress; }
    void setExportProgress(const VMExportProgress &progress);

    /**
     * Exports as the export sheet asks: refuses a VM whose stored run state
     * is not stopped (publishing nothing), publishes preparing, names the
     * result by VMExportConfiguration::resolvedName() and runs the export of
     * the chosen format. Returns the result's location.
     */
    QCoro::Task<QString> exportVM(VMBundle bundle, QString destinationDir, VMExportFormat format, VMExportConfiguration configuration);

    /**
     * Writes "<name>.vm" into `destinationDir`, a sparse copy of the bundle
     * that keeps empty Logs and SavedState folders where their content is
     * left out. Publishes copying 0.0, 0.7 and 1.0, then completed. Failures
     * of the file system are thrown as PlatformError.
     */
    QCoro::Task<QString> exportAsBundle(VMBundle bundle, QString destinationDir, QString name, VMExportConfiguration configuration);

    /**
     * Writes "<name>.vmarchive" into `destinationDir`, streamed from the
     * bundle folder without a staging copy. Publishes copying 0.0 and 0.5,
     * compressing 0.0, then completed. A failure of the compressor publishes
     * failed and throws VirtualMachineError (backupFailed); failures of the
     * file system are thrown as PlatformError.
     */
    QCoro::Task<QString> exportAsArchive(VMBundle bundle, QString destinationDir, QString name, VMExportConfiguration configuration);

Q_SIGNALS:
    void exportProgressChanged();

private:
    /// Refuses names that leave the destination folder and destinations that could destroy a bundle.
    void refuseUnsafeExport(const VMBundle &bundle, const QString &destinationDir, const QString &name, const QString &result) const;

    const LoggingService &m_logging;
    const VMStore &m_store;
    std::optional<VMExportProgress> m_exportProgress;
};

// SPDX-License-Identifier: MIT
#include "VMExportRun.h"

#include "FileChooser.h"
#include "VMBundleOperations.h"
#include "VMDetailsViewModel.h"
#include "VMExportService.h"
#include "VMStore.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

/// A phase's fraction as the service gives it: 0 says only that the phase has begun, so it is not known yet.
std::optional<double> knownFraction(const VMExportProgress &progress)
{
    const double fraction = std::clamp(progress.fractionComplete().value_or(0), 0.0, 1.0);
    return fraction > 0 ? std::optional<double>(fraction) : std::nullopt;
}

QString phaseText(const QString &phase, std::optional<double> fraction)
{
    return fraction ? phase + QLatin1Char(' ') + QString::number(int(std::lround(*fraction * 100))) + QStringLiteral(" %") : phase;
}

} // namespace

VMExportRun::VMExportRun(VMDetailsViewModel &details, Services services, ReplaceConfirmation confirmReplace, QObject *parent)
    : QObject(parent)
    , m_details(&details)
    , m_operations(services.operations)
    , m_exports(services.exports)
    , m_store(services.store)
    , m_chooser(services.chooser)
    , m_confirmReplace(std::move(confirmReplace))
{
    connect(&m_exports, &VMExportService::exportProgressChanged, this, &VMExportRun::followProgress);
}

std::optional<QString> VMExportRun::destinationRefusal(const QString &folder) const
{
    const QString target = resolvedPath(folder);
    if (target == resolvedPath(m_store.rootURL()))
        return QStringLiteral("Choose a folder outside the VM library.");
    QStringList bundles;
    for (const VMBundle &bundle : m_store.bundles())
        bundles << resolvedPath(bundle.bundleURL);
    for (QString place = target; !place.isEmpty();) {
        if (place.endsWith(QStringLiteral(".vm")) || bundles.contains(place))
            return QStringLiteral("Choose a folder outside every VM bundle.");
        const QString parent = QFileInfo(place).path();
        if (parent == place)
            break;
        place = parent;
    }
    return std::nullopt;
}

QCoro::Task<> VMExportRun::run(VMExportFormat format, VMExportConfiguration configuration)
{
    if (m_isRunning || !m_details)
        co_return;
    const QPointer<VMExportRun> self(this);
    setRunning(true);
    struct Finish {
        QPointer<VMExportRun> run;
        ~Finish()
        {
            if (run)
                run->setRunning(false);
        }
    } finish {self};

    FileChoiceRequest request;
    request.title = QStringLiteral("Export Here");
    request.message = QStringLiteral("Choose the folder the export is written to.");
    request.canChooseDirectories = true;
    request.canChooseFiles = false;
    const std::optional<QString> folder = co_await m_chooser.choose(request);
    if (!self || !m_details || !folder || folder->isEmpty())
        co_return;
    VMDetailsViewModel &details = *m_details;
    const std::optional<VMBundle> bundle = details.bundle();
    if (!bundle)
        co_return;
    if (!details.isStopped()) {
        details.setErrorMessage(VirtualMachineError::invalidOperation(QStringLiteral("Stop the VM before exporting.")).errorDescription());
        co_return;
    }
    if (const std::optional<QString> refusal = destinationRefusal(*folder)) {
        details.setErrorMessage(VirtualMachineError::invalidOperation(*refusal).errorDescription());
        co_return;
    }
    const QString extension = format == VMExportFormat::compressedArchive ? QStringLiteral(".vmarchive") : QStringLiteral(".vm");
    const QString result = QDir(*folder).filePath(configuration.resolvedName(bundle->metadata.name) + extension);
    if (QFileInfo(result).exists() || QFileInfo(result).isSymLink()) {
        const bool replace = m_confirmReplace && co_await m_confirmReplace(result);
        if (!self || !replace)
            co_return;
    }

    // The export is the pane's action now: an earlier message no longer belongs here.
    details.setErrorMessage(std::nullopt);
    setStatusText(QStringLiteral("Preparing export…"));
    try {
        const QString location = co_await m_operations.exportVM(bundle->id(), *folder, format, std::move(configuration));
        if (self) {
            setStatusText(std::nullopt);
            // The pane's one banner carries the end of the run, success or failure.
            if (m_details)
                m_details->setErrorMessage(QStringLiteral("Exported to ") + location, MessageKind::information);
        }
    } catch (const std::exception &error) {
        if (self) {
            setStatusText(std::nullopt);
            if (m_details)
                m_details->setErrorMessage(QString::fromUtf8(error.what()));
        }
    }
}

void VMExportRun::followProgress()
{
    if (!m_isRunning || !m_exports.exportProgress())
        return;
    const VMExportProgress &progress = *m_exports.exportProgress();
    switch (progress.kind()) {
    case VMExportProgress::Kind::preparing:
        setStatusText(QStringLiteral("Preparing export…"));
        break;
    case VMExportProgress::Kind::copying:
        setStatusText(phaseText(QStringLiteral("Copying…"), knownFraction(progress)), knownFraction(progress));
        break;
    case VMExportProgress::Kind::compressing:
        setStatusText(phaseText(QStringLiteral("Compressing…"), knownFraction(progress)), knownFraction(progress));
        break;
    case VMExportProgress::Kind::finalizing:
        setStatusText(QStringLiteral("Finishing export…"));
        break;
    case VMExportProgress::Kind::completed:
    case VMExportProgress::Kind::failed:
        // The run itself says how it ended.
        break;
    }
}

void VMExportRun::setRunning(bool running)
{
    m_isRunning = running;
    Q_EMIT isRunningChanged();
}

void VMExportRun::setStatusText(const std::optional<QString> &text, std::optional<double> fraction)
{
    m_statusText = text;
    m_progressFraction = text ? fraction : std::nullopt;
    Q_EMIT statusTextChanged();
}

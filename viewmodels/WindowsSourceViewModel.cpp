// SPDX-License-Identifier: MIT
#include "WindowsSourceViewModel.h"

#include "CreateVMWizardViewModel.h"
#include "GuestMemoryLimits.h"
#include "QEMUSetupService.h"
#include "SizeText.h"
#include "WizardHardwareLimits.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QUrl WindowsSourceViewModel::downloadPageURL()
{
    return QUrl(QStringLiteral("https://www.microsoft.com/software-download/windows11arm64"));
}

QList<WindowsSourceViewModel::PreflightRow> WindowsSourceViewModel::preflightRows(
    const CreateVMWizardViewModel &wizard, bool isQEMUInstalled)
{
    using Status = WindowsISOValidation::Status;
    const std::optional<WindowsISOValidation> &validation = wizard.windowsISOValidation();
    const bool hasImage = wizard.windowsISOURL().has_value();
    const bool valid = hasImage && validation && validation->status == Status::valid;
    // An image passes only once it is checked and taken: a refused one is not a usable selection.
    QString image = QStringLiteral("Not selected");
    QString architecture = QStringLiteral("Awaiting ISO");
    if (hasImage && !validation) {
        image = QStringLiteral("Checking...");
        architecture = QStringLiteral("Checking...");
    } else if (valid) {
        image = QStringLiteral("Selected");
        architecture = QStringLiteral("Verified");
    } else if (hasImage) {
        image = QStringLiteral("Not usable");
        architecture = validation->status == Status::invalidArchitecture
            ? validation->detectedArchitecture.value_or(validation->architectureText)
            : QStringLiteral("Not verified");
    }
    const double memory = GuestMemoryLimits::minimumGB(VMGuestOSType::windows);
    const double disk = WizardHardwareLimits::minimumDiskSizeGB(VMGuestOSType::windows);
    return {
        {QStringLiteral("QEMU engine"), isQEMUInstalled, isQEMUInstalled ? QStringLiteral("Installed") : QStringLiteral("Not installed")},
        {QStringLiteral("Windows 11 ARM ISO"), valid, image},
        {QStringLiteral("ARM64 architecture"), valid || !hasImage, architecture},
        {QStringLiteral("Minimum %1 RAM").arg(SizeText::wholeGB(memory)), wizard.memorySizeGB() >= memory,
            SizeText::wholeGB(wizard.memorySizeGB())},
        {QStringLiteral("Minimum %1 disk").arg(SizeText::wholeGB(disk)), wizard.diskSizeGB() >= disk,
            SizeText::wholeGB(wizard.diskSizeGB())},
    };
}

bool WindowsSourceViewModel::offersImageChoice(const CreateVMWizardViewModel &wizard)
{
    const std::optional<WindowsISOValidation> &validation = wizard.windowsISOValidation();
    return !wizard.windowsISOURL() || (validation && validation->status != WindowsISOValidation::Status::valid);
}

WindowsSourceViewModel::WindowsSourceViewModel(QEMUSetupService &qemuSetup, WindowsImageProvider &images, QObject *parent)
    : QObject(parent)
    , m_qemuSetup(qemuSetup)
    , m_images(images)
{
    connect(&m_qemuSetup, &QEMUSetupService::isQEMUInstalledChanged, this, &WindowsSourceViewModel::changed);
    connect(&m_qemuSetup, &QEMUSetupService::isDownloadingChanged, this, &WindowsSourceViewModel::changed);
    connect(&m_qemuSetup, &QEMUSetupService::downloadProgressChanged, this, &WindowsSourceViewModel::changed);
    connect(&m_qemuSetup, &QEMUSetupService::statusMessageChanged, this, &WindowsSourceViewModel::changed);
    connect(&m_images, &WindowsImageProvider::detectedISOsChanged, this, &WindowsSourceViewModel::changed);
    connect(&m_images, &WindowsImageProvider::isScanningChanged, this, &WindowsSourceViewModel::changed);
}

bool WindowsSourceViewModel::isQEMUInstalled() const
{
    return m_qemuSetup.isQEMUInstalled();
}

bool WindowsSourceViewModel::isInstallingQEMU() const
{
    return m_qemuSetup.isDownloading();
}

double WindowsSourceViewModel::qemuInstallFraction() const
{
    return std::clamp(m_qemuSetup.downloadProgress(), 0.0, 1.0);
}

const QString &WindowsSourceViewModel::qemuStatusMessage() const
{
    return m_qemuSetup.statusMessage();
}

bool WindowsSourceViewModel::canInstallQEMUHere() const
{
    return m_qemuSetup.canInstallHere();
}

std::optional<QString> WindowsSourceViewModel::qemuInstallFailure() const
{
    const QString &status = m_qemuSetup.statusMessage();
    if (isQEMUInstalled() || isInstallingQEMU() || !status.startsWith(QStringLiteral("Failed: ")))
        return std::nullopt;
    return status;
}

QCoro::Task<> WindowsSourceViewModel::installQEMU()
{
    return m_qemuSetup.downloadQEMU();
}

const QList<WindowsSourceViewModel::DetectedImage> &WindowsSourceViewModel::detectedImages() const
{
    return m_images.detectedISOs();
}

bool WindowsSourceViewModel::isScanning() const
{
    return m_images.isScanning();
}

void WindowsSourceViewModel::scanForImages()
{
    m_images.startScan();
}

std::optional<QString> WindowsSourceViewModel::scanReport() const
{
    if (!m_images.hasScanned() || m_images.isScanning())
        return std::nullopt;
    const QString home = QDir::homePath();
    QStringList places;
    for (const QString &folder : m_images.folders()) {
        if (folder.isEmpty())
            continue;
        QString place
            = folder == home || folder.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + folder.mid(home.size()) : folder;
        if (!QFileInfo(folder).isDir())
            place += QStringLiteral(" (missing)");
        places << QDir::toNativeSeparators(place);
    }
    const qsizetype found = m_images.detectedISOs().size();
    const QString findings = found == 0 ? QStringLiteral("no Windows ISOs found")
        : found == 1                    ? QStringLiteral("found 1 Windows ISO")
                                        : QStringLiteral("found %1 Windows ISOs").arg(found);
    return QStringLiteral("Looked in %1: %2.").arg(places.join(QStringLiteral(", ")), findings);
}

bool WindowsSourceViewModel::showsNoImagesHint(const CreateVMWizardViewModel &wizard) const
{
    return detectedImages().isEmpty() && !isScanning() && !wizard.windowsISOURL();
}

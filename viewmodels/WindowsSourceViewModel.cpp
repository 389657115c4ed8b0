// SPDX-License-Identifier: MIT
#include "WindowsSourceViewModel.h"

#include "CreateVMWizardViewModel.h"
#include "QEMUSetupService.h"
#include "SizeText.h"

#include <algorithm>

QUrl WindowsSourceViewModel::downloadPageURL()
{
    return QUrl(QStringLiteral("https://www.microsoft.com/software-download/windows11arm64"));
}

QList<WindowsSourceViewModel::PreflightRow> WindowsSourceViewModel::preflightRows(
    const CreateVMWizardViewModel &wizard, bool isQEMUInstalled)
{
    const std::optional<WindowsISOValidation> &validation = wizard.windowsISOValidation();
    const bool hasImage = wizard.windowsISOURL().has_value();
    const bool valid = validation && validation->status == WindowsISOValidation::Status::valid;
    QString architecture;
    if (valid)
        architecture = QStringLiteral("Verified");
    else if (!hasImage)
        architecture = QStringLiteral("Awaiting ISO");
    else
        architecture = QStringLiteral("Checking...");
    return {
        {QStringLiteral("QEMU engine"), isQEMUInstalled, isQEMUInstalled ? QStringLiteral("Installed") : QStringLiteral("Not installed")},
        {QStringLiteral("Windows 11 ARM ISO"), hasImage, hasImage ? QStringLiteral("Selected") : QStringLiteral("Not selected")},
        {QStringLiteral("ARM64 architecture"), validation ? valid : !hasImage, architecture},
        {QStringLiteral("Minimum 4 GB RAM"), wizard.memorySizeGB() >= 4, SizeText::wholeGB(wizard.memorySizeGB())},
        {QStringLiteral("Minimum 64 GB disk"), wizard.diskSizeGB() >= 64, SizeText::wholeGB(wizard.diskSizeGB())},
    };
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

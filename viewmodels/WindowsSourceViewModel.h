// SPDX-License-Identifier: MIT
#pragma once

#include "WindowsImageProvider.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class CreateVMWizardViewModel;
class QEMUSetupService;

/**
 * What the Windows step of the new-VM wizard shows of this host: whether
 * the QEMU engine is installed, its one-click installation (or why it
 * cannot run here), and the Windows images found on this computer. It
 * follows the QEMU setup service and the image provider and announces each
 * of their changes with changed(). Held by the wizard, which outlives both
 * its steps; GUI thread only.
 *
 * @code
 * WindowsSourceViewModel &windows = wizard.windowsSource();
 * if (!windows.isQEMUInstalled() && windows.canInstallQEMUHere())
 *     co_await windows.installQEMU(); // the failure lands in qemuInstallFailure()
 * @endcode
 */
class WindowsSourceViewModel final : public QObject
{
    Q_OBJECT

public:
    /// An image found on this computer.
    using DetectedImage = WindowsImageProvider::DetectedISO;

    /// One line of the pre-flight checklist.
    struct PreflightRow {
        QString title;
        bool passes = false;
        QString detail;
        bool operator==(const PreflightRow &) const = default;
    };

    /// The vendor's page of Windows 11 ARM64 images.
    static QUrl downloadPageURL();
    /// The checklist: the image passes once it is checked and valid; the memory and disk rows name the wizard's own minimums.
    static QList<PreflightRow> preflightRows(const CreateVMWizardViewModel &wizard, bool isQEMUInstalled);
    /// Whether the download step offers to pick an image by hand: while none is chosen, or the chosen one was refused.
    static bool offersImageChoice(const CreateVMWizardViewModel &wizard);

    WindowsSourceViewModel(QEMUSetupService &qemuSetup, WindowsImageProvider &images, QObject *parent = nullptr);

    bool isQEMUInstalled() const;
    bool isInstallingQEMU() const;
    /// Where the installation stands, from 0 to 1.
    double qemuInstallFraction() const;
    const QString &qemuStatusMessage() const;
    /// Whether installQEMU() can give this host a QEMU that runs; otherwise the distribution's package is the way.
    bool canInstallQEMUHere() const;
    /// Why the last installation failed, kept until the next attempt; none while QEMU is installed or being installed.
    std::optional<QString> qemuInstallFailure() const;
    /// Never throws: a failure ends in qemuStatusMessage().
    QCoro::Task<> installQEMU();

    const QList<DetectedImage> &detectedImages() const;
    bool isScanning() const;
    /// Looks for images again and returns at once.
    void scanForImages();
    /// Where the last scan looked and what it found; none before a scan has ended, or while one runs.
    std::optional<QString> scanReport() const;
    /// Whether the step says that no image was found: the list is empty, no scan runs and no image is chosen.
    bool showsNoImagesHint(const CreateVMWizardViewModel &wizard) const;

Q_SIGNALS:
    void changed();

private:
    QEMUSetupService &m_qemuSetup;
    WindowsImageProvider &m_images;
};

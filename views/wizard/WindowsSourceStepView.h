// SPDX-License-Identifier: MIT
#pragma once

#include "WindowsSourceViewModel.h"
#include "WizardDesktop.h"

#include <QList>
#include <QWidget>

class CreateVMWizardViewModel;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class SelectableCard;
class UUPImageBuilderSection;

/**
 * Where a new Windows 11 ARM guest is installed from: the QEMU engine (with
 * its one-click install and what went wrong with it, or the distribution's
 * install command where the one-click package cannot run), the image (downloaded
 * from the vendor and detected, chosen on disk, or self-built), its
 * validation, TPM emulation and a pre-flight checklist. It follows the
 * wizard and the wizard's WindowsSourceViewModel. Children are named
 * "windows.<control>".
 */
class WindowsSourceStepView final : public QWidget
{
    Q_OBJECT

public:
    WindowsSourceStepView(CreateVMWizardViewModel &wizard, WizardDesktop desktop, QWidget *parent = nullptr);

    void refresh();

protected:
    /// A single local file dropped anywhere on the step is taken as the chosen image.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QWidget *makeEngineGroup();
    QWidget *makeMediaGroup();
    QWidget *makeDownloadContent();
    QWidget *makeLocalContent();
    QWidget *makeConfigurationGroup();
    QWidget *makePreflightGroup();
    void refreshEngine();
    void refreshDetected();
    void refreshBadge();
    void refreshLocalCard();
    void refreshPreflight();
    void startCommand(QCoro::Task<> command);

    CreateVMWizardViewModel &m_wizard;
    WindowsSourceViewModel &m_windows;
    WizardDesktop m_desktop;

    QLabel *m_engineIcon = nullptr;
    QLabel *m_engineStatus = nullptr;
    QPushButton *m_installQEMU = nullptr;
    QLabel *m_installAdvice = nullptr;
    QWidget *m_installProgress = nullptr;
    QProgressBar *m_installBar = nullptr;
    QLabel *m_installStatus = nullptr;
    QLabel *m_installFailure = nullptr;

    QList<QRadioButton *> m_modes;
    QWidget *m_downloadContent = nullptr;
    QWidget *m_localContent = nullptr;
    UUPImageBuilderSection *m_advancedContent = nullptr;
    QWidget *m_detectedList = nullptr;
    QVBoxLayout *m_detectedRows = nullptr;
    QList<QPair<SelectableCard *, WindowsSourceViewModel::DetectedImage>> m_detected;
    QList<WindowsSourceViewModel::DetectedImage> m_shownDetected;
    QWidget *m_scanning = nullptr;
    QLabel *m_scanReport = nullptr;
    QLabel *m_noDetected = nullptr;
    QPushButton *m_selectManually = nullptr;
    QWidget *m_localCard = nullptr;
    QLabel *m_localIcon = nullptr;
    QLabel *m_localName = nullptr;
    QLabel *m_localDetail = nullptr;
    QPushButton *m_chooseImage = nullptr;
    QWidget *m_badge = nullptr;
    QLabel *m_badgeIcon = nullptr;
    QLabel *m_badgeTitle = nullptr;
    QLabel *m_badgeMessage = nullptr;
    QLabel *m_badgeArchitecture = nullptr;

    QCheckBox *m_tpm = nullptr;
    QVBoxLayout *m_preflightRows = nullptr;
    QList<WindowsSourceViewModel::PreflightRow> m_shownPreflight;
};

// SPDX-License-Identifier: MIT
#pragma once

#include "CreateVMWizardViewModel.h"
#include "WizardDesktop.h"

#include <QDialog>
#include <map>

#include <memory>

class ErrorBannerView;
class FirstBootEditorView;
class GeneralStepView;
class LinuxSourceStepView;
class MacOSSourceStepView;
class QScrollArea;
class ReviewStepView;
class SharedFoldersEditorView;
class WindowsSourceStepView;
class WizardFooterView;
class WizardHeaderView;

/**
 * The new-VM wizard: a window-modal sheet with the guest's header and step
 * pills, the current step's page under the wizard's error banner, and the
 * footer. The view model owns every value and the order of the steps; the
 * sheet shows them and forwards what the user does. Open it with open().
 *
 * While a creation runs the sheet cannot be dismissed (Escape and the close
 * button are refused), so its progress and any failure stay in sight.
 * When it is shown it lists the host's bridgeable interfaces if none are
 * listed, and loads the macOS restore images only while macOS is chosen.
 *
 * @code
 * auto wizard = state.makeCreateWizardViewModel();
 * auto *sheet = new CreateVMWizardView(wizard, WizardDesktop::system(), window);
 * sheet->setAttribute(Qt::WA_DeleteOnClose);
 * sheet->open();
 * @endcode
 */
class CreateVMWizardView final : public QDialog
{
    Q_OBJECT

public:
    /// `desktop` is what the Windows step asks of the desktop (copying, opening pages).
    CreateVMWizardView(std::shared_ptr<CreateVMWizardViewModel> wizard, WizardDesktop desktop, QWidget *parent = nullptr);
    ~CreateVMWizardView() override;

    const std::shared_ptr<CreateVMWizardViewModel> &viewModel() const { return m_wizard; }

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeContent();
    void layOut();
    void connectSheet();
    QWidget *makeSharedFoldersPage();
    QWidget *makeFirstBootPage();
    void refresh();
    void keepReturnForTheFooter();
    void loadRestoreImagesIfMacOS();

    std::shared_ptr<CreateVMWizardViewModel> m_wizard;
    WizardHeaderView *m_header;
    QScrollArea *m_scroll;
    ErrorBannerView *m_banner;
    GeneralStepView *m_general;
    MacOSSourceStepView *m_macOSSource;
    LinuxSourceStepView *m_linuxSource;
    WindowsSourceStepView *m_windowsSource;
    SharedFoldersEditorView *m_sharedFolders = nullptr;
    FirstBootEditorView *m_firstBoot = nullptr;
    ReviewStepView *m_review;
    WizardFooterView *m_footer;
    std::map<CreateVMWizardViewModel::Step, QWidget *> m_pages;
    CreateVMWizardViewModel::Step m_shownStep;
    bool m_wasShown = false;
    bool m_requestedRestoreImages = false;
};

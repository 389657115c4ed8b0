// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class CreateVMWizardViewModel;
class QLabel;
class QPushButton;

/**
 * The wizard's bottom row: Cancel, Back, and Next or Create (the default
 * button), or Done alone once the VM exists. While a creation runs every
 * button is disabled and a line says how a download can be stopped. Next
 * and Create follow the wizard's canAdvance(); while they are disabled a
 * line says why (the wizard's advanceBlockReason()). Create dispatches to
 * the guest's creation. Closing is the owner's: dismissRequested().
 * Children: "footer.cancel", "footer.back", "footer.next", "footer.create",
 * "footer.done", "footer.creatingHint", "footer.blockReason".
 */
class WizardFooterView final : public QWidget
{
    Q_OBJECT

public:
    explicit WizardFooterView(CreateVMWizardViewModel &wizard, QWidget *parent = nullptr);

    void refresh();
    /// Calls the creation of the chosen guest.
    static void submitCreate(CreateVMWizardViewModel &wizard);

Q_SIGNALS:
    void dismissRequested();

private:
    CreateVMWizardViewModel &m_wizard;
    QPushButton *m_cancel;
    QLabel *m_creatingHint;
    QLabel *m_blockReason;
    QPushButton *m_back;
    QPushButton *m_next;
    QPushButton *m_create;
    QPushButton *m_done;
};

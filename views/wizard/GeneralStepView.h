// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class CreateVMWizardViewModel;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class SelectableCard;
class WizardStepper;

/**
 * The wizard's first page: guest system, name, processors, memory, disk,
 * storage folder, starting display, network and audio. Every control writes
 * straight into the wizard; refresh() shows the wizard's state again and
 * never writes back. The steppers' arrows stay within the wizard's host
 * limits, while a value typed or kept outside them is shown as it is rather
 * than clamped, and the wizard says why it is refused; at or past the memory
 * limit "general.memoryLimit" says what the maximum is.
 * Children are named "general.<control>".
 */
class GeneralStepView final : public QWidget
{
    Q_OBJECT

public:
    explicit GeneralStepView(CreateVMWizardViewModel &wizard, QWidget *parent = nullptr);

    void refresh();

private:
    QWidget *makeGuestCards();
    QWidget *makeSteppers();
    QWidget *makeStorageGroup();
    QWidget *makeDisplayGroup();
    QWidget *makeNetworkGroup();
    QWidget *makeMediaGroup();
    void refreshSteppers();
    void refreshNetwork();

    CreateVMWizardViewModel &m_wizard;
    QList<SelectableCard *> m_guestCards;
    QLineEdit *m_name = nullptr;
    WizardStepper *m_cpu = nullptr;
    WizardStepper *m_memory = nullptr;
    WizardStepper *m_disk = nullptr;
    QLabel *m_memoryLimit = nullptr;
    QLabel *m_location = nullptr;
    QLabel *m_path = nullptr;
    QComboBox *m_display = nullptr;
    QRadioButton *m_nat = nullptr;
    QRadioButton *m_bridged = nullptr;
    QLabel *m_noInterfaces = nullptr;
    QWidget *m_interfaceRow = nullptr;
    QComboBox *m_interface = nullptr;
    QLabel *m_networkCaption = nullptr;
    QCheckBox *m_microphone = nullptr;
    QLabel *m_microphoneStatus = nullptr;
    QCheckBox *m_speaker = nullptr;
    QLabel *m_speakerStatus = nullptr;
};

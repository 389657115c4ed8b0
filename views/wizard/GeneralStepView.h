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
class QSpinBox;
class SelectableCard;

/**
 * The wizard's first page: guest system, name, processors, memory, disk,
 * storage folder, starting display, network and audio. Every control writes
 * straight into the wizard; refresh() shows the wizard's state again and
 * never writes back. The steppers' bounds come from the wizard's host
 * limits and widen to show a value outside them rather than clamp it; at
 * the memory limit "general.memoryLimit" says why it goes no higher.
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
    QSpinBox *m_cpu = nullptr;
    QSpinBox *m_memory = nullptr;
    QSpinBox *m_disk = nullptr;
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

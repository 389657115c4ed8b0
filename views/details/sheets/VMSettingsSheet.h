// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class ErrorBannerView;
class FileChooser;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QWidget;
class SharedFoldersEditorView;
class VMDetailsViewModel;
class VMSettingsForm;

/**
 * The settings sheet of one VM: hardware, display, audio and shared folders
 * in a window-modal dialog of 620 × 720, over a VMSettingsForm it owns.
 * Every edit stays in the form until "Save Settings"; a refused save keeps
 * the sheet open with the reason in its banner, a stored one closes it
 * (accepted). Cancel, Escape and the window's close button reject it and
 * write nothing. Open it with open().
 *
 * Its window title and the line under its heading name the VM.
 *
 * Children: "settings.vmName", "settings.banner", "settings.cpu", "settings.cpuValue",
 * "settings.memory", "settings.memoryValue", "settings.memoryRange",
 * "settings.memoryLimit" (why the memory goes no higher, at the limit),
 * "settings.useCustomResolution", "settings.customWidth",
 * "settings.customHeight", "settings.preset", "settings.displayFootnote",
 * "settings.microphone", "settings.speaker", "settings.sharedFolders",
 * "settings.cancel", "settings.save".
 */
class VMSettingsSheet final : public QDialog
{
    Q_OBJECT

public:
    VMSettingsSheet(VMDetailsViewModel &details, FileChooser &chooser, QWidget *parent = nullptr);

    VMSettingsForm &form() const { return *m_form; }

private:
    QWidget *makeHardwareGroup();
    QWidget *makeDisplayGroup();
    QWidget *makeAudioGroup();
    QWidget *makeSharedFoldersGroup();
    QWidget *makeButtonRow();
    /// Shows the form's values; a control already showing its value is left alone.
    void refresh();
    void refreshLimits();
    void save();

    VMSettingsForm *m_form;
    ErrorBannerView *m_banner = nullptr;
    QSpinBox *m_cpu = nullptr;
    QLabel *m_cpuValue = nullptr;
    QSlider *m_memory = nullptr;
    QLabel *m_memoryValue = nullptr;
    QLabel *m_memoryRange = nullptr;
    QLabel *m_memoryLimit = nullptr;
    QCheckBox *m_useCustomResolution = nullptr;
    QWidget *m_customFields = nullptr;
    QLineEdit *m_customWidth = nullptr;
    QLineEdit *m_customHeight = nullptr;
    QWidget *m_presetRow = nullptr;
    QComboBox *m_preset = nullptr;
    QLabel *m_displayFootnote = nullptr;
    QCheckBox *m_microphone = nullptr;
    QCheckBox *m_speaker = nullptr;
    SharedFoldersEditorView *m_sharedFolders = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_save = nullptr;
};

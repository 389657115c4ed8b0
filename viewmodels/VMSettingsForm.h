// SPDX-License-Identifier: MIT
#pragma once

#include "VMHardwareProfile.h"
#include "VMSharedFolder.h"
#include "VMStoppedSettings.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

class FileChooser;
class VMDetailsViewModel;

/**
 * The settings sheet's form for one stopped VM: CPU count, memory, display,
 * audio and shared folders, seeded once from the details view model's bundle
 * and kept apart from it until save() applies them all in one call.
 *
 * A value is written back only when the user changed it: an untouched
 * memory size keeps its exact byte count (2 GiB stays 2 GiB, 7.5 GiB stays
 * 7.5 GiB) and an untouched display keeps its size and density. A changed
 * custom resolution must lie within what the guest display can show
 * (640–5120 × 480–2160); anything else is refused with a sentence in the
 * form's own message and nothing is written. A refusal of the coordinator
 * lands there too, and the form stays ready for another attempt.
 *
 * @code
 * VMSettingsForm form(details, chooser);
 * form.setMicrophoneEnabled(true);
 * if (form.save()) ... // close the sheet
 * @endcode
 */
class VMSettingsForm final : public QObject
{
    Q_OBJECT

public:
    using DisplayPreset = VMHardwareProfile::DisplayPreset;

    static constexpr qint64 minimumCustomWidth = 640;
    static constexpr qint64 maximumCustomWidth = 5120;
    static constexpr qint64 minimumCustomHeight = 480;
    static constexpr qint64 maximumCustomHeight = 2160;
    VMSettingsForm(VMDetailsViewModel &details, FileChooser &chooser, QObject *parent = nullptr);

    /// The VM the sheet changes, by name as it was when the form was seeded.
    const QString &vmName() const { return m_vmName; }

    // Form values
    qint64 cpuCount() const { return m_cpuCount; }
    void setCpuCount(qint64 count);
    double memoryGigabytes() const { return m_memoryGigabytes; }
    void setMemoryGigabytes(double gigabytes);
    DisplayPreset selectedDisplayPreset() const { return m_selectedDisplayPreset; }
    void setSelectedDisplayPreset(DisplayPreset preset);
    bool useCustomResolution() const { return m_useCustomResolution; }
    void setUseCustomResolution(bool on);
    const QString &customDisplayWidth() const { return m_customDisplayWidth; }
    void setCustomDisplayWidth(const QString &text);
    const QString &customDisplayHeight() const { return m_customDisplayHeight; }
    void setCustomDisplayHeight(const QString &text);
    bool isMicrophoneEnabled() const { return m_microphoneEnabled; }
    void setMicrophoneEnabled(bool on);
    bool isSpeakerEnabled() const { return m_speakerEnabled; }
    void setSpeakerEnabled(bool on);
    const QList<VMSharedFolder> &sharedFolders() const { return m_sharedFolders; }

    const std::optional<QString> &localErrorMessage() const { return m_localErrorMessage; }
    void dismissLocalErrorMessage();
    bool isSaving() const { return m_saving; }

    // Limits and texts, read anew from the details view model
    qint64 maximumCPUCount() const;
    /// The slider's lower end in whole GB: the guest's minimum of GuestMemoryLimits.
    int memorySliderMinimum() const;
    /// The slider's upper end in whole GB: the maximum of GuestMemoryLimits, or the VM's own memory when larger; never below the lower end.
    int memorySliderMaximum() const;
    /// The memory cut to whole GB, e.g. "7 GB".
    QString memoryText() const;
    QString recommendedMemoryText() const;
    /// Why the memory goes no higher, while it stands at the upper limit of GuestMemoryLimits or above.
    std::optional<QString> memoryLimitText() const;
    QString displayFootnote() const;

    /// The picker's row for a preset, e.g. "1920 x 1200".
    static QString presetTitle(DisplayPreset preset);
    /// A whole decimal number read from the whole text: an optional sign, then digits only, within 64 bits.
    static std::optional<qint64> wholeNumber(const QString &text);

    // Shared folders
    /// Adds the folders the user picks, several at once, skipping those already listed.
    QCoro::Task<> chooseSharedFolders();
    void removeSharedFolders(const QList<QUuid> &folderIDs);
    void setSharedFolderReadOnly(const QUuid &folderID, bool readOnly);

    /**
     * Applies the form through the details view model. Returns true when the
     * settings were stored (the sheet then closes); otherwise the reason is
     * in localErrorMessage().
     */
    bool save();

    /// The values save() would apply, or the sentence that refuses them.
    std::variant<VMStoppedSettings, QString> settingsToApply() const;

Q_SIGNALS:
    /// A form value, the message or the saving flag changed.
    void changed();
    /// The folder list changed.
    void sharedFoldersChanged();
    /// The details view model's bundle changed: limits and the footnote may read differently.
    void limitsChanged();

private:
    struct Display {
        qint64 width = 0;
        qint64 height = 0;
        qint64 pixelsPerInch = 0;
    };
    /// What the form was seeded with: the reference for "changed by the user".
    struct Seed {
        qint64 cpuCount = 4;
        quint64 memorySizeBytes = 0;
        double memoryGigabytes = 0;
        Display display {1920, 1200, 80};
        DisplayPreset preset = DisplayPreset::wuxga1920x1200;
        bool useCustomResolution = true;
        QString customWidth = QStringLiteral("1920");
        QString customHeight = QStringLiteral("1200");
    };

    /// Sets a form value and announces the change.
    template <typename Value> void assign(Value &field, Value value);
    void setLocalErrorMessage(std::optional<QString> message);
    bool displayChanged() const;
    std::variant<Display, QString> displayToApply() const;

    VMDetailsViewModel &m_details;
    FileChooser &m_chooser;
    Seed m_seed;
    const QString m_vmName;

    qint64 m_cpuCount = 4;
    double m_memoryGigabytes = 0;
    DisplayPreset m_selectedDisplayPreset = DisplayPreset::wuxga1920x1200;
    bool m_useCustomResolution = true;
    QString m_customDisplayWidth;
    QString m_customDisplayHeight;
    bool m_microphoneEnabled = false;
    bool m_speakerEnabled = true;
    QList<VMSharedFolder> m_sharedFolders;
    std::optional<QString> m_localErrorMessage;
    bool m_saving = false;
};

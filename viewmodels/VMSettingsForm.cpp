// SPDX-License-Identifier: MIT
#include "VMSettingsForm.h"

#include "FileChooser.h"
#include "SizeText.h"
#include "VMDetailsViewModel.h"

#include <QFileInfo>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr quint64 gibibyte = SizeText::bytesPerGB;
/// The first whole GiB count whose byte count no longer fits 64 bits.
constexpr double firstUnrepresentableGB = 17179869184.0;

QString rangeSentence(const char *dimension, qint64 minimum, qint64 maximum)
{
    return QStringLiteral("%1 must be a whole number from %2 to %3.").arg(QLatin1String(dimension)).arg(minimum).arg(maximum);
}

} // namespace

template <typename Value> void VMSettingsForm::assign(Value &field, Value value)
{
    field = std::move(value);
    Q_EMIT changed();
}

VMSettingsForm::VMSettingsForm(VMDetailsViewModel &details, FileChooser &chooser, QObject *parent)
    : QObject(parent)
    , m_details(details)
    , m_chooser(chooser)
    , m_vmName(details.displayTitle())
{
    if (const std::optional<VMBundle> &bundle = details.bundle()) {
        const VMMetadata &metadata = bundle->metadata;
        const VMHardwareProfile &profile = metadata.hardwareProfile;
        m_seed.cpuCount = metadata.cpuCount;
        m_seed.memorySizeBytes = metadata.memorySizeBytes;
        m_seed.memoryGigabytes = SizeText::gigabytes(metadata.memorySizeBytes);
        m_seed.display = {profile.displayWidth, profile.displayHeight, profile.displayPixelsPerInch};
        const std::optional<DisplayPreset> preset = profile.displayPreset();
        m_seed.preset = preset.value_or(DisplayPreset::wuxga1920x1200);
        m_seed.useCustomResolution = !preset;
        m_seed.customWidth = QString::number(profile.displayWidth);
        m_seed.customHeight = QString::number(profile.displayHeight);
        const VMMediaConfiguration media = metadata.mediaConfiguration.value_or(VMMediaConfiguration {});
        m_microphoneEnabled = media.isMicrophoneEnabled;
        m_speakerEnabled = media.isSpeakerEnabled;
        m_sharedFolders = bundle->sharedFolders;
    }
    m_cpuCount = m_seed.cpuCount;
    m_memoryGigabytes = m_seed.memoryGigabytes;
    m_selectedDisplayPreset = m_seed.preset;
    m_useCustomResolution = m_seed.useCustomResolution;
    m_customDisplayWidth = m_seed.customWidth;
    m_customDisplayHeight = m_seed.customHeight;

    connect(&details, &VMDetailsViewModel::bundleChanged, this, &VMSettingsForm::limitsChanged);
}

// MARK: Form values

void VMSettingsForm::setCpuCount(qint64 count)
{
    assign(m_cpuCount, count);
}

void VMSettingsForm::setMemoryGigabytes(double gigabytes)
{
    assign(m_memoryGigabytes, gigabytes);
}

void VMSettingsForm::setSelectedDisplayPreset(DisplayPreset preset)
{
    assign(m_selectedDisplayPreset, preset);
}

void VMSettingsForm::setUseCustomResolution(bool on)
{
    assign(m_useCustomResolution, on);
}

void VMSettingsForm::setCustomDisplayWidth(const QString &text)
{
    assign(m_customDisplayWidth, text);
}

void VMSettingsForm::setCustomDisplayHeight(const QString &text)
{
    assign(m_customDisplayHeight, text);
}

void VMSettingsForm::setMicrophoneEnabled(bool on)
{
    assign(m_microphoneEnabled, on);
}

void VMSettingsForm::setSpeakerEnabled(bool on)
{
    assign(m_speakerEnabled, on);
}

void VMSettingsForm::dismissLocalErrorMessage()
{
    setLocalErrorMessage(std::nullopt);
}

void VMSettingsForm::setLocalErrorMessage(std::optional<QString> message)
{
    assign(m_localErrorMessage, std::move(message));
}

// MARK: Limits and texts

qint64 VMSettingsForm::maximumCPUCount() const
{
    return std::max<qint64>(1, m_details.maximumCPUCount());
}

int VMSettingsForm::memorySliderMinimum() const
{
    const std::optional<VMBundle> &bundle = m_details.bundle();
    return int(GuestMemoryLimits::minimumGB(bundle && bundle->metadata.guestOSType ? *bundle->metadata.guestOSType : VMGuestOSType::macOS));
}

int VMSettingsForm::memorySliderMaximum() const
{
    const double minimum = memorySliderMinimum();
    return int(std::min(std::max(minimum, std::floor(m_details.maximumMemorySizeGB())), double(std::numeric_limits<int>::max())));
}

QString VMSettingsForm::memoryText() const
{
    return SizeText::wholeGB(m_memoryGigabytes);
}

QString VMSettingsForm::recommendedMemoryText() const
{
    return QStringLiteral("Recommended range on this computer: %1-%2 GB").arg(memorySliderMinimum()).arg(memorySliderMaximum());
}

std::optional<QString> VMSettingsForm::memoryLimitText() const
{
    const GuestMemoryLimits limits = m_details.memoryLimits();
    if (m_memoryGigabytes >= limits.maximumGB())
        return limits.limitText();
    return std::nullopt;
}

QString VMSettingsForm::displayFootnote() const
{
    const std::optional<VMBundle> &bundle = m_details.bundle();
    if (bundle && bundle->metadata.guestOSType == VMGuestOSType::linux)
        return QStringLiteral(
            "Linux VMs use Virtio graphics. Higher resolutions may make text smaller. The display resolution can be changed from "
            "within the guest after installation.");
    // QEMU shows a Windows guest through a plain framebuffer whose size Windows picks.
    if (bundle && bundle->metadata.guestOSType == VMGuestOSType::windows)
        return QStringLiteral("Windows VMs use a simple framebuffer and ignore this setting. Change the resolution within Windows.");
    return QStringLiteral(
        "macOS VMs auto-resize the guest display to match the console window. This setting controls the initial resolution at boot.");
}

QString VMSettingsForm::presetTitle(DisplayPreset preset)
{
    const VMHardwareProfile::DisplayGeometry geometry = VMHardwareProfile::geometry(preset);
    return QStringLiteral("%1 x %2").arg(geometry.width).arg(geometry.height);
}

std::optional<qint64> VMSettingsForm::wholeNumber(const QString &text)
{
    const qsizetype digitsStart = text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() == digitsStart)
        return std::nullopt;
    for (qsizetype index = digitsStart; index < text.size(); ++index) {
        const QChar character = text.at(index);
        if (character < QLatin1Char('0') || character > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// MARK: Shared folders

QCoro::Task<> VMSettingsForm::chooseSharedFolders()
{
    QPointer<VMSettingsForm> self(this);
    FileChoiceRequest request {QStringLiteral("Choose Shared Folder"), {}, true, false, {}, {}};
    const QStringList chosen = co_await m_chooser.chooseSeveral(std::move(request));
    if (!self)
        co_return;
    bool added = false;
    for (const QString &path : chosen) {
        const QUrl url = QUrl::fromLocalFile(path);
        if (std::any_of(
                m_sharedFolders.cbegin(), m_sharedFolders.cend(), [&](const VMSharedFolder &folder) { return folder.localURL == url; }))
            continue;
        // The coordinator makes each folder's bookmark when the settings are saved.
        VMSharedFolder folder;
        folder.id = QUuid::createUuid();
        folder.displayName = QFileInfo(path).fileName();
        folder.localURL = url;
        m_sharedFolders << folder;
        added = true;
    }
    if (added)
        Q_EMIT sharedFoldersChanged();
}

void VMSettingsForm::removeSharedFolders(const QList<QUuid> &folderIDs)
{
    if (m_sharedFolders.removeIf([&](const VMSharedFolder &folder) { return folderIDs.contains(folder.id); }) > 0)
        Q_EMIT sharedFoldersChanged();
}

void VMSettingsForm::setSharedFolderReadOnly(const QUuid &folderID, bool readOnly)
{
    bool switched = false;
    for (VMSharedFolder &folder : m_sharedFolders) {
        if (folder.id == folderID && folder.isReadOnly != readOnly) {
            folder.isReadOnly = readOnly;
            switched = true;
        }
    }
    if (switched)
        Q_EMIT sharedFoldersChanged();
}

// MARK: Saving

bool VMSettingsForm::displayChanged() const
{
    if (m_useCustomResolution != m_seed.useCustomResolution)
        return true;
    if (m_useCustomResolution)
        return m_customDisplayWidth != m_seed.customWidth || m_customDisplayHeight != m_seed.customHeight;
    return m_selectedDisplayPreset != m_seed.preset;
}

std::variant<VMSettingsForm::Display, QString> VMSettingsForm::displayToApply() const
{
    if (!displayChanged())
        return m_seed.display;
    if (!m_useCustomResolution) {
        const VMHardwareProfile::DisplayGeometry geometry = VMHardwareProfile::geometry(m_selectedDisplayPreset);
        return Display {geometry.width, geometry.height, geometry.pixelsPerInch};
    }
    // What the guest display path can show; anything else would give a VM that cannot be seen whole.
    const std::optional<qint64> width = wholeNumber(m_customDisplayWidth);
    if (!width || *width < minimumCustomWidth || *width > maximumCustomWidth)
        return rangeSentence("Width", minimumCustomWidth, maximumCustomWidth);
    const std::optional<qint64> height = wholeNumber(m_customDisplayHeight);
    if (!height || *height < minimumCustomHeight || *height > maximumCustomHeight)
        return rangeSentence("Height", minimumCustomHeight, maximumCustomHeight);
    return Display {*width, *height, 80};
}

std::variant<VMStoppedSettings, QString> VMSettingsForm::settingsToApply() const
{
    const std::variant<Display, QString> display = displayToApply();
    if (const QString *refusal = std::get_if<QString>(&display))
        return *refusal;
    const Display &size = std::get<Display>(display);

    VMStoppedSettings settings;
    settings.cpuCount = m_cpuCount;
    if (m_memoryGigabytes == m_seed.memoryGigabytes) {
        settings.memorySizeBytes = m_seed.memorySizeBytes;
    } else {
        const double wholeGB = std::ceil(m_memoryGigabytes);
        if (!(wholeGB < firstUnrepresentableGB))
            return QStringLiteral("The memory size is too large.");
        settings.memorySizeBytes = wholeGB > 0 ? quint64(wholeGB) * gibibyte : 0;
    }
    settings.displayWidth = size.width;
    settings.displayHeight = size.height;
    settings.displayPixelsPerInch = size.pixelsPerInch;
    settings.isMicrophoneEnabled = m_microphoneEnabled;
    settings.isSpeakerEnabled = m_speakerEnabled;
    settings.sharedFolders = m_sharedFolders;
    return settings;
}

bool VMSettingsForm::save()
{
    m_localErrorMessage.reset();
    m_details.setErrorMessage(std::nullopt);
    m_saving = true;
    Q_EMIT changed();

    const std::variant<VMStoppedSettings, QString> settings = settingsToApply();
    bool stored = false;
    if (const QString *refusal = std::get_if<QString>(&settings))
        m_localErrorMessage = *refusal;
    else if (m_details.updateStoppedSettings(std::get<VMStoppedSettings>(settings)))
        stored = true;
    else
        m_localErrorMessage = m_details.errorMessage();

    m_saving = false;
    Q_EMIT changed();
    return stored;
}

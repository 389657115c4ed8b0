// SPDX-License-Identifier: MIT
#include "VMSettingsForm.h"

#include "GuestMemoryLimits.h"
#include "VMDetailsViewModel.h"
#include "ViewModelTestFixture.h"

#include <QDir>

#include <cmath>
#include <limits>

namespace {

using namespace CoordinatorTesting;
using Preset = VMHardwareProfile::DisplayPreset;

const QString widthSentence = QStringLiteral("Width must be a whole number from 640 to 5120.");
const QString heightSentence = QStringLiteral("Height must be a whole number from 480 to 2160.");

class VMSettingsFormTest : public ViewModelTest
{
protected:
    VMSettingsForm &form(const QUuid &id)
    {
        m_form.reset();
        m_details = makeDetails(id);
        m_form = std::make_unique<VMSettingsForm>(*m_details, m_chooser);
        return *m_form;
    }

    VMBundle vm(qint64 width, qint64 height, qint64 pixelsPerInch, quint64 memoryBytes = 8 * gibibyte)
    {
        return vmWithDisplay(width, height, pixelsPerInch, memoryBytes);
    }

    VMBundle stored(const QUuid &id) { return *store().bundle(id); }

    QString folder(const QString &name)
    {
        const QString path = m_home.path() + QStringLiteral("/shares/") + name;
        QDir().mkpath(path);
        return path;
    }

    std::unique_ptr<VMDetailsViewModel> m_details;
    std::unique_ptr<VMSettingsForm> m_form;
};

TEST_F(VMSettingsFormTest, TheDisplayNoteFollowsTheKindOfGuest)
{
    const struct {
        std::optional<VMGuestOSType> guest;
        const char *start;
    } cases[] = {
        {VMGuestOSType::linux, "Linux VMs use Virtio graphics."},
        {VMGuestOSType::windows, "Windows VMs use a simple framebuffer and ignore this setting."},
        {VMGuestOSType::macOS, "macOS VMs auto-resize"},
        {std::nullopt, "macOS VMs auto-resize"},
    };
    const VMBundle bundle = vm(1920, 1200, 80);
    for (const auto &test : cases) {
        storeChanged(bundle.id(), [&](VMBundle &changed) { changed.metadata.guestOSType = test.guest; });
        EXPECT_TRUE(form(bundle.id()).displayFootnote().startsWith(QString::fromUtf8(test.start))) << test.start;
    }
}

TEST_F(VMSettingsFormTest, SeedsFromTheBundleOrFromDefaultsWithoutOne)
{
    struct Case {
        const char *what;
        qint64 width, height, pixelsPerInch;
        bool custom;
        Preset preset;
    };
    const Case cases[] = {
        {"a preset at 80 ppi", 1440, 900, 80, false, Preset::sxga1440x900},
        {"a preset's size at 72 ppi", 1440, 900, 72, true, Preset::wuxga1920x1200},
        {"no preset's size", 1000, 700, 80, true, Preset::wuxga1920x1200},
    };
    for (const Case &test : cases) {
        const VMBundle bundle = vm(test.width, test.height, test.pixelsPerInch, 7 * gibibyte + gibibyte / 2);
        const VMSettingsForm &seeded = form(bundle.id());
        EXPECT_EQ(seeded.useCustomResolution(), test.custom) << test.what;
        EXPECT_EQ(seeded.selectedDisplayPreset(), test.preset) << test.what;
        // The fields hold the stored numbers whether or not a preset matched.
        EXPECT_EQ(seeded.customDisplayWidth(), QString::number(test.width)) << test.what;
        EXPECT_EQ(seeded.customDisplayHeight(), QString::number(test.height)) << test.what;
        EXPECT_EQ(seeded.cpuCount(), 2) << test.what;
        EXPECT_EQ(seeded.memoryGigabytes(), 7.5) << test.what;
        EXPECT_EQ(seeded.memoryText(), QStringLiteral("7 GB")) << test.what;
        EXPECT_FALSE(seeded.isMicrophoneEnabled()) << test.what;
        EXPECT_TRUE(seeded.isSpeakerEnabled()) << test.what;
        EXPECT_TRUE(seeded.displayFootnote().startsWith(QStringLiteral("Linux VMs use Virtio graphics."))) << test.what;
        EXPECT_EQ(seeded.maximumCPUCount(), 8) << test.what;
        EXPECT_EQ(seeded.recommendedMemoryText(), QStringLiteral("Recommended range on this computer: 1-24 GB")) << test.what;
    }

    VMSettingsForm &empty = form(QUuid::createUuid());
    EXPECT_EQ(empty.cpuCount(), 4);
    EXPECT_EQ(empty.memoryGigabytes(), 0);
    EXPECT_TRUE(empty.useCustomResolution());
    EXPECT_EQ(empty.customDisplayWidth(), QStringLiteral("1920"));
    EXPECT_EQ(empty.customDisplayHeight(), QStringLiteral("1200"));
    EXPECT_FALSE(empty.isMicrophoneEnabled());
    EXPECT_TRUE(empty.isSpeakerEnabled());
    EXPECT_TRUE(empty.sharedFolders().isEmpty());
    EXPECT_TRUE(empty.displayFootnote().startsWith(QStringLiteral("macOS VMs auto-resize")));
    EXPECT_FALSE(empty.save());
    EXPECT_EQ(empty.localErrorMessage(), notFound);
}

TEST_F(VMSettingsFormTest, ReadsWholeNumbersFromTheWholeText)
{
    const std::pair<const char *, std::optional<qint64>> cases[] = {
        {"1920", 1920},   {"+1920", 1920}, {"-5", -5},         {"0", 0},          {" 1920", std::nullopt}, {"1920 ", std::nullopt},
        {"", std::nullopt}, {"+", std::nullopt}, {"19.2", std::nullopt}, {"1e3", std::nullopt}, {"١٢", std::nullopt},
        {"9223372036854775807", std::numeric_limits<qint64>::max()}, {"12345678901234567890", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(VMSettingsForm::wholeNumber(QString::fromUtf8(text)), expected) << text;
}

TEST_F(VMSettingsFormTest, ACustomResolutionOutsideTheDisplayRangeIsRefusedAndWritesNothing)
{
    const std::pair<const char *, std::optional<QString>> widths[] = {
        {"1920", std::nullopt},   {"+1920", std::nullopt},  {"640", std::nullopt},   {"5120", std::nullopt},
        {" 1920", widthSentence}, {"0", widthSentence},     {"-5", widthSentence},   {"639", widthSentence},
        {"5121", widthSentence},  {"12345678901234567890", widthSentence}, {"", widthSentence},
    };
    for (const auto &[width, refusal] : widths) {
        // Stored at 72 ppi and matching no preset: the sheet opens on the custom fields.
        const VMBundle bundle = vm(1000, 1200, 72);
        const VMBundle before = stored(bundle.id());
        VMSettingsForm &edited = form(bundle.id());
        ASSERT_TRUE(edited.useCustomResolution());
        edited.setCustomDisplayWidth(QString::fromUtf8(width));
        const bool saved = edited.save();
        EXPECT_EQ(saved, !refusal) << width;
        EXPECT_EQ(edited.localErrorMessage(), refusal) << width;
        EXPECT_FALSE(edited.isSaving()) << width;
        if (refusal) {
            EXPECT_EQ(stored(bundle.id()), before) << width;
        } else {
            const VMHardwareProfile &profile = stored(bundle.id()).metadata.hardwareProfile;
            EXPECT_EQ(profile.displayWidth, VMSettingsForm::wholeNumber(QString::fromUtf8(width))) << width;
            EXPECT_EQ(profile.displayHeight, 1200) << width;
            EXPECT_EQ(profile.displayPixelsPerInch, 80) << "a typed size is written at 80 ppi: " << width;
        }
    }

    VMSettingsForm &tall = form(vm(1440, 900, 80).id());
    tall.setUseCustomResolution(true);
    tall.setCustomDisplayHeight(QStringLiteral("2161"));
    EXPECT_FALSE(tall.save());
    EXPECT_EQ(tall.localErrorMessage(), heightSentence);
    tall.dismissLocalErrorMessage();
    EXPECT_EQ(tall.localErrorMessage(), std::nullopt);
}

TEST_F(VMSettingsFormTest, OnlyValuesTheUserChangedAreWrittenBack)
{
    // 2 GiB lies below the slider's range and 7.5 GiB between its steps; a display at 72 ppi matches no preset.
    for (const quint64 memory : {2 * gibibyte, 7 * gibibyte + gibibyte / 2}) {
        const VMBundle bundle = vm(3000, 2000, 72, memory);
        VMSettingsForm &edited = form(bundle.id());
        edited.setMicrophoneEnabled(true);
        // Switching to the picker and back leaves the display as it was.
        edited.setUseCustomResolution(false);
        edited.setUseCustomResolution(true);
        ASSERT_TRUE(edited.save()) << edited.localErrorMessage().value_or(QString()).toStdString();
        const VMMetadata metadata = stored(bundle.id()).metadata;
        EXPECT_EQ(metadata.memorySizeBytes, memory);
        EXPECT_EQ(metadata.hardwareProfile.memorySizeBytes, memory);
        EXPECT_EQ(metadata.hardwareProfile.displayWidth, 3000);
        EXPECT_EQ(metadata.hardwareProfile.displayHeight, 2000);
        EXPECT_EQ(metadata.hardwareProfile.displayPixelsPerInch, 72);
        EXPECT_EQ(metadata.cpuCount, 2);
        ASSERT_TRUE(metadata.mediaConfiguration);
        EXPECT_TRUE(metadata.mediaConfiguration->isMicrophoneEnabled);
        EXPECT_TRUE(metadata.mediaConfiguration->isSpeakerEnabled);
    }

    // Moved values are written: memory in whole GiB, a preset at 80 ppi.
    const VMBundle bundle = vm(3000, 2000, 72, 7 * gibibyte + gibibyte / 2);
    VMSettingsForm &edited = form(bundle.id());
    edited.setMemoryGigabytes(6);
    edited.setCpuCount(3);
    edited.setUseCustomResolution(false);
    edited.setSelectedDisplayPreset(Preset::xga1024x768);
    ASSERT_TRUE(edited.save());
    const VMMetadata metadata = stored(bundle.id()).metadata;
    EXPECT_EQ(metadata.memorySizeBytes, 6 * gibibyte);
    EXPECT_EQ(metadata.cpuCount, 3);
    EXPECT_EQ(metadata.hardwareProfile.displayWidth, 1024);
    EXPECT_EQ(metadata.hardwareProfile.displayHeight, 768);
    EXPECT_EQ(metadata.hardwareProfile.displayPixelsPerInch, 80);
}

TEST_F(VMSettingsFormTest, TypedMemoryIsStoredInWholeGBAndReadsBackAsTyped)
{
    for (const int typed : {1, 6, 13, 24}) {
        SCOPED_TRACE(typed);
        const VMBundle bundle = vm(1440, 900, 80);
        VMSettingsForm &edited = form(bundle.id());
        edited.setMemoryGigabytes(typed);
        ASSERT_TRUE(edited.save()) << edited.localErrorMessage().value_or(QString()).toStdString();
        EXPECT_EQ(stored(bundle.id()).metadata.memorySizeBytes, quint64(typed) * gibibyte);
        const QString shown = QString::number(typed) + QStringLiteral(" GB");
        EXPECT_EQ(form(bundle.id()).memoryText(), shown);
        EXPECT_TRUE(m_details->hardwareSummary().contains(QStringLiteral(" • ") + shown + QStringLiteral(" • "))) << m_details->hardwareSummary().toStdString();
    }
}

TEST_F(VMSettingsFormTest, MemoryFollowsTheWizardsRuleAndSaysWhyAtTheTop)
{
    // The details' host has 32 GiB: at most 24 GB, as the wizard allows on that host.
    const GuestMemoryLimits limits(HostCapacity{8, 32 * gibibyte});
    const VMBundle linux = vm(1440, 900, 80);
    VMSettingsForm &edited = form(linux.id());
    EXPECT_EQ(edited.memorySliderMinimum(), 1);
    EXPECT_EQ(edited.memorySliderMaximum(), int(limits.maximumGB()));
    EXPECT_EQ(edited.memoryLimitText(), std::nullopt);
    edited.setMemoryGigabytes(24);
    EXPECT_EQ(edited.memoryLimitText(), QStringLiteral("At most 24 GB: leaves 8 GB for this computer."));
    edited.setMemoryGigabytes(std::nan(""));
    EXPECT_EQ(edited.memoryText(), QStringLiteral("0 GB"));

    const VMBundle mac = storeChanged(vm(1440, 900, 80).id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::macOS; });
    EXPECT_EQ(form(mac.id()).memorySliderMinimum(), 4);
}

TEST_F(VMSettingsFormTest, ARefusalStaysInTheFormAndTheDetailsAndIsLogged)
{
    const VMBundle bundle = withSavedState(vm(1920, 1200, 80).id());
    VMSettingsForm &edited = form(bundle.id());
    edited.setCpuCount(6);
    const qsizetype lines = appLog().count(QStringLiteral("[Details] "));
    EXPECT_FALSE(edited.save());
    const QString refusal = refused("Discard the saved state before changing VM settings.");
    EXPECT_EQ(edited.localErrorMessage(), refusal);
    EXPECT_EQ(m_details->errorMessage(), refusal);
    EXPECT_FALSE(m_details->isBusy());
    EXPECT_FALSE(edited.isSaving());
    EXPECT_EQ(appLog().count(QStringLiteral("[Details] ")), lines + 1);
    EXPECT_EQ(stored(bundle.id()).metadata.cpuCount, 2);
    EXPECT_EQ(edited.cpuCount(), 6) << "the form keeps what the user typed";

    // The next attempt starts with a clear banner.
    coordinator().discardSavedState(bundle.id());
    EXPECT_TRUE(edited.save());
    EXPECT_EQ(edited.localErrorMessage(), std::nullopt);
    EXPECT_EQ(m_details->errorMessage(), std::nullopt);
    EXPECT_EQ(stored(bundle.id()).metadata.cpuCount, 6);
}

TEST_F(VMSettingsFormTest, FoldersAreChosenSeveralAtOnceAndChangedByIdentity)
{
    const VMBundle bundle = vm(1920, 1200, 80);
    VMSettingsForm &edited = form(bundle.id());
    const QString source = folder(QStringLiteral("Source"));
    const QString music = folder(QStringLiteral("Music"));
    const QString photos = folder(QStringLiteral("Photos"));
    m_chooser.severalAnswers = {{source, music, source}, {music, photos}, {}};
    waitForOutcome(edited.chooseSharedFolders()).get();
    waitForOutcome(edited.chooseSharedFolders()).get();
    waitForOutcome(edited.chooseSharedFolders()).get();
    ASSERT_EQ(m_chooser.requests.size(), 3);
    EXPECT_EQ(m_chooser.requests[0].title, QStringLiteral("Choose Shared Folder"));
    EXPECT_TRUE(m_chooser.requests[0].canChooseDirectories);
    EXPECT_FALSE(m_chooser.requests[0].canChooseFiles);

    QStringList names;
    for (const VMSharedFolder &shared : edited.sharedFolders())
        names << shared.displayName;
    EXPECT_EQ(names, (QStringList{QStringLiteral("Source"), QStringLiteral("Music"), QStringLiteral("Photos")}));

    const QList<VMSharedFolder> chosen = edited.sharedFolders();
    edited.setSharedFolderReadOnly(chosen[2].id, true);
    edited.removeSharedFolders({chosen[1].id, QUuid::createUuid()});
    ASSERT_TRUE(edited.save());
    const QList<VMSharedFolder> shared = stored(bundle.id()).sharedFolders;
    ASSERT_EQ(shared.size(), 2);
    EXPECT_EQ(shared[0].localURL, QUrl::fromLocalFile(source));
    EXPECT_FALSE(shared[0].isReadOnly);
    EXPECT_EQ(shared[1].localURL, QUrl::fromLocalFile(photos));
    EXPECT_TRUE(shared[1].isReadOnly);
}

} // namespace

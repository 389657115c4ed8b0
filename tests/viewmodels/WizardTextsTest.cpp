// SPDX-License-Identifier: MIT
#include "WizardTexts.h"

#include "QEMUSetupService.h"
#include "ViewModelTestFixture.h"
#include "WindowsImageProvider.h"

#include <QNetworkAccessManager>

#include <cmath>
#include <limits>

namespace {

using namespace CoordinatorTesting;
using Step = CreateVMWizardViewModel::Step;
using Preset = VMHardwareProfile::DisplayPreset;

QString operator""_q(const char *text, size_t size)
{
    return QString::fromUtf8(text, qsizetype(size));
}

QCoro::Task<VMBundle> refuseMacOS(VMInstallRequest, std::function<void(const VMInstallProgress &)>)
{
    throw VirtualMachineError(VirtualMachineError::Case::installFailed, QStringLiteral("macOS cannot be installed on this host."));
    co_return VMBundle();
}

/// The wizard's texts read from a wizard whose services are those of the view-model tests.
class WizardTextsTest : public ViewModelTest
{
protected:
    std::shared_ptr<CreateVMWizardViewModel> makeWizard()
    {
        return CreateVMWizardViewModel::create({store(), m_logging, m_network, m_linux, m_linuxTools, m_bookmarks, m_chooser, m_catalog, m_nam,
                                                &refuseMacOS, [] {}, [] { return HostCapacity{8, 16 * gibibyte}; }, {}, std::nullopt, {},
                                                m_qemuSetup, m_images});
    }

    QNetworkAccessManager m_nam;
    QEMUSetupService m_qemuSetup{m_logging, QEMUSetupService::Source{QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("homebrew/core/qemu"),
                                                                     QStringLiteral("00")},
                                 QEMUSetupService::Places{m_home.path() + QStringLiteral("/qemu"), m_home.path() + QStringLiteral("/tmp"), {}}};
    WindowsImageProvider m_images{m_logging, {m_home.path() + QStringLiteral("/Downloads")}};
};

TEST(WizardTextsTableTest, StepTitles)
{
    const std::pair<Step, const char *> table[] = {
        {Step::general, "General"},
        {Step::macOSSource, "macOS Source"},
        {Step::linuxSource, "Linux Source"},
        {Step::windowsSource, "Windows Source"},
        {Step::sharedFolders, "Shared Folders"},
        {Step::firstBoot, "First Boot"},
        {Step::review, "Review"},
    };
    for (const auto &[step, title] : table)
        EXPECT_EQ(WizardTexts::stepTitle(step), QString::fromUtf8(title)) << title;
}

TEST(WizardTextsTableTest, EachGuestsHeaderCardAndSymbol)
{
    const struct {
        VMGuestOSType guest;
        const char *title;
        const char *subtitleStart;
        const char *symbol;
        const char *card;
        const char *description;
    } table[] = {
        {VMGuestOSType::macOS, "Create Virtual Mac", "Configure storage, media, networking", "apple.logo", "macOS",
         "Full macOS guest. QEMU cannot boot macOS, so it cannot be installed on this host."},
        {VMGuestOSType::linux, "Create Linux VM", "Configure storage, networking, and select a Linux distribution", "terminal", "Linux",
         "Linux ARM64 guest with Virtio drivers"},
        {VMGuestOSType::windows, "Create Windows VM", "Provide a Windows 11 ARM ISO", "pc", "Windows", "Windows 11 ARM via QEMU"},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(WizardTexts::headerTitle(row.guest), QString::fromUtf8(row.title));
        EXPECT_TRUE(WizardTexts::headerSubtitle(row.guest).startsWith(QString::fromUtf8(row.subtitleStart)));
        EXPECT_EQ(WizardTexts::guestSymbol(row.guest), QString::fromUtf8(row.symbol));
        EXPECT_EQ(WizardTexts::guestCardName(row.guest), QString::fromUtf8(row.card));
        EXPECT_EQ(WizardTexts::guestCardDescription(row.guest), QString::fromUtf8(row.description));
    }
}

TEST(WizardTextsTableTest, DisplayPresetLabels)
{
    const std::pair<Preset, const char *> table[] = {
        {Preset::svga800x600, "800 x 600"},
        {Preset::xga1024x768, "1024 x 768"},
        {Preset::wxga1280x800, "1280 x 800"},
        {Preset::sxga1440x900, "1440 x 900"},
        {Preset::wsxga1680x1050, "1680 x 1050"},
        {Preset::wuxga1920x1200, "1920 x 1200"},
        {Preset::wqhd2560x1600, "2560 x 1600"},
    };
    for (const auto &[preset, label] : table)
        EXPECT_EQ(WizardTexts::displayPresetLabel(preset), QString::fromUtf8(label)) << label;
}

TEST(WizardTextsTableTest, WholeNumbersStayInsideTheIntRange)
{
    const double infinity = std::numeric_limits<double>::infinity();
    constexpr int largest = std::numeric_limits<int>::max();
    constexpr int smallest = std::numeric_limits<int>::min();
    const std::pair<double, int> table[] = {
        {0, 0}, {2.7, 2}, {-2.7, -2}, {std::nan(""), 0}, {1e10, largest}, {infinity, largest}, {-1e10, smallest}, {-infinity, smallest},
    };
    for (const auto &[value, whole] : table)
        EXPECT_EQ(WizardTexts::wholeNumber(value), whole) << value;
}

TEST_F(WizardTextsTest, ReviewRowsPerGuest)
{
    auto wizard = makeWizard();
    const auto labels = [&] {
        QStringList result;
        for (const auto &[label, value] : WizardTexts::reviewRows(*wizard))
            result << label;
        return result;
    };
    const auto value = [&](const QString &label) {
        for (const auto &[rowLabel, rowValue] : WizardTexts::reviewRows(*wizard))
            if (rowLabel == label)
                return rowValue;
        return QStringLiteral("<none>");
    };
    EXPECT_EQ(labels(), (QStringList{"Guest OS"_q, "Name"_q, "Hardware"_q, "Install Source"_q, "Storage Folder"_q, "Display"_q, "Network"_q, "Microphone"_q, "Speakers"_q,
                                     "Camera"_q, "Shared Folders"_q, "First Boot"_q}));
    EXPECT_EQ(value(QStringLiteral("Install Source")), QStringLiteral("Automatic macOS selection"));
    EXPECT_EQ(value(QStringLiteral("Hardware")), QStringLiteral("4 CPUs • 8 GB RAM • 64 GB Disk"));
    EXPECT_EQ(value(QStringLiteral("Display")), QStringLiteral("1920 x 1200 start size, then auto-resizes with the VM window"));
    EXPECT_EQ(value(QStringLiteral("Shared Folders")), QStringLiteral("0"));
    wizard->setSourceMode(CreateVMWizardViewModel::SourceMode::local);
    EXPECT_EQ(value(QStringLiteral("Install Source")), QStringLiteral("Local restore image"));

    wizard->setGuestOSType(VMGuestOSType::windows);
    EXPECT_EQ(labels().size(), 12);
    EXPECT_EQ(value(QStringLiteral("Windows ISO")), QStringLiteral("Not selected"));
    EXPECT_EQ(value(QStringLiteral("Display")), QStringLiteral("Set within Windows"));
    wizard->setGuestOSType(VMGuestOSType::linux);
    wizard->setMemorySizeGB(2.7);
    EXPECT_EQ(labels().size(), 10);
    EXPECT_EQ(value(QStringLiteral("Rosetta")), QStringLiteral("<none>"));
    EXPECT_EQ(value(QStringLiteral("Hardware")), QStringLiteral("4 CPUs • 2 GB RAM • 64 GB Disk"));
    // This host has no Rosetta: asking for it leaves the review as it was.
    wizard->setLinuxUseRosetta(true);
    EXPECT_EQ(labels().size(), 10);
    EXPECT_EQ(value(QStringLiteral("Rosetta")), QStringLiteral("<none>"));
    EXPECT_EQ(value(QStringLiteral("Linux Source")), QStringLiteral("No distribution selected"));
}

TEST_F(WizardTextsTest, EveryGuestsTextsDescribeThisHost)
{
    // Words of the host the texts were first written for; a macOS guest's own words ("macOS", "restore image") stay.
    const QStringList foreignHostWords{"Virtualization.framework"_q, "Hypervisor.framework"_q, "Finder"_q, "host Mac"_q, "your Mac"_q,
                                       "this Mac"_q, "Xcode"_q, "Rosetta"_q, "macOS 15"_q};
    auto wizard = makeWizard();
    for (const VMGuestOSType guest : {VMGuestOSType::macOS, VMGuestOSType::linux, VMGuestOSType::windows}) {
        SCOPED_TRACE(displayName(guest).toStdString());
        wizard->setGuestOSType(guest);
        wizard->setLinuxUseRosetta(true);
        QStringList texts{WizardTexts::headerTitle(guest), WizardTexts::headerSubtitle(guest), WizardTexts::guestCardDescription(guest),
                          WizardTexts::reviewNote(guest)};
        for (const auto &[label, value] : WizardTexts::reviewRows(*wizard))
            texts << label + QStringLiteral(": ") + value;
        for (const QString &text : texts)
            for (const QString &word : foreignHostWords)
                EXPECT_FALSE(text.contains(word)) << text.toStdString();
        if (guest != VMGuestOSType::macOS) {
            EXPECT_FALSE(WizardTexts::headerTitle(guest).contains(QStringLiteral("Mac")));
        }
    }

    // The install command appears only for packages this host lacks, and names only those.
    const VMGuestOSType windows = VMGuestOSType::windows;
    EXPECT_EQ(WizardTexts::guestCardDescription(windows), QStringLiteral("Windows 11 ARM via QEMU"));
    EXPECT_EQ(WizardTexts::guestCardDescription(windows, {"swtpm"_q}), QStringLiteral("Windows 11 ARM via QEMU (requires sudo apt install swtpm)"));
    EXPECT_FALSE(WizardTexts::reviewNote(windows).contains(QStringLiteral("apt")));
    EXPECT_TRUE(WizardTexts::reviewNote(windows, {"qemu-system-arm"_q, "swtpm"_q})
                    .endsWith(QStringLiteral("You'll need QEMU installed (sudo apt install qemu-system-arm swtpm) to start the VM.")));
}

} // namespace

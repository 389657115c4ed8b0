// SPDX-License-Identifier: MIT
// Shows the new-VM wizard under a real X server, one PNG per step of each
// guest (and the General step once more in the dark palette), and checks
// that each shot holds a painted page. Argument: the folder for the PNGs.
#include "AppState.h"
#include "CreateVMWizardView.h"
#include "CreateVMWizardViewModel.h"
#include "IsoImage.h"
#include "ScreenshotSupport.h"
#include "ScriptedVirtualMachineFactory.h"
#include "Symbols.h"
#include "TemporaryHome.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QTextStream>

#include <chrono>

namespace {

using ScreenshotSupport::check;
using Step = CreateVMWizardViewModel::Step;

void shoot(CreateVMWizardView &sheet, const QString &folder, const QString &name, const QString &page)
{
    const QImage image = ScreenshotSupport::shoot(sheet, folder + QStringLiteral("/create-wizard-") + name + QStringLiteral(".png"));
    const QWidget *shown = sheet.findChild<QWidget *>(page);
    check(shown && shown->isVisible(), name + QStringLiteral(": the page ") + page + QStringLiteral(" is shown"));
    check(ScreenshotSupport::distinctColours(image) > 150, name + QStringLiteral(": the sheet holds more than a few flat colours"));
}

void goTo(CreateVMWizardViewModel &wizard, Step step)
{
    while (wizard.currentStep() != step && wizard.currentStep() != Step::review)
        wizard.goToNextStep();
}

bool waitUntil(const std::function<bool()> &condition)
{
    for (int turn = 0; turn < 400 && !condition(); ++turn)
        QTest::qWait(50);
    return condition();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    Symbols::ensureIconTheme();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    AppState state(ScreenshotSupport::scriptedOptions());
    const QString iso = home.path() + QStringLiteral("/debian-12-arm64-netinst.iso");
    check(IsoImage::write(iso, {{"EFI/BOOT/BOOTAA64.EFI", QByteArray(4096, 'e')}, {"README.TXT", QByteArray(200000, 'r')}}),
          QStringLiteral("the ISO is written"));

    auto wizard = state.makeCreateWizardViewModel();
    const WizardDesktop desktop{[](const QString &) {}, [](const QUrl &, auto) {}, [](const QString &) { return false; }};
    CreateVMWizardView sheet(wizard, desktop);
    sheet.resize(980, 900);
    sheet.show();
    check(QTest::qWaitForWindowExposed(&sheet), QStringLiteral("the sheet is shown"));
    // This host cannot install macOS, so the wizard starts on Linux; the macOS pages are shown as chosen.
    check(wizard->guestOSType() == VMGuestOSType::linux, QStringLiteral("the wizard starts on Linux"));
    wizard->setGuestOSType(VMGuestOSType::macOS);
    waitUntil([&] { return !wizard->isLoadingAutomaticRestoreImages(); });
    wizard->clearErrorMessage();
    shoot(sheet, folder, QStringLiteral("general-macos"), QStringLiteral("wizard.generalStep"));
    goTo(*wizard, Step::macOSSource);
    shoot(sheet, folder, QStringLiteral("macos-source"), QStringLiteral("wizard.macOSSourceStep"));
    goTo(*wizard, Step::sharedFolders);
    shoot(sheet, folder, QStringLiteral("shared-folders"), QStringLiteral("wizard.sharedFoldersStep"));
    goTo(*wizard, Step::firstBoot);
    wizard->setFirstBootEnabled(true);
    wizard->setFirstBootNotes(QStringLiteral("Install developer tools on first login."));
    shoot(sheet, folder, QStringLiteral("first-boot"), QStringLiteral("wizard.firstBootStep"));
    goTo(*wizard, Step::review);
    shoot(sheet, folder, QStringLiteral("review-macos"), QStringLiteral("wizard.reviewStep"));

    wizard->setGuestOSType(VMGuestOSType::windows);
    goTo(*wizard, Step::windowsSource);
    shoot(sheet, folder, QStringLiteral("windows-source"), QStringLiteral("wizard.windowsSourceStep"));
    wizard->setWindowsSourceMode(CreateVMWizardViewModel::WindowsSourceMode::advanced);
    shoot(sheet, folder, QStringLiteral("windows-advanced"), QStringLiteral("windows.uupBuilder"));

    wizard->setGuestOSType(VMGuestOSType::linux);
    wizard->setMemorySizeGB(2);
    shoot(sheet, folder, QStringLiteral("general-linux"), QStringLiteral("wizard.generalStep"));
    goTo(*wizard, Step::linuxSource);
    wizard->setSelectedLinuxDistribution(LinuxDistribution::catalog().first());
    shoot(sheet, folder, QStringLiteral("linux-source"), QStringLiteral("wizard.linuxSourceStep"));
    wizard->setLinuxSourceMode(CreateVMWizardViewModel::LinuxSourceMode::localISO);
    wizard->setLocalLinuxISOURL(iso);
    wizard->setDiskSizeGB(8);
    shoot(sheet, folder, QStringLiteral("linux-local"), QStringLiteral("wizard.linuxSourceStep"));
    goTo(*wizard, Step::review);
    shoot(sheet, folder, QStringLiteral("review-linux"), QStringLiteral("review.note"));
    wizard->createLinuxVM();
    check(waitUntil([&] { return !wizard->isCreating(); }), QStringLiteral("the Linux VM is created"));
    check(wizard->didFinishSuccessfully(), QStringLiteral("the Linux VM is created without error: ") + wizard->errorMessage().value_or(QString()));
    shoot(sheet, folder, QStringLiteral("created-linux"), QStringLiteral("installProgress"));

    // A new sheet in a dark desktop: its cards and badges take their colours when they are built.
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    auto darkWizard = state.makeCreateWizardViewModel();
    CreateVMWizardView darkSheet(darkWizard, desktop);
    darkWizard->setGuestOSType(VMGuestOSType::linux);
    darkSheet.resize(980, 900);
    darkSheet.show();
    check(QTest::qWaitForWindowExposed(&darkSheet), QStringLiteral("the dark sheet is shown"));
    shoot(darkSheet, folder, QStringLiteral("general-linux-dark"), QStringLiteral("wizard.generalStep"));
    goTo(*darkWizard, Step::linuxSource);
    shoot(darkSheet, folder, QStringLiteral("linux-source-dark"), QStringLiteral("wizard.linuxSourceStep"));

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}

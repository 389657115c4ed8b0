// SPDX-License-Identifier: MIT
// Shows the settings sheet of a hand-made VM and the template library under a
// real X server, saves them as PNGs in the light and the dark palette, and
// checks sampled pixels so that a blank or unpainted sheet fails. Argument:
// the folder for the PNGs.
#include "AppState.h"
#include "ErrorBannerView.h"
#include "FileChooser.h"
#include "ScreenshotSupport.h"
#include "TemplateCard.h"
#include "TemplateLibraryDialog.h"
#include "TemplateLibraryViewModel.h"
#include "TemporaryHome.h"
#include "VMDetailsPaneModels.h"
#include "VMSettingsSheet.h"
#include "VMStore.h"
#include "VMTemplateService.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextStream>

namespace {

using ScreenshotSupport::check;

/// A chooser the screenshots never ask.
class NoChoices final : public FileChooser
{
public:
    QCoro::Task<std::optional<QString>> choose(FileChoiceRequest) override { co_return std::nullopt; }
};

void shootSettings(VMSettingsSheet &sheet, const QString &path, const QString &appearance, bool bannerShown)
{
    const QImage image = ScreenshotSupport::shoot(sheet, path);
    check(image.size() == QSize(620, 720), appearance + QStringLiteral(": the sheet is 620 x 720"));
    check(ScreenshotSupport::distinctColours(image) > 150, appearance + QStringLiteral(": the sheet holds more than a few flat colours"));
    const QWidget *banner = sheet.findChild<QWidget *>(QStringLiteral("settings.banner"));
    check(banner->isVisible() == bannerShown, appearance + QStringLiteral(": the banner is shown only after a refusal"));
    if (bannerShown) {
        const QColor fill = image.pixelColor(banner->mapTo(&sheet, QPoint(6, banner->height() / 2)));
        check(fill.red() > 200 && fill.green() < 140, appearance + QStringLiteral(": the banner is red"));
    }
    // The group boxes are painted panels, set off from the window.
    const QWidget *hardware = sheet.findChild<QWidget *>(QStringLiteral("settings.hardware"));
    const QColor panel = image.pixelColor(hardware->mapTo(&sheet, QPoint(hardware->width() / 2, 10)));
    const QColor window = sheet.palette().color(QPalette::Window);
    check(ScreenshotSupport::distance(panel, window) > 0, appearance + QStringLiteral(": the hardware group is painted"));
}

void shootLibrary(TemplateLibraryDialog &library, const QString &path, const QString &appearance)
{
    const QImage image = ScreenshotSupport::shoot(library, path);
    check(library.cards().size() == 6, appearance + QStringLiteral(": six template cards"));
    check(ScreenshotSupport::distinctColours(image) > 150, appearance + QStringLiteral(": the library holds more than a few flat colours"));
    const TemplateCard *first = library.cards().constFirst();
    const QColor card = image.pixelColor(first->mapTo(&library, QPoint(first->width() - 20, first->height() - 8)));
    check(ScreenshotSupport::distance(card, library.palette().color(QPalette::Window)) > 0, appearance + QStringLiteral(": the cards are painted"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    ScreenshotSupport::prepareApplication();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    AppState state(ScreenshotSupport::scriptedOptions());

    const VMBundle added = ScreenshotSupport::addBundle(state, QStringLiteral("Build <b>Agent</b> & Co"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.hardwareProfile.memorySizeBytes = quint64(2) << 30;
        metadata.hardwareProfile.displayWidth = 1440;
        metadata.hardwareProfile.displayHeight = 900;
        metadata.hardwareProfile.displayPixelsPerInch = 80;
    });
    VMBundle bundle = added;
    for (const QString &name : {QStringLiteral("Source"), QStringLiteral("Music & Photos")}) {
        VMSharedFolder shared;
        shared.id = QUuid::createUuid();
        shared.displayName = name;
        shared.localURL = QUrl::fromLocalFile(home.path() + QStringLiteral("/shares/") + name);
        shared.isReadOnly = name.startsWith(QLatin1Char('M'));
        QDir().mkpath(shared.localURL.toLocalFile());
        bundle.sharedFolders << shared;
    }
    state.vmStore().updateBundle(bundle);
    state.templateService().createTemplate(bundle, QStringLiteral("Agent <i>& Co"), QStringLiteral("Nightly builds of the kernel tree"),
                                           VMTemplateCategory::ciRunner);

    const std::unique_ptr<VMDetailsViewModel> details = state.makeDetailsViewModels(bundle.id(), state.fileChooser()).details;
    QCoreApplication::processEvents();
    NoChoices chooser;

    VMSettingsSheet settings(*details, chooser);
    settings.show();
    check(QTest::qWaitForWindowExposed(&settings), QStringLiteral("the settings sheet is shown"));
    shootSettings(settings, folder + QStringLiteral("/settings-sheet-light.png"), QStringLiteral("light"), false);

    // A custom width outside the display range: the sheet stays open with its banner.
    settings.findChild<QCheckBox *>(QStringLiteral("settings.useCustomResolution"))->click();
    auto *width = settings.findChild<QLineEdit *>(QStringLiteral("settings.customWidth"));
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("9000"));
    settings.findChild<QPushButton *>(QStringLiteral("settings.save"))->click();
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    shootSettings(settings, folder + QStringLiteral("/settings-sheet-dark.png"), QStringLiteral("dark"), true);
    auto *scroll = settings.findChild<QScrollArea *>(QStringLiteral("settings.scroll"));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    ScreenshotSupport::shoot(settings, folder + QStringLiteral("/settings-sheet-dark-bottom.png"));
    check(settings.isVisible(), QStringLiteral("a refused save keeps the sheet open"));
    settings.close();

    QApplication::setPalette(QApplication::style()->standardPalette());
    TemplateLibraryDialog library(std::make_unique<TemplateLibraryViewModel>(state.templateService(), state.loggingService()));
    library.show();
    check(QTest::qWaitForWindowExposed(&library), QStringLiteral("the template library is shown"));
    shootLibrary(library, folder + QStringLiteral("/template-library-light.png"), QStringLiteral("light"));
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    shootLibrary(library, folder + QStringLiteral("/template-library-dark.png"), QStringLiteral("dark"));

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}

// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "ErrorBannerView.h"
#include "OptionCard.h"
#include "SaveAsTemplateSheet.h"
#include "VMDetailsViewModel.h"
#include "VMExportSheet.h"
#include "VMSettingsForm.h"
#include "VMSettingsSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

namespace {

using namespace CoordinatorTesting;

template <typename Widget>
Widget *child(const QWidget &parent, const char *name)
{
    auto *widget = parent.findChild<Widget *>(QLatin1String(name));
    EXPECT_TRUE(widget) << name;
    return widget;
}

/// Types into a line edit as a user would: the old text selected and replaced.
void type(QLineEdit &field, const QString &text)
{
    field.selectAll();
    field.del();
    QTest::keyClicks(&field, text);
}

class SettingsSheetTest : public ViewModelTest
{
protected:
    VMSettingsSheet &sheet(const QUuid &id)
    {
        m_sheet.reset();
        m_details = makeDetails(id);
        m_sheet = std::make_unique<VMSettingsSheet>(*m_details, m_chooser);
        m_sheet->show();
        return *m_sheet;
    }

    std::unique_ptr<VMDetailsViewModel> m_details;
    std::unique_ptr<VMSettingsSheet> m_sheet;
};

TEST_F(SettingsSheetTest, ShowsTheBundleAsSeeded)
{
    struct Case {
        qint64 width, height, pixelsPerInch;
        quint64 memory;
        bool custom;
        const char *preset;
        const char *memoryText;
        int slider;
    };
    const Case cases[] = {
        {1440, 900, 80, 8 * gibibyte, false, "1440 x 900", "8 GB", 8},
        {1440, 900, 72, 7 * gibibyte + gibibyte / 2, true, "1920 x 1200", "7 GB", 7},
        // A Linux guest's slider starts at 1 GB, as the wizard's stepper does.
        {1000, 700, 80, 2 * gibibyte, true, "1920 x 1200", "2 GB", 2},
        // Below the slider's range: the slider rests at its start, the text tells the truth.
        {1000, 700, 80, gibibyte / 2, true, "1920 x 1200", "0 GB", 1},
    };
    for (const Case &test : cases) {
        const VMBundle vm = vmWithDisplay(test.width, test.height, test.pixelsPerInch, test.memory);
        const VMSettingsSheet &shown = sheet(vm.id());
        // Two VMs may look alike in the list: the sheet names its own.
        EXPECT_EQ(shown.windowTitle(), QStringLiteral("VM Settings: ") + vm.metadata.name);
        EXPECT_EQ(child<QLabel>(shown, "settings.vmName")->text(), vm.metadata.name);
        EXPECT_EQ(child<QCheckBox>(shown, "settings.useCustomResolution")->isChecked(), test.custom);
        EXPECT_EQ(child<QLineEdit>(shown, "settings.customWidth")->isVisible(), test.custom);
        EXPECT_EQ(child<QComboBox>(shown, "settings.preset")->isVisible(), !test.custom);
        EXPECT_EQ(child<QComboBox>(shown, "settings.preset")->currentText(), QLatin1String(test.preset));
        EXPECT_EQ(child<QLineEdit>(shown, "settings.customWidth")->text(), QString::number(test.width));
        EXPECT_EQ(child<QLineEdit>(shown, "settings.customHeight")->text(), QString::number(test.height));
        EXPECT_EQ(child<QLabel>(shown, "settings.memoryValue")->text(), QLatin1String(test.memoryText));
        EXPECT_EQ(child<QSlider>(shown, "settings.memory")->value(), test.slider);
        EXPECT_EQ(child<QSlider>(shown, "settings.memory")->maximum(), 24);
        EXPECT_EQ(child<QSpinBox>(shown, "settings.cpu")->value(), 2);
        EXPECT_EQ(child<QSpinBox>(shown, "settings.cpu")->maximum(), 8);
        EXPECT_FALSE(child<QCheckBox>(shown, "settings.microphone")->isChecked());
        EXPECT_TRUE(child<QCheckBox>(shown, "settings.speaker")->isChecked());
        EXPECT_FALSE(child<ErrorBannerView>(shown, "settings.banner")->isVisible());
    }
}

TEST_F(SettingsSheetTest, TheMemorySliderStopsAtTheWizardsLimitAndSaysWhy)
{
    // The details' host has 32 GiB: the wizard's rule gives at most 24 GB.
    VMSettingsSheet &shown = sheet(vmWithDisplay(1440, 900, 80, 8 * gibibyte).id());
    auto *slider = child<QSlider>(shown, "settings.memory");
    auto *limit = child<QLabel>(shown, "settings.memoryLimit");
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 24);
    EXPECT_FALSE(limit->isVisible());
    slider->setValue(24);
    EXPECT_EQ(child<QLabel>(shown, "settings.memoryValue")->text(), QStringLiteral("24 GB"));
    EXPECT_TRUE(limit->isVisible());
    EXPECT_EQ(limit->text(), QStringLiteral("At most 24 GB: leaves 8 GB for this computer."));
    slider->setValue(23);
    EXPECT_FALSE(limit->isVisible());
}

TEST_F(SettingsSheetTest, AMicrophoneToggleSavesAndClosesWithoutTouchingTheMemory)
{
    const VMBundle bundle = vmWithDisplay(1000, 700, 80, 2 * gibibyte);
    VMSettingsSheet &shown = sheet(bundle.id());
    child<QCheckBox>(shown, "settings.microphone")->click();
    child<QPushButton>(shown, "settings.save")->click();
    EXPECT_EQ(shown.result(), QDialog::Accepted);
    EXPECT_FALSE(shown.isVisible());
    const VMMetadata stored = store().bundle(bundle.id())->metadata;
    EXPECT_EQ(stored.memorySizeBytes, 2 * gibibyte);
    EXPECT_TRUE(stored.mediaConfiguration->isMicrophoneEnabled);
}

TEST_F(SettingsSheetTest, ARefusedSaveKeepsTheSheetOpenWithItsBanner)
{
    const VMBundle bundle = vmWithDisplay(1440, 900, 80, 8 * gibibyte);
    const std::pair<const char *, const char *> widths[] = {
        {" 1920", "Width must be a whole number from 640 to 5120."},
        {"0", "Width must be a whole number from 640 to 5120."},
        {"-5", "Width must be a whole number from 640 to 5120."},
        {"12345678901234567890", "Width must be a whole number from 640 to 5120."},
        {"1920", nullptr},
    };
    for (const auto &[width, refusal] : widths) {
        VMSettingsSheet &shown = sheet(bundle.id());
        child<QCheckBox>(shown, "settings.useCustomResolution")->click();
        type(*child<QLineEdit>(shown, "settings.customWidth"), QString::fromUtf8(width));
        QTest::keyClick(child<QLineEdit>(shown, "settings.customWidth"), Qt::Key_Return);
        const auto *banner = child<ErrorBannerView>(shown, "settings.banner");
        EXPECT_EQ(shown.isVisible(), refusal != nullptr) << width;
        EXPECT_EQ(banner->isVisible(), refusal != nullptr) << width;
        if (refusal) {
            EXPECT_EQ(banner->message(), QLatin1String(refusal)) << width;
            EXPECT_TRUE(child<QPushButton>(shown, "settings.save")->isEnabled()) << width;
            EXPECT_TRUE(child<QPushButton>(shown, "settings.cancel")->isEnabled()) << width;
            EXPECT_EQ(store().bundle(bundle.id())->metadata.hardwareProfile.displayWidth, 1440) << width;
            child<QPushButton>(*banner, "banner.dismiss")->click();
            EXPECT_FALSE(banner->isVisible()) << width;
        } else {
            EXPECT_EQ(store().bundle(bundle.id())->metadata.hardwareProfile.displayWidth, 1920) << width;
        }
    }

    // The coordinator's refusal lands in the same banner.
    withSavedState(bundle.id());
    VMSettingsSheet &shown = sheet(bundle.id());
    child<QPushButton>(shown, "settings.save")->click();
    EXPECT_TRUE(shown.isVisible());
    EXPECT_EQ(child<ErrorBannerView>(shown, "settings.banner")->message(), refused("Discard the saved state before changing VM settings."));
}

TEST(ExportSheetTest, OpensOnTheArchiveWithTheSavedStateOnly)
{
    VMExportSheet sheet(QStringLiteral("Build <b>Agent</b>"));
    EXPECT_EQ(child<QLabel>(sheet, "export.title")->text(), QStringLiteral("Export Build <b>Agent</b>"));
    EXPECT_EQ(child<QLabel>(sheet, "export.title")->textFormat(), Qt::PlainText);
    EXPECT_TRUE(child<OptionCard>(sheet, "export.format.compressedArchive")->isChecked());
    EXPECT_FALSE(child<OptionCard>(sheet, "export.format.vmBundle")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(sheet, "export.includeSavedState")->isChecked());
    for (const char *box : {"export.includeSnapshots", "export.includeRestoreImages", "export.includeLogs"})
        EXPECT_FALSE(child<QCheckBox>(sheet, box)->isChecked()) << box;
    EXPECT_TRUE(child<QLineEdit>(sheet, "export.name")->text().isEmpty());
}

TEST(ExportSheetTest, HandsOnTheChoicesExactlyAsMade)
{
    struct Case {
        const char *format;
        QStringList boxes;
        const char *name;
        VMExportFormat expectedFormat;
    };
    const Case cases[] = {
        {nullptr, {}, "", VMExportFormat::compressedArchive},
        {"export.format.vmBundle", {QStringLiteral("export.includeSavedState"), QStringLiteral("export.includeLogs")}, "  Nightly / build:1  ",
         VMExportFormat::vmBundle},
        {"export.format.compressedArchive", {QStringLiteral("export.includeSnapshots"), QStringLiteral("export.includeRestoreImages")}, "   ",
         VMExportFormat::compressedArchive},
    };
    for (const Case &test : cases) {
        VMExportSheet sheet(QStringLiteral("Dev"));
        sheet.show();
        QSignalSpy cancelled(&sheet, &VMExportSheet::cancelled);
        std::optional<std::pair<VMExportFormat, VMExportConfiguration>> requested;
        QObject::connect(&sheet, &VMExportSheet::exportRequested, &sheet,
                         [&](VMExportFormat format, const VMExportConfiguration &configuration) { requested = {format, configuration}; });
        if (test.format)
            child<OptionCard>(sheet, test.format)->click();
        for (const QString &box : test.boxes)
            sheet.findChild<QCheckBox *>(box)->click();
        QTest::keyClicks(child<QLineEdit>(sheet, "export.name"), QString::fromUtf8(test.name));
        QTest::keyClick(child<QLineEdit>(sheet, "export.name"), Qt::Key_Return);

        ASSERT_TRUE(requested) << test.name;
        const auto &[format, configuration] = *requested;
        EXPECT_EQ(format, test.expectedFormat);
        EXPECT_EQ(configuration.compressionEnabled, test.expectedFormat == VMExportFormat::compressedArchive);
        EXPECT_EQ(configuration.archiveName, QString::fromUtf8(test.name)) << "untrimmed";
        EXPECT_EQ(configuration.includeSavedState, !test.boxes.contains(QStringLiteral("export.includeSavedState")));
        EXPECT_EQ(configuration.includeSnapshots, test.boxes.contains(QStringLiteral("export.includeSnapshots")));
        EXPECT_EQ(configuration.includeRestoreImages, test.boxes.contains(QStringLiteral("export.includeRestoreImages")));
        EXPECT_EQ(configuration.includeLogs, test.boxes.contains(QStringLiteral("export.includeLogs")));
        EXPECT_EQ(sheet.result(), QDialog::Accepted);
        EXPECT_EQ(cancelled.count(), 0);
    }

    VMExportSheet sheet(QStringLiteral("Dev"));
    sheet.show();
    QSignalSpy cancelled(&sheet, &VMExportSheet::cancelled);
    QSignalSpy requested(&sheet, &VMExportSheet::exportRequested);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(requested.count(), 0);
    EXPECT_FALSE(sheet.isVisible());
}

TEST(SaveAsTemplateSheetTest, ABlankNameDisablesSaveAndATypedOneIsHandedOnUntrimmed)
{
    SaveAsTemplateSheet sheet(QStringLiteral("Build & Test"));
    sheet.show();
    auto *name = child<QLineEdit>(sheet, "template.name");
    auto *save = child<QPushButton>(sheet, "template.save");
    EXPECT_EQ(name->text(), QStringLiteral("Build & Test Template"));
    EXPECT_EQ(child<QComboBox>(sheet, "template.category")->currentText(), QStringLiteral("Custom"));
    EXPECT_TRUE(child<QPlainTextEdit>(sheet, "template.description")->toPlainText().isEmpty());
    EXPECT_TRUE(save->isEnabled());

    const std::pair<const char *, bool> names[] = {{"", false}, {"   ", false}, {"\t \t", false}, {"\u00a0", false}, {" x ", true}, {"Agent", true}};
    for (const auto &[text, enabled] : names) {
        name->setText(QString::fromUtf8(text));
        EXPECT_EQ(save->isEnabled(), enabled) << '"' << text << '"';
    }

    QList<std::tuple<QString, QString, VMTemplateCategory>> saved;
    QObject::connect(&sheet, &SaveAsTemplateSheet::saveRequested, &sheet,
                     [&](const QString &title, const QString &description, VMTemplateCategory chosen) { saved.append({title, description, chosen}); });
    QSignalSpy cancelled(&sheet, &SaveAsTemplateSheet::cancelled);
    name->setText(QStringLiteral("   "));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(saved.isEmpty()) << "Return does nothing while Save is disabled";
    EXPECT_TRUE(sheet.isVisible());

    name->setText(QStringLiteral("  Agent  "));
    auto *category = child<QComboBox>(sheet, "template.category");
    category->setCurrentIndex(category->findText(QStringLiteral("CI Runner")));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(std::get<0>(saved[0]), QStringLiteral("  Agent  "));
    EXPECT_EQ(std::get<1>(saved[0]), QString());
    EXPECT_EQ(std::get<2>(saved[0]), VMTemplateCategory::ciRunner);
    EXPECT_EQ(cancelled.count(), 0);

    SaveAsTemplateSheet unnamed(QString{});
    unnamed.show();
    EXPECT_EQ(child<QLineEdit>(unnamed, "template.name")->text(), QStringLiteral(" Template"));
    EXPECT_TRUE(child<QPushButton>(unnamed, "template.save")->isEnabled());
    QSignalSpy unnamedCancelled(&unnamed, &SaveAsTemplateSheet::cancelled);
    QTest::keyClick(&unnamed, Qt::Key_Escape);
    EXPECT_EQ(unnamedCancelled.count(), 1);
}

} // namespace

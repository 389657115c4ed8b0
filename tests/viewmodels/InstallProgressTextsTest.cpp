// SPDX-License-Identifier: MIT
#include "InstallProgressTexts.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Stage = VMInstallProgress::Stage;

TEST(InstallProgressTextsTest, TextsOfOneReport)
{
    using namespace InstallProgressTexts;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        double fraction;
        const char *percent;
    };
    for (const Case &c : {Case{0.999, "99%"}, Case{1.0, "100%"}, Case{0.5, "50%"}, Case{nan, "0%"}, Case{1e300, "1000000000000000%"}})
        EXPECT_EQ(percentText(c.fraction), QString::fromUtf8(c.percent)) << c.fraction;

    VMInstallProgress progress = VMInstallProgress::step(Stage::downloadingRestoreImage, 0.1, QStringLiteral("d"));
    EXPECT_FALSE(bytesText(progress));
    EXPECT_FALSE(etaText(progress));
    progress.downloadedBytes = 1572864; // 1.5 MB of 2^20 bytes
    progress.expectedBytes = 0;
    EXPECT_EQ(bytesText(progress), QStringLiteral("1.5 MB"));
    progress.expectedBytes = 6442450944; // 6 GB of 2^30 bytes
    EXPECT_EQ(bytesText(progress), QStringLiteral("1.5 MB of 6 GB"));
    progress.bytesPerSecond = 12345678.4;
    progress.estimatedTimeRemaining = 480;
    EXPECT_EQ(etaText(progress), formatByteRate(12345678) + QStringLiteral(" • ") + DisplayFormatters::durationText(480) + QStringLiteral(" remaining"));
    progress.bytesPerSecond = 0;
    progress.estimatedTimeRemaining = infinity;
    progress.isResumingDownload = true;
    EXPECT_EQ(etaText(progress), QStringLiteral("Resuming"));
    progress.estimatedTimeRemaining = -5;
    EXPECT_EQ(etaText(progress), QStringLiteral("Resuming • ") + DisplayFormatters::durationText(0) + QStringLiteral(" remaining"));
    EXPECT_EQ(stageTitle(Stage::validatingRestoreImage), QStringLiteral("Preparing Hardware"));

    // Figures no transfer can have never show as sizes.
    progress.bytesPerSecond = nan;
    progress.estimatedTimeRemaining = std::nullopt;
    EXPECT_EQ(etaText(progress), QStringLiteral("Resuming"));
    progress.downloadedBytes = -1;
    progress.expectedBytes = -1;
    EXPECT_EQ(bytesText(progress), QStringLiteral("0 bytes"));
}

TEST(InstallProgressTextsTest, EachStagesTitleAndWhetherItDownloads)
{
    const struct {
        Stage stage;
        const char *title;
        bool downloads;
    } table[] = {
        {Stage::preparingBundle, "Preparing VM", false},
        {Stage::resolvingRestoreImage, "Resolving Restore Image", false},
        {Stage::downloadingRestoreImage, "Downloading Restore Image", true},
        {Stage::downloadingLinuxISO, "Downloading Linux ISO", true},
        {Stage::validatingRestoreImage, "Preparing Hardware", false},
        {Stage::configuringLinuxEFI, "Configuring EFI Boot", false},
        {Stage::installingMacOS, "Installing macOS", false},
        {Stage::finalizing, "Finalizing", false},
    };
    for (const auto &row : table) {
        EXPECT_EQ(InstallProgressTexts::stageTitle(row.stage), QString::fromUtf8(row.title));
        EXPECT_EQ(InstallProgressTexts::isDownloadStage(row.stage), row.downloads) << row.title;
    }
}

} // namespace

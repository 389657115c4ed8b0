// SPDX-License-Identifier: MIT
#pragma once

#include "VMInstallProgress.h"

#include <optional>

/**
 * The texts of the creation progress panel, each a pure function of one
 * progress report: the stage's title, the percentage, and during a download
 * the bytes and the transfer line. Out-of-range figures are clamped, never
 * shown raw.
 */
namespace InstallProgressTexts {

QString stageTitle(VMInstallProgress::Stage stage);
/// The fraction as a whole percentage, truncated: 0.999 reads "99%". Not-finite reads "0%".
QString percentText(double fractionCompleted);
/// "1.5 MB of 6 GB"; none without a downloaded count.
std::optional<QString> bytesText(const VMInstallProgress &progress);
/// "Resuming • 12.3 MB/s • 8m remaining"; none when nothing is known.
std::optional<QString> etaText(const VMInstallProgress &progress);
/// Whether the stage is one of the two downloads.
bool isDownloadStage(VMInstallProgress::Stage stage);

} // namespace InstallProgressTexts

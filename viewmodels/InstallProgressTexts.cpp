// SPDX-License-Identifier: MIT
#include "InstallProgressTexts.h"

#include "DisplayFormatters.h"
#include "SizeText.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace InstallProgressTexts {

using Stage = VMInstallProgress::Stage;

QString stageTitle(Stage stage)
{
    switch (stage) {
    case Stage::preparingBundle:
        return QStringLiteral("Preparing VM");
    case Stage::resolvingRestoreImage:
        return QStringLiteral("Resolving Restore Image");
    case Stage::downloadingRestoreImage:
        return QStringLiteral("Downloading Restore Image");
    case Stage::downloadingLinuxISO:
        return QStringLiteral("Downloading Linux ISO");
    case Stage::validatingRestoreImage:
        return QStringLiteral("Preparing Hardware");
    case Stage::configuringLinuxEFI:
        return QStringLiteral("Configuring EFI Boot");
    case Stage::installingMacOS:
        return QStringLiteral("Installing macOS");
    case Stage::finalizing:
        return QStringLiteral("Finalizing");
    }
    return {};
}

QString percentText(double fractionCompleted)
{
    double percent = std::isfinite(fractionCompleted) ? std::trunc(fractionCompleted * 100) : 0;
    // Reports stay within 0...1; anything else is shown at the nearest end.
    percent = std::clamp(percent, -1e15, 1e15);
    return QString::number(qint64(percent)) + QLatin1Char('%');
}

std::optional<QString> bytesText(const VMInstallProgress &progress)
{
    if (!progress.downloadedBytes)
        return std::nullopt;
    QString text = SizeText::bytes(std::max<qint64>(0, *progress.downloadedBytes));
    if (progress.expectedBytes && *progress.expectedBytes >= 1)
        text += QStringLiteral(" of ") + SizeText::bytes(*progress.expectedBytes);
    return text;
}

std::optional<QString> etaText(const VMInstallProgress &progress)
{
    QStringList parts;
    if (progress.isResumingDownload)
        parts << QStringLiteral("Resuming");
    if (progress.bytesPerSecond && *progress.bytesPerSecond > 0)
        parts << SizeText::rate(*progress.bytesPerSecond);
    if (progress.estimatedTimeRemaining && std::isfinite(*progress.estimatedTimeRemaining)) {
        QString duration = DisplayFormatters::durationText(std::max(0.0, *progress.estimatedTimeRemaining));
        if (duration.isEmpty())
            duration = QStringLiteral("Calculating…");
        parts << duration + QStringLiteral(" remaining");
    }
    if (parts.isEmpty())
        return std::nullopt;
    return parts.join(QStringLiteral(" • "));
}

bool isDownloadStage(Stage stage)
{
    return stage == Stage::downloadingRestoreImage || stage == Stage::downloadingLinuxISO;
}

} // namespace InstallProgressTexts

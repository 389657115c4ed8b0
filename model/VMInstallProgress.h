// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

#include <optional>
#include <utility>

/**
 * One progress report of a VM being created: the step, the overall
 * fraction, the line shown under the progress bar and, during a download,
 * its figures. Outside a download the four figures are absent and
 * `isResumingDownload` is false.
 */
struct VMInstallProgress {
    enum class Stage {
        preparingBundle,
        resolvingRestoreImage,
        downloadingRestoreImage,
        downloadingLinuxISO,
        validatingRestoreImage,
        configuringLinuxEFI,
        installingMacOS,
        finalizing,
    };

    Stage stage = Stage::preparingBundle;
    /// Of the whole installation, 0 to 1.
    double fractionCompleted = 0;
    QString detail;
    std::optional<qint64> downloadedBytes;
    std::optional<qint64> expectedBytes;
    std::optional<double> bytesPerSecond;
    /// Seconds.
    std::optional<double> estimatedTimeRemaining;
    bool isResumingDownload = false;

    /// A report outside a download: no figures.
    static VMInstallProgress step(Stage stage, double fractionCompleted, QString detail)
    {
        VMInstallProgress progress;
        progress.stage = stage;
        progress.fractionCompleted = fractionCompleted;
        progress.detail = std::move(detail);
        return progress;
    }

    bool operator==(const VMInstallProgress &) const = default;
};

template <>
struct RawValues<VMInstallProgress::Stage> {
    using Stage = VMInstallProgress::Stage;
    static constexpr std::string_view typeName = "Stage";
    static constexpr std::array table{
        std::pair{Stage::preparingBundle, std::string_view{"preparingBundle"}},
        std::pair{Stage::resolvingRestoreImage, std::string_view{"resolvingRestoreImage"}},
        std::pair{Stage::downloadingRestoreImage, std::string_view{"downloadingRestoreImage"}},
        std::pair{Stage::downloadingLinuxISO, std::string_view{"downloadingLinuxISO"}},
        std::pair{Stage::validatingRestoreImage, std::string_view{"validatingRestoreImage"}},
        std::pair{Stage::configuringLinuxEFI, std::string_view{"configuringLinuxEFI"}},
        std::pair{Stage::installingMacOS, std::string_view{"installingMacOS"}},
        std::pair{Stage::finalizing, std::string_view{"finalizing"}},
    };
};

// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <optional>

/// One progress report of a restore-image download, handed to the caller about three times a second.
struct RestoreImageDownloadProgress {
    /// 0 to 1.
    double fractionCompleted = 0;
    qint64 downloadedBytes = 0;
    /// Absent while the total size is unknown.
    std::optional<qint64> expectedBytes;
    /// Absent until a transfer speed is known.
    std::optional<double> bytesPerSecond;
    /// Seconds; absent while the total or the speed is unknown.
    std::optional<double> estimatedTimeRemaining;
    /// The transfer continues from a partial download saved earlier.
    bool isResumingDownload = false;

    bool operator==(const RestoreImageDownloadProgress &) const = default;
};

// SPDX-License-Identifier: MIT
#pragma once

#include "ISOBootProbe.h"

#include <QString>

#include <chrono>
#include <optional>

/**
 * Whether a local image can start a Linux installer in one of our arm64
 * VMs, told from its boot loaders (ISOBootProbe) before any bundle is made:
 * a file that is not an ISO 9660 image, one that boots only x86 PCs, or one
 * without an arm64 UEFI loader would leave the VM at the firmware shell.
 * An image the probe cannot judge (unreadable, or too slow to read) is let
 * through: the copy into the bundle reports a file that cannot be read.
 *
 * @code
 * if (const auto refusal = co_await BackgroundWork::run(&LinuxISOCheck::refusal, path))
 *     throw VirtualMachineError::invalidOperation(*refusal);
 * @endcode
 */
namespace LinuxISOCheck {

inline constexpr std::chrono::seconds probeBudget{10};

/// The sentence that refuses the image at `path`, none when it may boot. Blocking (at most probeBudget); safe on any thread.
std::optional<QString> refusal(const QString &path);

/// The sentence for the probe's `answer` about a file named `fileName`.
std::optional<QString> judge(const QString &fileName, ISOBootProbe::Answer answer);

} // namespace LinuxISOCheck

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>

/**
 * Tells which processor an installation disc image boots on, from its
 * ISO 9660 file system read with libarchive (no mounting): the UEFI
 * loaders in EFI/BOOT, and the 8.3 names of the loaders inside the El
 * Torito boot images the file system shows (efisys.bin, efiboot.img),
 * and whether it holds the image every Windows installation disc carries
 * (sources/install.wim or sources/install.esd).
 * Blocking, but bounded: only regular files are opened, at most
 * `maximumEntries` entries and `maximumBootImageBytes` of boot images are
 * read, and the probe gives up once `budget` has passed. Safe to run on any
 * thread.
 */
namespace ISOBootProbe {

enum class Answer {
    /// BOOTAA64.EFI is there.
    arm64,
    /// Only x64 or IA32 loaders are there.
    x86_64,
    /// An ISO 9660 image without any UEFI loader that can be seen.
    noLoaderFound,
    /// Not an ISO 9660 image at all (say a VHDX with another extension).
    notISO9660,
    /// Not a regular file, unreadable, or the budget ran out.
    unknown,
};

inline constexpr int maximumEntries = 200000;
inline constexpr qint64 maximumBootImageBytes = 64 * 1024 * 1024;

/// What one reading of the image found.
struct Contents {
    Answer answer = Answer::unknown;
    /// sources/install.wim or sources/install.esd is in the ISO 9660 file system.
    bool hasWindowsInstallImage = false;
};

Contents inspect(const QString &path, std::chrono::milliseconds budget);
Answer probe(const QString &path, std::chrono::milliseconds budget);

} // namespace ISOBootProbe

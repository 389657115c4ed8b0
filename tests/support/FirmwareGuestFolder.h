// SPDX-License-Identifier: MIT
#pragma once

#include "EFIVariableStore.h"
#include "HostProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <string>

/**
 * A temporary Guest.vm folder for a real QEMU that runs the AArch64 EFI
 * firmware and no guest system: Logs/, a fresh EFI variable store and an
 * empty sparse disk, with the host profile's runtime folder beside it.
 */
class FirmwareGuestFolder
{
public:
    /// Why a firmware machine cannot run here; none when QEMU and the firmware are installed.
    static std::optional<std::string> missingTools(const HostProfile &profile)
    {
        if (profile.qemuProgram.isEmpty() || profile.firmwareCodePath.isEmpty() || profile.firmwareVariablesTemplatePath.isEmpty())
            return "QEMU or its AArch64 firmware is not installed (qemu-system-arm, qemu-efi-aarch64)";
        return std::nullopt;
    }

    /// Makes the folder with a disk of `diskSize` bytes and points the profile's runtime folder into the temporary folder.
    bool prepare(HostProfile &profile, qint64 diskSize) const
    {
        profile.runtimeDirectory = path(QStringLiteral("run"));
        if (!QDir().mkpath(bundle(QStringLiteral("Logs"))))
            return false;
        EFIVariableStore::create(variableStore(), profile.firmwareVariablesTemplatePath);
        QFile disk(this->disk());
        return disk.open(QIODevice::WriteOnly) && disk.resize(diskSize);
    }

    QString path(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    QString bundle(const QString &relative) const { return path(QStringLiteral("Guest.vm/") + relative); }
    QString variableStore() const { return bundle(QStringLiteral("EFIVariableStore.bin")); }
    QString disk() const { return bundle(QStringLiteral("Disk.img")); }

private:
    QTemporaryDir m_directory;
};

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

/**
 * The firmware variable store of a macOS-style guest, the AuxiliaryStorage
 * file of its bundle. On this host it is the writable EFI variable flash
 * that QEMU gives the guest, so a new one is a copy of the variable-store
 * template that ships with the installed AArch64 firmware (Debian's AAVMF).
 * The copy is sparse, like every copy of a large file here.
 *
 *     const MacAuxiliaryStorage storage = MacAuxiliaryStorage::create(
 *         layout.auxiliaryStorageURL(), MacAuxiliaryStorage::findVariableStoreTemplate(), true);
 */
class MacAuxiliaryStorage
{
public:
    /// Refers to an existing storage file.
    explicit MacAuxiliaryStorage(QString url);

    /**
     * Creates a new storage file at `url` from `variableStoreTemplate`. The
     * folder must exist. An existing file is replaced in one step when
     * `allowOverwrite` is set, and refused with EEXIST otherwise; a missing
     * template fails with ENOENT naming it. Failures throw PlatformError and
     * leave no file behind.
     */
    static MacAuxiliaryStorage create(const QString &url, const QString &variableStoreTemplate, bool allowOverwrite);

    /// Where Debian's firmware packages put the variable-store template, in the order they are tried.
    static QStringList defaultVariableStoreTemplates();

    /// The first of `candidates` that is a regular file; empty when none is.
    static QString findVariableStoreTemplate(const QStringList &candidates = defaultVariableStoreTemplates());

    const QString &url() const { return m_url; }

    bool operator==(const MacAuxiliaryStorage &) const = default;

private:
    QString m_url;
};

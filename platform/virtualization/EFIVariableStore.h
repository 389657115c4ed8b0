// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The file in which an EFI guest keeps its firmware settings and boot
 * entries across restarts. QEMU maps it as the machine's second flash, so a
 * new store is a copy of the empty variable store that ships with the
 * AArch64 firmware, 64 MiB and kept sparse.
 *
 *     const EFIVariableStore store = EFIVariableStore::create(layout.efiVariableStoreURL(),
 *                                                             profile.firmwareVariablesTemplatePath);
 */
class EFIVariableStore
{
public:
    /// Refers to an existing store.
    explicit EFIVariableStore(QString url);

    /**
     * Creates a new store at `url` from `variableStoreTemplate`. The folder
     * must exist. An existing file is replaced in one step when
     * `allowOverwrite` is set and refused with EEXIST otherwise; a missing
     * template fails with ENOENT. Failures throw PlatformError and leave no
     * file behind.
     */
    static EFIVariableStore create(const QString &url, const QString &variableStoreTemplate, bool allowOverwrite = false);

    const QString &url() const { return m_url; }

    bool operator==(const EFIVariableStore &) const = default;

private:
    QString m_url;
};

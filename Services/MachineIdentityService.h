// SPDX-License-Identifier: MIT
#pragma once

#include "MacHardwareModel.h"
#include "MacMachineIdentifier.h"
#include "VMBundle.h"

#include <QString>

/**
 * Writes the identity files of a macOS-style guest into its bundle: the
 * hardware model it was installed for (HardwareModel.bin) and its own
 * machine identifier (MachineIdentifier.bin), each holding exactly the
 * object's data representation. Installation writes both; a clone gets a
 * new identifier.
 *
 * Each file is written atomically and marked as excluded from backups.
 * Failures are the host's PlatformError, unwrapped; nothing is logged and a
 * half-done pair is left as it is.
 *
 * @code
 * const MacMachineIdentifier identifier = identity.writeIdentity(bundle.layout(), model);
 * identity.write(MacMachineIdentifier::generate(), clone.layout().machineIdentifierURL());
 * @endcode
 */
class MachineIdentityService
{
public:
    /// Writes `hardwareModel` and then a new machine identifier into the bundle; returns the identifier written.
    MacMachineIdentifier writeIdentity(const VMBundle::Layout &layout, const MacHardwareModel &hardwareModel) const;

    /// Writes the object's data representation to `url`, creating its folder and replacing any file there.
    void write(const MacHardwareModel &hardwareModel, const QString &url) const;
    void write(const MacMachineIdentifier &identifier, const QString &url) const;

private:
    static void writeFile(const QByteArray &data, const QString &url);
};

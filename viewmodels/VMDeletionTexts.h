// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QString>

/**
 * What the confirmation before deleting a VM says, wherever it is asked
 * (the details pane, the library's context menu). It names the VM and,
 * because two VMs may carry one name, the bundle folder that goes.
 *
 * @code
 * VMDeletionTexts::title(bundle);   // "Delete “Build Box”?"
 * VMDeletionTexts::message(bundle); // "This removes “Build Box” and its bundle from disk: /home/me/VMs/Build Box.vm"
 * @endcode
 */
class VMDeletionTexts
{
public:
    static QString title(const VMBundle &bundle);
    static QString message(const VMBundle &bundle);
    static QString consequence();
};

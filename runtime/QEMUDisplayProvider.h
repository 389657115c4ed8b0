// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <utility>

/**
 * The display side of a VM run by QEMU. It only holds the bundle: the
 * guest's screen is served by QEMU's own VNC server, on the socket in the
 * VM's runtime folder that the engine puts on the command line.
 */
class QEMUDisplayProvider
{
public:
    explicit QEMUDisplayProvider(VMBundle bundle)
        : m_bundle(std::move(bundle))
    {
    }

    const VMBundle &bundle() const { return m_bundle; }

private:
    VMBundle m_bundle;
};

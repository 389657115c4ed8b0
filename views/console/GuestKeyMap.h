// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class QKeyEvent;

/**
 * How a key the user pressed is named to a QEMU guest: the PC scan code
 * that QEMU's extended key event carries (keys behind the 0xE0 prefix with
 * the high bit set) and the X keysym beside it. The scan code comes from
 * the key's evdev code where the windowing system reports one (X11 and
 * Wayland report it plus 8), else from the Qt key, which covers the keys of
 * a US keyboard; a key with neither yields 0 and is not sent.
 */
class GuestKeyMap
{
public:
    static quint32 scanCode(const QKeyEvent &event);
    static quint32 keysym(const QKeyEvent &event);
    /// The scan code of an evdev key code; 0 for a key QEMU has no code for.
    static quint32 scanCodeOfEvdev(quint32 evdevCode);
    /// The evdev code of a Qt key (without modifiers); 0 when it has none.
    static quint32 evdevOfQtKey(int key);
};

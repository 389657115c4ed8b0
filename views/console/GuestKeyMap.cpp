// SPDX-License-Identifier: MIT
#include "GuestKeyMap.h"

#include <QKeyEvent>

#include <array>
#include <utility>

namespace {

/// The evdev codes that XKB reports as the X keycode less this offset.
constexpr quint32 xkbKeycodeOffset = 8;

// Keys past the plain range and their PC scan codes (0xE0-prefixed keys with the high bit set).
constexpr std::array<std::pair<quint32, quint32>, 27> extendedKeys {{
    {89, 0x73}, // KEY_RO
    {96, 0x9c}, // KEY_KPENTER
    {97, 0x9d}, // KEY_RIGHTCTRL
    {98, 0xb5}, // KEY_KPSLASH
    {99, 0xb7}, // KEY_SYSRQ
    {100, 0xb8}, // KEY_RIGHTALT
    {102, 0xc7}, // KEY_HOME
    {103, 0xc8}, // KEY_UP
    {104, 0xc9}, // KEY_PAGEUP
    {105, 0xcb}, // KEY_LEFT
    {106, 0xcd}, // KEY_RIGHT
    {107, 0xcf}, // KEY_END
    {108, 0xd0}, // KEY_DOWN
    {109, 0xd1}, // KEY_PAGEDOWN
    {110, 0xd2}, // KEY_INSERT
    {111, 0xd3}, // KEY_DELETE
    {113, 0xa0}, // KEY_MUTE
    {114, 0xae}, // KEY_VOLUMEDOWN
    {115, 0xb0}, // KEY_VOLUMEUP
    {116, 0xde}, // KEY_POWER
    {117, 0x59}, // KEY_KPEQUAL
    {119, 0xc6}, // KEY_PAUSE
    {121, 0x7e}, // KEY_KPCOMMA
    {124, 0x7d}, // KEY_YEN
    {125, 0xdb}, // KEY_LEFTMETA
    {126, 0xdc}, // KEY_RIGHTMETA
    {127, 0xdd}, // KEY_COMPOSE
}};

// Qt keys of a US keyboard and their evdev codes, for platforms that report no native code.
constexpr std::array<std::pair<int, quint32>, 71> qtKeys {{
    {Qt::Key_Escape, 1},
    {Qt::Key_1, 2},
    {Qt::Key_2, 3},
    {Qt::Key_3, 4},
    {Qt::Key_4, 5},
    {Qt::Key_5, 6},
    {Qt::Key_6, 7},
    {Qt::Key_7, 8},
    {Qt::Key_8, 9},
    {Qt::Key_9, 10},
    {Qt::Key_0, 11},
    {Qt::Key_Minus, 12},
    {Qt::Key_Equal, 13},
    {Qt::Key_Backspace, 14},
    {Qt::Key_Tab, 15},
    {Qt::Key_Backtab, 15},
    {Qt::Key_Q, 16},
    {Qt::Key_W, 17},
    {Qt::Key_E, 18},
    {Qt::Key_R, 19},
    {Qt::Key_T, 20},
    {Qt::Key_Y, 21},
    {Qt::Key_U, 22},
    {Qt::Key_I, 23},
    {Qt::Key_O, 24},
    {Qt::Key_P, 25},
    {Qt::Key_BracketLeft, 26},
    {Qt::Key_BracketRight, 27},
    {Qt::Key_Return, 28},
    {Qt::Key_Control, 29},
    {Qt::Key_A, 30},
    {Qt::Key_S, 31},
    {Qt::Key_D, 32},
    {Qt::Key_F, 33},
    {Qt::Key_G, 34},
    {Qt::Key_H, 35},
    {Qt::Key_J, 36},
    {Qt::Key_K, 37},
    {Qt::Key_L, 38},
    {Qt::Key_Semicolon, 39},
    {Qt::Key_Apostrophe, 40},
    {Qt::Key_QuoteLeft, 41},
    {Qt::Key_Shift, 42},
    {Qt::Key_Backslash, 43},
    {Qt::Key_Z, 44},
    {Qt::Key_X, 45},
    {Qt::Key_C, 46},
    {Qt::Key_V, 47},
    {Qt::Key_B, 48},
    {Qt::Key_N, 49},
    {Qt::Key_M, 50},
    {Qt::Key_Comma, 51},
    {Qt::Key_Period, 52},
    {Qt::Key_Slash, 53},
    {Qt::Key_Alt, 56},
    {Qt::Key_Space, 57},
    {Qt::Key_CapsLock, 58},
    {Qt::Key_Enter, 96},
    {Qt::Key_AltGr, 100},
    {Qt::Key_Home, 102},
    {Qt::Key_Up, 103},
    {Qt::Key_PageUp, 104},
    {Qt::Key_Left, 105},
    {Qt::Key_Right, 106},
    {Qt::Key_End, 107},
    {Qt::Key_Down, 108},
    {Qt::Key_PageDown, 109},
    {Qt::Key_Insert, 110},
    {Qt::Key_Delete, 111},
    {Qt::Key_Meta, 125},
    {Qt::Key_F11, 87},
}};

// X keysyms of keys that type no character.
constexpr std::array<std::pair<int, quint32>, 26> qtKeysyms {{
    {Qt::Key_Escape, 0xff1b},
    {Qt::Key_Tab, 0xff09},
    {Qt::Key_Backtab, 0xfe20},
    {Qt::Key_Backspace, 0xff08},
    {Qt::Key_Return, 0xff0d},
    {Qt::Key_Enter, 0xff8d},
    {Qt::Key_Insert, 0xff63},
    {Qt::Key_Delete, 0xffff},
    {Qt::Key_Pause, 0xff13},
    {Qt::Key_Home, 0xff50},
    {Qt::Key_End, 0xff57},
    {Qt::Key_Left, 0xff51},
    {Qt::Key_Up, 0xff52},
    {Qt::Key_Right, 0xff53},
    {Qt::Key_Down, 0xff54},
    {Qt::Key_PageUp, 0xff55},
    {Qt::Key_PageDown, 0xff56},
    {Qt::Key_Shift, 0xffe1},
    {Qt::Key_Control, 0xffe3},
    {Qt::Key_Meta, 0xffeb},
    {Qt::Key_Alt, 0xffe9},
    {Qt::Key_AltGr, 0xfe03},
    {Qt::Key_CapsLock, 0xffe5},
    {Qt::Key_NumLock, 0xff7f},
    {Qt::Key_ScrollLock, 0xff14},
    {Qt::Key_Menu, 0xff67},
}};

} // namespace

quint32 GuestKeyMap::scanCode(const QKeyEvent &event)
{
    if (event.nativeScanCode() > xkbKeycodeOffset)
        return scanCodeOfEvdev(event.nativeScanCode() - xkbKeycodeOffset);
    return scanCodeOfEvdev(evdevOfQtKey(event.key()));
}

quint32 GuestKeyMap::keysym(const QKeyEvent &event)
{
    if (event.nativeVirtualKey() != 0)
        return event.nativeVirtualKey();
    const int key = event.key();
    for (const auto &[qtKey, symbol] : qtKeysyms)
        if (qtKey == key)
            return symbol;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 0xffbe + quint32(key - Qt::Key_F1);
    const QString text = event.text();
    if (text.size() == 1 && text.at(0).unicode() >= 0x20 && text.at(0).unicode() <= 0xff)
        return text.at(0).unicode();
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        return QChar(key).toLower().unicode();
    return 0;
}

quint32 GuestKeyMap::scanCodeOfEvdev(quint32 evdevCode)
{
    // Keys 1 to 83 and 86 to 88 carry the same numbers in both sets.
    if ((evdevCode >= 1 && evdevCode <= 83) || (evdevCode >= 86 && evdevCode <= 88))
        return evdevCode;
    for (const auto &[evdev, scan] : extendedKeys)
        if (evdev == evdevCode)
            return scan;
    return 0;
}

quint32 GuestKeyMap::evdevOfQtKey(int key)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F10)
        return 59 + quint32(key - Qt::Key_F1);
    if (key == Qt::Key_F12)
        return 88;
    for (const auto &[qtKey, evdev] : qtKeys)
        if (qtKey == key)
            return evdev;
    return 0;
}

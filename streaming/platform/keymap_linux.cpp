// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/keymap_linux.h"

#include <X11/X.h>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>

namespace glimra::platform {

// Windows scan code set 1 -> evdev key code. The X keycode is that + 8 under
// the evdev keymap every current X server uses.
int evdevFromScanCode(uint16_t pScan, bool pExtended)
{
    const uint16_t code = pScan & 0xFF;
    if ((pScan & 0xFF00) == 0xE000)
        pExtended = true;
    else if (pScan & 0xFF00)
        return 0;
    if (!pExtended) {
        if (code >= 0x01 && code <= 0x53)
            return code; // the classic block maps one to one
        switch (code) {
        case 0x54:
            return 99; // Alt+SysRq
        case 0x56:
            return 86; // 102nd key
        case 0x57:
            return 87; // F11
        case 0x58:
            return 88; // F12
        case 0x70:
            return 93; // Katakana/Hiragana
        case 0x73:
            return 89; // Ro
        case 0x79:
            return 92; // Henkan
        case 0x7B:
            return 94; // Muhenkan
        case 0x7D:
            return 124; // Yen
        default:
            return 0;
        }
    }
    switch (code) {
    case 0x1C:
        return 96; // keypad Enter
    case 0x1D:
        return 97; // right Ctrl
    case 0x20:
        return 113; // mute
    case 0x2E:
        return 114; // volume down
    case 0x30:
        return 115; // volume up
    case 0x35:
        return 98; // keypad /
    case 0x37:
        return 99; // Print Screen
    case 0x38:
        return 100; // right Alt
    case 0x45:
        return 119; // Pause
    case 0x47:
        return 102; // Home
    case 0x48:
        return 103; // Up
    case 0x49:
        return 104; // Page Up
    case 0x4B:
        return 105; // Left
    case 0x4D:
        return 106; // Right
    case 0x4F:
        return 107; // End
    case 0x50:
        return 108; // Down
    case 0x51:
        return 109; // Page Down
    case 0x52:
        return 110; // Insert
    case 0x53:
        return 111; // Delete
    case 0x5B:
        return 125; // left Windows
    case 0x5C:
        return 126; // right Windows
    case 0x5D:
        return 127; // Menu
    default:
        return 0;
    }
}

// Windows virtual-key code -> keysym, for keys sent without a usable scan code.
unsigned long keysymFromVirtualKey(uint16_t pVk)
{
    if (pVk >= 0x30 && pVk <= 0x39)
        return XK_0 + (pVk - 0x30);
    if (pVk >= 0x41 && pVk <= 0x5A)
        return XK_a + (pVk - 0x41);
    if (pVk >= 0x60 && pVk <= 0x69)
        return XK_KP_0 + (pVk - 0x60);
    if (pVk >= 0x70 && pVk <= 0x87)
        return XK_F1 + (pVk - 0x70);
    switch (pVk) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0C:
        return XK_Clear;
    case 0x0D:
        return XK_Return;
    case 0x10:
        return XK_Shift_L;
    case 0x11:
        return XK_Control_L;
    case 0x12:
        return XK_Alt_L;
    case 0x13:
        return XK_Pause;
    case 0x14:
        return XK_Caps_Lock;
    case 0x1B:
        return XK_Escape;
    case 0x20:
        return XK_space;
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2C:
        return XK_Print;
    case 0x2D:
        return XK_Insert;
    case 0x2E:
        return XK_Delete;
    case 0x5B:
        return XK_Super_L;
    case 0x5C:
        return XK_Super_R;
    case 0x5D:
        return XK_Menu;
    case 0x6A:
        return XK_KP_Multiply;
    case 0x6B:
        return XK_KP_Add;
    case 0x6C:
        return XK_KP_Separator;
    case 0x6D:
        return XK_KP_Subtract;
    case 0x6E:
        return XK_KP_Decimal;
    case 0x6F:
        return XK_KP_Divide;
    case 0x90:
        return XK_Num_Lock;
    case 0x91:
        return XK_Scroll_Lock;
    case 0xA0:
        return XK_Shift_L;
    case 0xA1:
        return XK_Shift_R;
    case 0xA2:
        return XK_Control_L;
    case 0xA3:
        return XK_Control_R;
    case 0xA4:
        return XK_Alt_L;
    case 0xA5:
        return XK_Alt_R;
    case 0xAD:
        return XF86XK_AudioMute;
    case 0xAE:
        return XF86XK_AudioLowerVolume;
    case 0xAF:
        return XF86XK_AudioRaiseVolume;
    case 0xBA:
        return XK_semicolon;
    case 0xBB:
        return XK_equal;
    case 0xBC:
        return XK_comma;
    case 0xBD:
        return XK_minus;
    case 0xBE:
        return XK_period;
    case 0xBF:
        return XK_slash;
    case 0xC0:
        return XK_grave;
    case 0xDB:
        return XK_bracketleft;
    case 0xDC:
        return XK_backslash;
    case 0xDD:
        return XK_bracketright;
    case 0xDE:
        return XK_apostrophe;
    case 0xE2:
        return XK_less;
    default:
        return NoSymbol;
    }
}

unsigned long keysymFromCodePoint(uint32_t pCode)
{
    switch (pCode) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0A:
    case 0x0D:
        return XK_Return;
    case 0x1B:
        return XK_Escape;
    case 0x7F:
        return XK_Delete;
    default:
        break;
    }
    if (pCode < 0x20 || (pCode >= 0x80 && pCode < 0xA0) || pCode > 0x10FFFF)
        return NoSymbol;
    if (pCode < 0x100)
        return pCode; // Latin-1 keysyms are the code points
    return 0x01000000 | pCode;
}

} // namespace glimra::platform

// SPDX-License-Identifier: GPL-2.0-or-later
#include "keymap.h"

#include <Qt>

namespace {
// Set-1 scan codes 0x01..0x58 of a US keyboard and their virtual keys; under
// the evdev keymap the X keycode of these keys is the scan code + 8.
const quint16 VkOfScan[0x59] = {
    0,    0x1B, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x30, 0xBD, 0xBB, 0x08, 0x09, // 0x00
    0x51, 0x57, 0x45, 0x52, 0x54, 0x59, 0x55, 0x49, 0x4F, 0x50, 0xDB, 0xDD, 0x0D, 0x11, 0x41, 0x53, // 0x10
    0x44, 0x46, 0x47, 0x48, 0x4A, 0x4B, 0x4C, 0xBA, 0xDE, 0xC0, 0x10, 0xDC, 0x5A, 0x58, 0x43, 0x56, // 0x20
    0x42, 0x4E, 0x4D, 0xBC, 0xBE, 0xBF, 0x10, 0x6A, 0x12, 0x20, 0x14, 0x70, 0x71, 0x72, 0x73, 0x74, // 0x30
    0x75, 0x76, 0x77, 0x78, 0x79, 0x90, 0x91, 0x67, 0x68, 0x69, 0x6D, 0x64, 0x65, 0x66, 0x6B, 0x61, // 0x40
    0x62, 0x63, 0x60, 0x6E, 0,    0,    0xE2, 0x7A, 0x7B,                                           // 0x50
};

// evdev codes of the extended keys and their virtual keys.
struct Extended {
    quint32 evdev;
    quint16 vk;
};
const Extended ExtendedKeys[] = {
    {96, 0x0D},  {97, 0xA3},  {98, 0x6F},  {99, 0x2C},  {100, 0xA5}, {102, 0x24}, {103, 0x26},
    {104, 0x21}, {105, 0x25}, {106, 0x27}, {107, 0x23}, {108, 0x28}, {109, 0x22}, {110, 0x2D},
    {111, 0x2E}, {119, 0x13}, {125, 0x5B}, {126, 0x5C}, {127, 0x5D},
};

// Qt keys without an X keycode (other platforms): scan code, or extended vk.
struct ByQtKey {
    int key;
    quint16 scan;
    quint16 extendedVk;
};
const ByQtKey QtKeys[] = {
    {Qt::Key_Escape, 0x01, 0}, {Qt::Key_Backspace, 0x0E, 0}, {Qt::Key_Tab, 0x0F, 0},    {Qt::Key_Return, 0x1C, 0},
    {Qt::Key_Enter, 0, 0x0D},  {Qt::Key_Control, 0x1D, 0},   {Qt::Key_Shift, 0x2A, 0},  {Qt::Key_Alt, 0x38, 0},
    {Qt::Key_Space, 0x39, 0},  {Qt::Key_CapsLock, 0x3A, 0},  {Qt::Key_Home, 0, 0x24},   {Qt::Key_Up, 0, 0x26},
    {Qt::Key_PageUp, 0, 0x21}, {Qt::Key_Left, 0, 0x25},      {Qt::Key_Right, 0, 0x27},  {Qt::Key_End, 0, 0x23},
    {Qt::Key_Down, 0, 0x28},   {Qt::Key_PageDown, 0, 0x22},  {Qt::Key_Insert, 0, 0x2D}, {Qt::Key_Delete, 0, 0x2E},
    {Qt::Key_Meta, 0, 0x5B},   {Qt::Key_AltGr, 0, 0xA5},     {Qt::Key_Print, 0, 0x2C},  {Qt::Key_Menu, 0, 0x5D},
};

RoomKey fromScan(quint16 scan)
{
    return RoomKey{VkOfScan[scan], scan};
}
} // namespace

QList<RoomKey> roomKeys(int qtKey, quint32 xKeycode, const QString &text)
{
    if (xKeycode > 8) {
        const quint32 evdev = xKeycode - 8;
        if (evdev < 0x59 && VkOfScan[evdev] != 0)
            return {fromScan(static_cast<quint16>(evdev))};
        for (const Extended &e : ExtendedKeys) {
            if (e.evdev == evdev)
                return {RoomKey{e.vk, e.vk}};
        }
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        for (quint16 s = 1; s < 0x59; ++s) {
            if (VkOfScan[s] == qtKey)
                return {fromScan(s)};
        }
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return {fromScan(static_cast<quint16>(qtKey == Qt::Key_0 ? 0x0B : 0x02 + (qtKey - Qt::Key_1)))};
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F10)
        return {fromScan(static_cast<quint16>(0x3B + (qtKey - Qt::Key_F1)))};
    if (qtKey == Qt::Key_F11 || qtKey == Qt::Key_F12)
        return {fromScan(qtKey == Qt::Key_F11 ? 0x57 : 0x58)};
    for (const ByQtKey &k : QtKeys) {
        if (k.key == qtKey)
            return {k.scan ? fromScan(k.scan) : RoomKey{k.extendedVk, k.extendedVk}};
    }
    // A character the room has no key for travels as itself.
    QList<RoomKey> units;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            units.append(RoomKey{0, c.unicode()});
    }
    return units;
}

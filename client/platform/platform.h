// SPDX-License-Identifier: GPL-2.0-or-later
// The client's seam to the operating system. One implementation per OS
// (platform_win.cpp, platform_linux.cpp); callers convert Qt types here.
// Only Win32-free standard C++ types cross this header.
#pragma once

#include <string>
#include <vector>

namespace Velmorant::Platform {

// "win32" or "linux": the update check's "platformName".
const char *platformName();

// File name of a downloaded installer: "updater.exe" or "updater".
std::wstring installerFileName();

// The user's display name (empty when the OS has none for this account).
std::wstring displayUserName();

// The logon name (empty on failure).
std::wstring logonUserName();

// The machine-wide program data folder (empty on failure).
std::wstring programDataPath();

// Probes write access by creating the file if it is missing. True when the
// file can be opened for writing.
bool canWriteFile(const std::wstring &path);

enum class ElevationResult { Started, Cancelled, Failed };

// Starts this program again with administrator rights and the given
// arguments. Cancelled when the user dismissed the elevation prompt.
ElevationResult relaunchElevated(const std::wstring &program, const std::vector<std::wstring> &arguments);

// How a failed elevated start reads: the OS error code (Windows) or the
// exit status of the elevation helper (Linux pkexec; 0 means started).
ElevationResult elevationResultForError(long code);

// Starts a downloaded installer with administrator rights, detached.
bool startInstallerElevated(const std::wstring &installerPath);

// Starts the on-screen keyboard when the system has one; false otherwise.
bool startTouchKeyboard();

} // namespace Velmorant::Platform

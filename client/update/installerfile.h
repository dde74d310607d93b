// SPDX-License-Identifier: GPL-2.0-or-later
// Where a downloaded installer is written before it is started with
// administrator rights. The folder is one only this user can change and the
// file is created new there (an older installer is removed first, a link is
// never followed), so no other local user can swap what is started.
// One implementation per OS (installerfile_linux.cpp, installerfile_win.cpp);
// only standard C++ types cross this header.
#pragma once

#include <string>

namespace Velmorant::InstallerFile {

// Creates the installer file, empty, and returns its full path; empty on
// failure, with the reason in *error.
std::wstring createNew(std::wstring *error);

// Where createNew() puts the file when that place is fixed; empty when each
// download gets a fresh folder of its own.
std::wstring fixedPath();

} // namespace Velmorant::InstallerFile

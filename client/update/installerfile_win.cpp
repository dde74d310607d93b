// SPDX-License-Identifier: GPL-2.0-or-later
// The installer goes to <per-user temporary folder>\VelmorantClient, which
// only this user (and administrators) can change. The file is still created
// new, and a folder that is a link (a reparse point) is refused.
#include "installerfile.h"

#include "platform/platform.h"

#include <windows.h>

namespace Velmorant::InstallerFile {
namespace {

std::wstring folderPath()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH)
        return {};
    std::wstring folder(buffer, n);
    if (folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder + L"VelmorantClient";
}

std::wstring failure(const wchar_t *what, const std::wstring &path)
{
    return std::wstring(what) + L" " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
}

} // namespace

std::wstring fixedPath()
{
    const std::wstring folder = folderPath();
    return folder.empty() ? std::wstring() : folder + L"\\" + Platform::installerFileName();
}

std::wstring createNew(std::wstring *error)
{
    const std::wstring folder = folderPath();
    if (folder.empty()) {
        *error = failure(L"no temporary folder", folder);
        return {};
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = failure(L"cannot create", folder);
        return {};
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *error = failure(L"not a plain folder:", folder);
        return {};
    }
    const std::wstring path = folder + L"\\" + Platform::installerFileName();
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        *error = failure(L"cannot replace", path);
        return {};
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = failure(L"cannot create", path);
        return {};
    }
    CloseHandle(file);
    return path;
}

} // namespace Velmorant::InstallerFile

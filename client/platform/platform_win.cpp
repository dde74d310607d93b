// SPDX-License-Identifier: GPL-2.0-or-later
// Win32 side of the client's seam. Only Win32 and the C++ standard library.
#include "platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
// windows.h first: the other Win32 headers build on its types.
#include <windows.h>

#include <knownfolders.h>
#include <security.h>
#include <shellapi.h>
#include <shlobj.h>

namespace Velmorant::Platform {
namespace {

constexpr DWORD kNameBufferSize = 257;

std::wstring quoted(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

} // namespace

const char *platformName()
{
    return "win32";
}

std::wstring installerFileName()
{
    return L"updater.exe";
}

std::wstring displayUserName()
{
    wchar_t buffer[kNameBufferSize] = {};
    ULONG size = kNameBufferSize;
    if (!GetUserNameExW(NameDisplay, buffer, &size))
        return {};
    return std::wstring(buffer);
}

std::wstring logonUserName()
{
    wchar_t buffer[kNameBufferSize] = {};
    DWORD size = kNameBufferSize;
    if (!GetUserNameW(buffer, &size))
        return {};
    return std::wstring(buffer);
}

std::wstring programDataPath()
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path)) && path)
        result = path;
    CoTaskMemFree(path);
    return result;
}

bool canWriteFile(const std::wstring &path)
{
    // Others may keep reading and writing the file meanwhile; an existing
    // file is opened, not truncated.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

ElevationResult elevationResultForError(long code)
{
    switch (code) {
    case 0:
        return ElevationResult::Started;
    case ERROR_CANCELLED: // the user answered the UAC prompt with No
        return ElevationResult::Cancelled;
    default:
        return ElevationResult::Failed;
    }
}

ElevationResult relaunchElevated(const std::wstring &program, const std::vector<std::wstring> &arguments)
{
    std::wstring parameters;
    for (const std::wstring &argument : arguments) {
        if (!parameters.empty())
            parameters += L' ';
        parameters += quoted(argument);
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = 0;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info))
        return ElevationResult::Started;
    // The shell's own error box may leave no error code behind; a failed
    // call must still never read as a start.
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ElevationResult::Failed : elevationResultForError(long(error));
}

bool startInstallerElevated(const std::wstring &installerPath)
{
    HINSTANCE result = ShellExecuteW(nullptr, L"runas", installerPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool startTouchKeyboard()
{
    const wchar_t *keyboard = L"C:\\Program Files\\Common Files\\Microsoft Shared\\ink\\TabTip.exe";
    if (GetFileAttributesW(keyboard) == INVALID_FILE_ATTRIBUTES)
        return false;
    HINSTANCE result = ShellExecuteW(nullptr, L"open", keyboard, nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace Velmorant::Platform

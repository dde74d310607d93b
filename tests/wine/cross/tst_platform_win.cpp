// SPDX-License-Identifier: GPL-2.0-or-later
// The client's Windows seam (client/platform/platform_win.cpp) against
// Wine's Win32: user names, the program data folder, the write probe, the
// elevation result mapping and the shell starts.
//
// The program doubles as the programs the seam starts: run under the name
// TabTip.exe or updater.exe it leaves "<its path>.started" and ends, so a
// test can see that the shell really started it.
#include "platform/platform.h"

#include "wincheck.h"
#include "winhelpers.h"

#include <windows.h>
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <security.h>

#include <cwctype>

namespace Platform = Velmorant::Platform;
using namespace wincheck;

namespace {

std::wstring lower(std::wstring text)
{
    for (wchar_t &c : text)
        c = wchar_t(std::towlower(c));
    return text;
}

std::wstring environment(const wchar_t *name)
{
    wchar_t buffer[1024] = {};
    const DWORD size = GetEnvironmentVariableW(name, buffer, 1024);
    return size > 0 && size < 1024 ? std::wstring(buffer) : std::wstring();
}

bool runningAsUnixRoot()
{
    return environment(L"VELMORANT_UNIX_UID") == L"0";
}

const wchar_t *kTouchKeyboard = L"C:\\Program Files\\Common Files\\Microsoft Shared\\ink\\TabTip.exe";

const char *resultName(Platform::ElevationResult result)
{
    switch (result) {
    case Platform::ElevationResult::Started:
        return "Started";
    case Platform::ElevationResult::Cancelled:
        return "Cancelled";
    case Platform::ElevationResult::Failed:
        return "Failed";
    }
    return "?";
}

// Copies this program to pTarget and returns the path the copy will leave
// when it runs.
std::wstring installStarter(const std::wstring &pTarget)
{
    if (!CopyFileW(modulePath().c_str(), pTarget.c_str(), FALSE))
        return {};
    return pTarget + L".started";
}

// Shell error boxes (ShellExecuteExW without SEE_MASK_FLAG_NO_UI) would wait
// for a click nobody gives; this thread answers every dialog of the process.
class DialogCloser {
public:
    DialogCloser() : mThread(CreateThread(nullptr, 0, &DialogCloser::loop, this, 0, nullptr)) {}
    ~DialogCloser()
    {
        InterlockedExchange(&mStop, 1);
        WaitForSingleObject(mThread, INFINITE);
        CloseHandle(mThread);
    }
    LONG closed() const { return mClosed; }

private:
    static BOOL CALLBACK closeDialog(HWND pWindow, LPARAM pSelf)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(pWindow, &process);
        wchar_t className[64] = {};
        GetClassNameW(pWindow, className, 64);
        if (process == GetCurrentProcessId() && std::wstring(className) == L"#32770" && IsWindowVisible(pWindow)) {
            PostMessageW(pWindow, WM_COMMAND, IDOK, 0);
            InterlockedIncrement(&reinterpret_cast<DialogCloser *>(pSelf)->mClosed);
        }
        return TRUE;
    }
    static DWORD WINAPI loop(void *pSelf)
    {
        auto *self = static_cast<DialogCloser *>(pSelf);
        while (!self->mStop) {
            EnumWindows(&DialogCloser::closeDialog, LPARAM(self));
            Sleep(50);
        }
        return 0;
    }

    volatile LONG mStop = 0;
    volatile LONG mClosed = 0;
    HANDLE mThread;
};

} // namespace

WINCHECK_CASE(user_names)
{
    // Wine has no display names: GetUserNameExW(NameDisplay) fails there, so
    // the seam must report "none" and the logon name must carry the chain.
    wchar_t buffer[257] = {};
    ULONG size = 257;
    const bool haveDisplayName = GetUserNameExW(NameDisplay, buffer, &size) && buffer[0] != 0;
    if (haveDisplayName)
        CHECK_EQ(Platform::displayUserName(), std::wstring(buffer));
    else
        CHECK_EQ(Platform::displayUserName(), std::wstring());

    wchar_t logon[257] = {};
    DWORD logonSize = 257;
    REQUIRE(GetUserNameW(logon, &logonSize));
    CHECK(logon[0] != 0);
    CHECK_EQ(Platform::logonUserName(), std::wstring(logon));

    // The Windows half of the default user name: the first non-empty of the two.
    std::wstring chosen = Platform::displayUserName();
    if (chosen.empty())
        chosen = Platform::logonUserName();
    CHECK_EQ(chosen, haveDisplayName ? std::wstring(buffer) : std::wstring(logon));
    note("display name " + show(Platform::displayUserName()) + ", logon name " + show(Platform::logonUserName()));
}

WINCHECK_CASE(program_data_path)
{
    const std::wstring path = Platform::programDataPath();
    REQUIRE(!path.empty());
    CHECK_EQ(lower(path), std::wstring(L"c:\\programdata"));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

WINCHECK_CASE(can_write_file)
{
    const std::wstring folder = makeTempFolder(L"probe");

    // Missing: the probe creates an empty file.
    const std::wstring missing = folder + L"\\network.json";
    CHECK(Platform::canWriteFile(missing));
    CHECK(fileExists(missing));
    CHECK_EQ(readFile(missing), std::string());

    // Existing: opened, not truncated.
    const std::wstring existing = folder + L"\\existing.json";
    REQUIRE(writeFile(existing, "{\"keep\":1}"));
    CHECK(Platform::canWriteFile(existing));
    CHECK_EQ(readFile(existing), std::string("{\"keep\":1}"));

    // Open elsewhere with read and write sharing (an editor, the reader):
    // the probe shares too, so it still succeeds.
    HANDLE shared = CreateFileW(existing.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(shared != INVALID_HANDLE_VALUE);
    CHECK(Platform::canWriteFile(existing));
    CloseHandle(shared);

    // Locked without sharing: not writable.
    HANDLE locked =
        CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(locked != INVALID_HANDLE_VALUE);
    CHECK(!Platform::canWriteFile(existing));
    CloseHandle(locked);

    // Read-only targets. Wine keeps the read-only attribute in the Unix
    // mode bits, which root ignores; a read-only sysfs file refuses writers
    // whoever they are.
    const std::wstring readOnly = folder + L"\\readonly.json";
    REQUIRE(writeFile(readOnly, "x"));
    REQUIRE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    if (runningAsUnixRoot())
        note("running as Unix root: Wine does not enforce the read-only attribute, sysfs row only");
    else
        CHECK(!Platform::canWriteFile(readOnly));
    const wchar_t *sysfs = L"Z:\\sys\\kernel\\uevent_seqnum";
    if (fileExists(sysfs))
        CHECK(!Platform::canWriteFile(sysfs));
    else
        note("no sysfs under Z:, row skipped");

    // A folder that does not exist is neither created nor reported writable.
    const std::wstring noFolder = folder + L"\\absent\\network.json";
    CHECK(!Platform::canWriteFile(noFolder));
    CHECK(!fileExists(folder + L"\\absent"));

    // A folder is not a writable file.
    CHECK(!Platform::canWriteFile(folder));

    removeFile(readOnly);
    removeFile(existing);
    removeFile(missing);
    RemoveDirectoryW(folder.c_str());
}

WINCHECK_CASE(elevation_result_mapping)
{
    struct Row {
        long code;
        Platform::ElevationResult expected;
    };
    // ERROR_CANCELLED is the declined UAC prompt (the "Permission Required"
    // box); everything else is the generic error box.
    const Row rows[] = {
        {0, Platform::ElevationResult::Started},
        {ERROR_CANCELLED, Platform::ElevationResult::Cancelled},
        {ERROR_FILE_NOT_FOUND, Platform::ElevationResult::Failed},
        {ERROR_PATH_NOT_FOUND, Platform::ElevationResult::Failed},
        {ERROR_ACCESS_DENIED, Platform::ElevationResult::Failed},
        {ERROR_NO_ASSOCIATION, Platform::ElevationResult::Failed},
        {740 /* ERROR_ELEVATION_REQUIRED */, Platform::ElevationResult::Failed},
        {-1, Platform::ElevationResult::Failed},
    };
    for (const Row &row : rows) {
        const char *got = resultName(Platform::elevationResultForError(row.code));
        if (std::string(got) != resultName(row.expected))
            fail(__FILE__, __LINE__,
                 "code " + std::to_string(row.code) + ": " + got + ", expected " + resultName(row.expected));
    }
}

WINCHECK_CASE(relaunch_missing_program_fails)
{
    // A failed ShellExecuteExW is never taken for a start, whatever the
    // last error reads after the shell's own error box.
    DialogCloser closer;
    const Platform::ElevationResult result =
        Platform::relaunchElevated(L"C:\\velmorant-absent\\VelmorantClient.exe", {L"--flag", L"with space"});
    CHECK_EQ(std::string(resultName(result)), std::string("Failed"));
    note("shell error boxes answered: " + std::to_string(closer.closed()));
}

WINCHECK_CASE(relaunch_elevated_starts_program)
{
    // Wine has no UAC: "runas" starts the program directly, which shows the
    // program and its arguments reach the shell.
    const std::wstring folder = makeTempFolder(L"relaunch");
    const std::wstring marker = installStarter(folder + L"\\updater.exe");
    REQUIRE(!marker.empty());
    CHECK_EQ(std::string(resultName(Platform::relaunchElevated(folder + L"\\updater.exe", {L"a b", L"c\"d"}))),
             std::string("Started"));
    // The starter renames its record into place; it may still be closing it.
    CHECK(waitFor([&] { return readFile(marker) != "<missing>"; }));
    CHECK_EQ(readFile(marker), std::string("2|a b|c\"d"));
    removeFile(marker);
    removeFile(folder + L"\\updater.exe");
    RemoveDirectoryW(folder.c_str());
}

WINCHECK_CASE(installer_start)
{
    const std::wstring folder = makeTempFolder(L"installer");
    CHECK(!Platform::startInstallerElevated(folder + L"\\updater.exe")); // not there

    const std::wstring installer = folder + L"\\" + Platform::installerFileName();
    const std::wstring marker = installStarter(installer);
    REQUIRE(!marker.empty());
    CHECK(Platform::startInstallerElevated(installer));
    CHECK(waitFor([&] { return fileExists(marker); }));
    removeFile(marker);
    removeFile(installer);
    RemoveDirectoryW(folder.c_str());
}

WINCHECK_CASE(touch_keyboard)
{
    // Absent (as in a fresh Wine prefix): nothing is started.
    REQUIRE(!fileExists(kTouchKeyboard));
    CHECK(!Platform::startTouchKeyboard());

    // Present: started with "open".
    const std::wstring path = kTouchKeyboard;
    std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring marker = installStarter(path);
    REQUIRE(!marker.empty());
    CHECK(Platform::startTouchKeyboard());
    CHECK(waitFor([&] { return fileExists(marker); }));
    removeFile(marker);
    removeFile(path);
    CHECK(!fileExists(kTouchKeyboard));
}

WINCHECK_CASE(names)
{
    CHECK_EQ(std::string(Platform::platformName()), std::string("win32"));
    CHECK_EQ(Platform::installerFileName(), std::wstring(L"updater.exe"));
}

int wmain(int argc, wchar_t **argv)
{
    const std::wstring self = lower(baseName(modulePath()));
    if (self == L"tabtip.exe" || self == L"updater.exe") {
        // Started by the seam: record the arguments as "count|arg|arg".
        std::string record = std::to_string(argc - 1);
        for (int i = 1; i < argc; ++i)
            record += "|" + narrow(argv[i]);
        const std::wstring marker = modulePath() + L".started";
        writeFile(marker + L".part", record);
        MoveFileExW((marker + L".part").c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING);
        return 0;
    }
    return wincheck::run(argc, argv);
}

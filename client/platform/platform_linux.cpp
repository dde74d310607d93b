// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform.h"
#include "platformlog_linux.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmorant::Platform {
namespace {

// The passwd entry of the current user; false when there is none.
bool currentPasswd(passwd &entry, std::vector<char> &buffer)
{
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    buffer.resize(hint > 0 ? size_t(hint) : 16384);
    passwd *result = nullptr;
    int error = 0;
    while ((error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result)) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!result)
        qCDebug(lcPlatform) << "no passwd entry for user id" << getuid() << "error" << error;
    return result != nullptr;
}

QString q(const std::wstring &text)
{
    return QString::fromStdWString(text);
}

// pkexec clears the environment; the X session must be passed on explicitly.
QStringList graphicalEnvironment()
{
    QStringList env{QStringLiteral("env")};
    for (const char *name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            env << QString::fromLatin1(name) + QLatin1Char('=') + QString::fromLocal8Bit(value);
    }
    return env;
}

} // namespace

const char *platformName()
{
    return "linux";
}

std::wstring installerFileName()
{
    return L"updater";
}

std::wstring displayUserName()
{
    passwd entry{};
    std::vector<char> buffer;
    if (!currentPasswd(entry, buffer) || !entry.pw_gecos)
        return {};
    QString gecos = QString::fromLocal8Bit(entry.pw_gecos);
    return gecos.section(QLatin1Char(','), 0, 0).trimmed().toStdWString();
}

std::wstring logonUserName()
{
    passwd entry{};
    std::vector<char> buffer;
    if (!currentPasswd(entry, buffer) || !entry.pw_name)
        return {};
    return QString::fromLocal8Bit(entry.pw_name).toStdWString();
}

std::wstring programDataPath()
{
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    return locations.value(1).toStdWString();
}

bool canWriteFile(const std::wstring &path)
{
    const QByteArray native = QFile::encodeName(q(path));
    int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

ElevationResult elevationResultForError(long code)
{
    switch (code) {
    case 0:
        return ElevationResult::Started;
    case 126: // pkexec: the authentication dialog was dismissed
        return ElevationResult::Cancelled;
    default:
        return ElevationResult::Failed;
    }
}

ElevationResult relaunchElevated(const std::wstring &program, const std::vector<std::wstring> &arguments)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        qCWarning(lcPlatform) << "no pkexec on PATH; cannot relaunch with administrator rights";
        return ElevationResult::Failed;
    }
    // The shell detaches the new instance so pkexec returns once authorised,
    // like an elevated shell start returns once the prompt is answered. pkexec
    // starts in root's home; the client looks for version.txt, network.json
    // and Resources/ in its working directory, so the shell goes back first.
    QStringList args = graphicalEnvironment();
    args << QStringLiteral("/bin/sh") << QStringLiteral("-c")
         << QStringLiteral("cd -- \"$1\" 2>/dev/null; shift; \"$0\" \"$@\" >/dev/null 2>&1 </dev/null &") << q(program)
         << QDir::currentPath();
    for (const std::wstring &argument : arguments)
        args << q(argument);
    QProcess process;
    process.start(pkexec, args);
    if (!process.waitForStarted(5000)) {
        qCWarning(lcPlatform).noquote() << "pkexec did not start:" << process.errorString();
        return ElevationResult::Failed;
    }
    // The prompt waits for the user; give them two minutes.
    if (!process.waitForFinished(120000)) {
        qCWarning(lcPlatform) << "no answer to the pkexec prompt within two minutes";
        process.kill();
        process.waitForFinished(1000);
        return ElevationResult::Failed;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return ElevationResult::Failed;
    return elevationResultForError(process.exitCode());
}

bool startInstallerElevated(const std::wstring &installerPath)
{
    const QString path = q(installerPath);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        qCWarning(lcPlatform) << "no pkexec on PATH; cannot start the installer" << path;
        return false;
    }
    QStringList args = graphicalEnvironment();
    args << path;
    if (QProcess::startDetached(pkexec, args))
        return true;
    qCWarning(lcPlatform) << "pkexec did not start for the installer" << path;
    return false;
}

bool startTouchKeyboard()
{
    const QString onboard = QStandardPaths::findExecutable(QStringLiteral("onboard"));
    if (onboard.isEmpty())
        return false;
    return QProcess::startDetached(onboard, {});
}

} // namespace Velmorant::Platform

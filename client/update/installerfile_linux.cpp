// SPDX-License-Identifier: GPL-2.0-or-later
// The installer goes to $XDG_RUNTIME_DIR/VelmorantClient when the runtime
// folder is the user's own, otherwise to a fresh folder under the temporary
// folder. A fixed name in the shared /tmp would let another user create the
// folder first or swap the file before pkexec starts it.
#include "installerfile.h"

#include "platform/platform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmorant::InstallerFile {
namespace {

// Owned by this user, a real folder (not a link), closed to everyone else.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

QByteArray runtimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.startsWith('/') || !isPrivateFolder(runtime))
        return {};
    return runtime + "/VelmorantClient";
}

// The folder inside the runtime folder is usable when it is missing or a
// real folder of this user's (no one else can reach into the runtime
// folder to change it after the check).
bool usableInRuntime(const QByteArray &folder)
{
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

QByteArray fileName()
{
    return QFile::encodeName(QString::fromStdWString(Platform::installerFileName()));
}

std::wstring wide(const QByteArray &path)
{
    return QFile::decodeName(path).toStdWString();
}

std::wstring failure(const char *what, const QByteArray &path)
{
    const int error = errno;
    return QStringLiteral("%1 %2: %3")
        .arg(QString::fromLatin1(what), QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(error)))
        .toStdWString();
}

} // namespace

std::wstring fixedPath()
{
    const QByteArray folder = runtimeFolder();
    return folder.isEmpty() || !usableInRuntime(folder) ? std::wstring() : wide(folder + '/' + fileName());
}

std::wstring createNew(std::wstring *error)
{
    QByteArray folder = runtimeFolder();
    if (!folder.isEmpty()) {
        if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
            folder.clear();
        else if (!usableInRuntime(folder) || ::chmod(folder.constData(), 0700) != 0 || !isPrivateFolder(folder))
            folder.clear(); // a link or someone else's: not ours to use
    }
    if (folder.isEmpty()) {
        QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/VelmorantClient-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            *error = failure("cannot create a private folder in", QFile::encodeName(QDir::tempPath()));
            return {};
        }
        folder = pattern; // mode 0700, a new name no one could plant
    }
    const QByteArray path = folder + '/' + fileName();
    if (::unlink(path.constData()) != 0 && errno != ENOENT) {
        *error = failure("cannot replace", path);
        return {};
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0) {
        *error = failure("cannot create", path);
        return {};
    }
    ::close(fd);
    return wide(path);
}

} // namespace Velmorant::InstallerFile

#include "app/PrivateCache.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "app/FileReasons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kCacheName = QStringLiteral("parlewick");

QString notPrivateText(const QString &path)
{
    return QStringLiteral("The cache folder %1 is not owned by you, or is a link or a file; remove it and try again.")
        .arg(QDir::toNativeSeparators(path));
}

}   // namespace

QString privateCachePath(const QString &name)
{
    QString root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    // Without a usable home the data folder keeps the cache; a relative path would mean the
    // current folder.
    root = QDir::isAbsolutePath(root) ? QDir(root).filePath(kCacheName) : QDir(dataFolder()).filePath(QStringLiteral("cache"));
    return name.isEmpty() ? QDir::cleanPath(root) : QDir(root).filePath(name);
}

void ensurePrivateFolderThrow(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        failWith(QStringLiteral("Cannot create the cache folder %1: %2")
                     .arg(QDir::toNativeSeparators(path), systemErrorReason(errno, QFileInfo(path).absolutePath())));
    // lstat: a link is judged itself, never its target.
    struct stat info;
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        failWith(notPrivateText(path));
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        failWith(notPrivateText(path));
#else
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        failWith(notPrivateText(path));
    if (!QDir().mkdir(path) && !QFileInfo(path).isDir())
        failWith(QStringLiteral("Cannot create the cache folder %1: %2")
                     .arg(QDir::toNativeSeparators(path), folderCreationReason(path)));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
#endif
}

QString privateCacheFolderThrow(const QString &name)
{
    const QString root = privateCachePath();
    const QString parent = QFileInfo(root).absolutePath();
    makeFolderThrow(parent);
    ensurePrivateFolderThrow(root);
    if (name.isEmpty())
        return root;
    const QString folder = privateCachePath(name);
    ensurePrivateFolderThrow(folder);
    return folder;
}

std::unique_ptr<QTemporaryDir> privateTemporaryFolderThrow()
{
    // Named by the process, so that what a killed run left can be told from a live run's.
    auto folder = std::make_unique<QTemporaryDir>(
        QDir(privateCacheFolderThrow()).filePath(QStringLiteral("work-%1-XXXXXX").arg(QCoreApplication::applicationPid())));
    if (!folder->isValid())
        failWith(QStringLiteral("Cannot create a working folder in %1. %2")
                     .arg(QDir::toNativeSeparators(privateCachePath()), folder->errorString()));
    return folder;
}

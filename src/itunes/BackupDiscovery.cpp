#include "itunes/BackupDiscovery.h"

#include "app/FileReasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <dirent.h>
#endif

namespace {

const QString kWindowsTail = QStringLiteral("Apple Computer/MobileSync/Backup");
const QString kMacPlace = QStringLiteral("Library/Application Support/MobileSync/Backup");

QString nativeBackupRoot(const QString &home)
{
    const QDir homeDir(home);
#if defined(Q_OS_WIN)
    const QString roaming = homeDir.filePath(QStringLiteral("AppData/Roaming"));
    const QString base = QFileInfo(roaming).isDir() ? roaming : homeDir.filePath(QStringLiteral("Application Data"));
    return QDir(base).filePath(kWindowsTail);
#elif defined(Q_OS_MACOS)
    return homeDir.filePath(kMacPlace);
#else
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        dataHome = homeDir.filePath(QStringLiteral(".local/share"));
    return QDir(dataHome).filePath(QStringLiteral("MobileSync/Backup"));
#endif
}

}   // namespace

BackupFormat backupFormatOf(const QString &folder)
{
    const QDir dir(folder);
    if (QFileInfo(dir.filePath(QStringLiteral("Manifest.db"))).isFile())
        return BackupFormat::FilesDb;
    if (QFileInfo(dir.filePath(QStringLiteral("Manifest.mbdb"))).isFile())
        return BackupFormat::Mbdb;
    return BackupFormat::None;
}

QStringList backupRootFolders(const QString &home)
{
    const QDir homeDir(home);
    QStringList roots;
    for (const QString &place :
         {QDir(QStringLiteral("AppData/Roaming")).filePath(kWindowsTail),
          QDir(QStringLiteral("Application Data")).filePath(kWindowsTail), QStringLiteral("Apple/MobileSync/Backup")}) {
        const QString root = homeDir.filePath(place);
        if (QFileInfo(root).isDir())
            roots.append(QDir::cleanPath(root));
    }
    const QString native = QDir::cleanPath(nativeBackupRoot(home));
    if (!roots.contains(native))
        roots.append(native);
    return roots;
}

QStringList backupRootFolders()
{
    return backupRootFolders(QDir::homePath());
}

QStringList backupFolders(const QString &root)
{
    QStringList folders;
    const QFileInfoList entries = QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (const QFileInfo &entry : entries) {
        const QString folder = entry.absoluteFilePath();
        if (backupFormatOf(folder) != BackupFormat::None
            && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Manifest.plist"))))
            folders.append(folder);
    }
    return folders;
}

QString unreadableRootText(const QString &root, const QString &reason)
{
    if (QDir::cleanPath(root).endsWith(kMacPlace))
        return QStringLiteral("The iTunes Backup folder %1 cannot be read. Give Parlewick Full Disk Access "
                              "(System Settings, Privacy & Security, Full Disk Access) and open this list again.")
            .arg(QDir::toNativeSeparators(root));
    return QStringLiteral("The iTunes Backup folder %1 cannot be read: %2")
        .arg(QDir::toNativeSeparators(root), reason.isEmpty() ? QStringLiteral("you have no permission to open it.") : reason);
}

QString backupRootProblem(const QString &root)
{
    if (!QFileInfo(root).isDir())
        return QString();
#if defined(Q_OS_UNIX)
    // Privacy protection on macOS refuses the listing itself, whatever the permission bits say.
    DIR *dir = ::opendir(QFile::encodeName(root).constData());
    if (dir) {
        ::closedir(dir);
        return QString();
    }
    return unreadableRootText(root, systemErrorReason(errno));
#else
    if (QFileInfo(root).isReadable())
        return QString();
    return unreadableRootText(root);
#endif
}

#include "itunes/BackupDiscovery.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kWindowsTail = QStringLiteral("Apple Computer/MobileSync/Backup");

QString nativeBackupRoot(const QString &home)
{
    const QDir homeDir(home);
#if defined(Q_OS_WIN)
    const QString roaming = homeDir.filePath(QStringLiteral("AppData/Roaming"));
    const QString base = QFileInfo(roaming).isDir() ? roaming : homeDir.filePath(QStringLiteral("Application Data"));
    return QDir(base).filePath(kWindowsTail);
#elif defined(Q_OS_MACOS)
    return homeDir.filePath(QStringLiteral("Library/Application Support/MobileSync/Backup"));
#else
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        dataHome = homeDir.filePath(QStringLiteral(".local/share"));
    return QDir(dataHome).filePath(QStringLiteral("MobileSync/Backup"));
#endif
}

} // namespace

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
    for (const QString &base : {QStringLiteral("AppData/Roaming"), QStringLiteral("Application Data")}) {
        const QString root = QDir(homeDir.filePath(base)).filePath(kWindowsTail);
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
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (const QFileInfo &entry : entries) {
        const QString folder = entry.absoluteFilePath();
        if (backupFormatOf(folder) != BackupFormat::None
            && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Manifest.plist"))))
            folders.append(folder);
    }
    return folders;
}

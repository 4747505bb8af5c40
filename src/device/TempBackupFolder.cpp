#include "device/TempBackupFolder.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStorageInfo>
#include <QtDebug>

namespace {

QString rootFilePath()
{
    return QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName));
}

QString rememberedRoot()
{
    QFile file(rootFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString root = QString::fromUtf8(file.read(4096)).trimmed();
    return QDir::isAbsolutePath(root) ? QDir::cleanPath(root) : QString();
}

void rememberRoot(const QString &root)
{
    QSaveFile file(rootFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(root.toUtf8()) < 0 || !file.commit())
        qDebug() << "the backup folder's root could not be remembered:" << file.errorString();
}

bool canWriteAtRoot(const QString &root)
{
    const QString probe = QDir(root).filePath(QStringLiteral("__test%1").arg(QDateTime::currentMSecsSinceEpoch()));
    if (!QDir().mkdir(probe))
        return false;
    QDir().rmdir(probe);
    return true;
}

// Local disks only: memory and kernel file systems vanish or refuse, and removable media
// mounted for the user may be pulled out in the middle of a backup.
bool isLocalDisk(const QStorageInfo &volume)
{
    static const QList<QByteArray> pseudo = {
        "tmpfs",     "devtmpfs",   "ramfs",    "proc",        "sysfs",   "overlay", "squashfs", "devpts",  "cgroup",
        "cgroup2",   "securityfs", "pstore",   "bpf",         "tracefs", "debugfs", "configfs", "fusectl", "mqueue",
        "hugetlbfs", "autofs",     "efivarfs", "binfmt_misc", "nsfs",    "iso9660", "udf"};
    if (!volume.isValid() || !volume.isReady() || volume.isReadOnly() || pseudo.contains(volume.fileSystemType()))
        return false;
    const QString root = volume.rootPath();
    return !root.startsWith(QLatin1String("/media/")) && !root.startsWith(QLatin1String("/run/"));
}

QString joinedWithFolderName(const QString &root)
{
    return QDir::cleanPath(QDir(root).filePath(QLatin1String(TempBackupFolderName)));
}

}   // namespace

QString rememberedTempBackupFolder()
{
    const QString root = rememberedRoot();
    return root.isEmpty() ? QString() : joinedWithFolderName(root);
}

void clearTempBackupFolder()
{
    const QString folder = rememberedTempBackupFolder();
    if (!folder.isEmpty())
        removeFolderTree(folder);
    QFile::remove(rootFilePath());
}

qint64 freeDiskSpace(const QString &folder)
{
    const QStorageInfo volume(QDir(folder).absolutePath());
    return volume.isValid() && volume.isReady() ? volume.bytesAvailable() : -1;
}

QString pickTempBackupRoot(const QStringList &roots, const QString &defaultRoot)
{
    QString chosen = defaultRoot;
    qint64 mostFree = 0;
    // Roots on one volume share its space: it is read once, so that files written elsewhere
    // meanwhile cannot make one of them look larger than the other.
    QHash<QString, qint64> freeByVolume;
    for (const QString &root : roots) {
        if (!canWriteAtRoot(root))
            continue;
        const QString volume = QStorageInfo(QDir(root).absolutePath()).rootPath();
        auto known = freeByVolume.constFind(volume);
        if (known == freeByVolume.constEnd())
            known = freeByVolume.insert(volume, freeDiskSpace(root));
        const qint64 free = *known;
        if (free > mostFree) {
            mostFree = free;
            chosen = root;
        }
    }
    return chosen;
}

QString chooseTempBackupFolder()
{
    QString root = rememberedRoot();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        QStringList roots;
        for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
            if (isLocalDisk(volume))
                roots.append(volume.rootPath());
        }
        // A user can seldom write at the root of a volume; the data folder is always theirs.
        root = pickTempBackupRoot(roots, dataFolder());
        rememberRoot(root);
    }
    return joinedWithFolderName(root);
}

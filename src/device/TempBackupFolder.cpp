#include "device/TempBackupFolder.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "app/Preferences.h"
#include "app/PrivateCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QtDebug>

#include <stdexcept>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString &rootForThisRun()
{
    static QString root;
    return root;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isPhoneFolderName(const QString &name)
{
    static const QRegularExpression udid(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z-]{0,63}$"));
    return udid.match(name).hasMatch();
}

bool looksLikePhoneBackup(const QString &folder)
{
    for (const char *name : {"Status.plist", "Manifest.plist", "Info.plist"})
        if (QFileInfo::exists(QDir(folder).filePath(QLatin1String(name))))
            return true;
    return false;
}

QString earlierRootFilePath()
{
    return QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName));
}

QString earlierFolder()
{
    QFile file(earlierRootFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString root = QString::fromUtf8(file.read(4096)).trimmed();
    return QDir::isAbsolutePath(root) ? QDir::cleanPath(QDir(root).filePath(QLatin1String(TempBackupFolderName))) : QString();
}

#ifdef Q_OS_UNIX
// The folder itself (never a link's target) and the user's own; its volume in *device.
bool isOwnFolder(const QString &path, dev_t *device)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    *device = info.st_dev;
    return true;
}
#endif

// Each phone's folder renamed into root (a phone already there keeps its newer backup);
// true when one was moved.
bool movePhoneFolders(const QString &from, const QString &root)
{
    bool moved = false;
    for (const QString &name : QDir(from).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(root).filePath(name);
        if (!isPhoneFolderName(name) || QFileInfo::exists(target))
            continue;
        if (QDir().rename(QDir(from).filePath(name), target)) {
            QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            moved = true;
        }
    }
    return moved;
}

}   // namespace

QString defaultDeviceBackupRoot()
{
    return privateCachePath(QStringLiteral("device-backups"));
}

QString deviceBackupRoot()
{
    if (!rootForThisRun().isEmpty())
        return rootForThisRun();
    const QString chosen = Preferences::load().deviceBackupFolder;
    return QDir::isAbsolutePath(chosen) ? QDir::cleanPath(chosen) : defaultDeviceBackupRoot();
}

void setDeviceBackupRootForThisRun(const QString &folder)
{
    rootForThisRun() = folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

QString chooseTempBackupFolder()
{
    const QString root = deviceBackupRoot();
    if (root == defaultDeviceBackupRoot())
        return privateCacheFolderThrow(QStringLiteral("device-backups"));
    const QFileInfo info(root);
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        failWith(QStringLiteral("The device backup folder %1 is a link or a file; choose a folder.").arg(native(root)));
    if (!info.exists()) {
        if (!QDir().mkpath(QFileInfo(root).absolutePath()))
            failWith(QStringLiteral("Cannot create the device backup folder %1.").arg(native(root)));
        ensurePrivateFolderThrow(root);
    }
    return root;
}

QString privateDeviceBackupFolderThrow(const QString &udid)
{
    if (!isPhoneFolderName(udid))
        failWith(QStringLiteral("The iPhone's identifier %1 is no plain name.").arg(udid));
    const QString folder = QDir(chooseTempBackupFolder()).filePath(udid);
    ensurePrivateFolderThrow(folder);
    return folder;
}

void clearTempBackupFolder()
{
    const QString root = deviceBackupRoot();
    if (root == defaultDeviceBackupRoot()) {
        removeFolderTree(root);
        return;
    }
    for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString folder = QDir(root).filePath(name);
        if (isPhoneFolderName(name) && !QFileInfo(folder).isSymLink() && looksLikePhoneBackup(folder))
            removeFolderTree(folder);
    }
}

QString retireEarlierBackupFolder()
{
    const QString earlier = earlierFolder();
    if (earlier.isEmpty() || !QFileInfo(earlier).exists()) {
        QFile::remove(earlierRootFilePath());
        return QString();
    }
    QString told;
#ifdef Q_OS_UNIX
    dev_t earlierVolume = 0;
    if (!isOwnFolder(earlier, &earlierVolume)) {
        // A link or another user's folder is never followed into or removed.
        told = QStringLiteral("An earlier version kept device backups in %1, which is not a folder of yours now. It was left "
                              "alone: remove it yourself if it still holds a copy of your iPhone.")
                   .arg(native(earlier));
        qWarning().noquote() << told;
        QFile::remove(earlierRootFilePath());
        return told;
    }
    QString root;
    dev_t rootVolume = 0;
    try {
        root = chooseTempBackupFolder();
    } catch (const std::exception &error) {
        qWarning().noquote() << "the earlier device backup folder stays for now:" << error.what();
    }
    const bool sameVolume = !root.isEmpty() && isOwnFolder(root, &rootVolume) && rootVolume == earlierVolume;
    const bool moved = sameVolume && movePhoneFolders(earlier, root);
#else
    const QString root = deviceBackupRoot();
    const bool moved = false;
#endif
    removeFolderTree(earlier);
    if (QFileInfo::exists(earlier)) {
        told = QStringLiteral("An earlier version kept a copy of your iPhone in %1, where other users of this computer can "
                              "read it, and it could not be removed. Remove that folder yourself.")
                   .arg(native(earlier));
        qWarning().noquote() << told;
        return told;   // the path stays remembered: the user is told again next time
    }
    QFile::remove(earlierRootFilePath());
    told = moved ? QStringLiteral("An earlier version kept the device backup of your iPhone in %1, where other users of this "
                                  "computer could read it. It was moved to %2, which only you can open.")
                       .arg(native(earlier), native(root))
                 : QStringLiteral("An earlier version kept the device backup of your iPhone in %1, where other users of this "
                                  "computer could read it. It was removed; the next load of the phone makes a new one in %2, "
                                  "which only you can open.")
                       .arg(native(earlier), native(root));
    qInfo().noquote() << told;
    return told;
}

qint64 freeDiskSpace(const QString &folder)
{
    const QStorageInfo volume(QDir(folder).absolutePath());
    return volume.isValid() && volume.isReady() ? volume.bytesAvailable() : -1;
}

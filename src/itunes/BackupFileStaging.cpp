#include "itunes/BackupFileStaging.h"

#include "app/AppError.h"
#include "app/DiskSync.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kStagedSuffix = QStringLiteral(".parlewick-part");
const QString kAsideSuffix = QStringLiteral(".parlewick-old");
// The files a commit adds (none of that name was there), written before the first is placed:
// a commit cut short takes them back (recoverInterrupted).
const QString kAddedList = QStringLiteral(".parlewick-added");

// rename(2): replaces the target at once, where QFile::rename refuses to.
bool replaceFile(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat first
    {
    }, second{};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 && ::stat(QFile::encodeName(b).constData(), &second) == 0
           && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Keeps the target's content under its aside name. A hard link keeps the target in place too,
// so no moment passes without it; where links are not to be had it is moved aside.
bool setAside(const QString &target)
{
    const QString aside = target + kAsideSuffix;
    QFile::remove(aside);
    return ::link(QFile::encodeName(target).constData(), QFile::encodeName(aside).constData()) == 0
           || QFile::rename(target, aside);
}

// The target's old content back in its place.
void putBack(const QString &target)
{
    const QString aside = target + kAsideSuffix;
    // Still the same file when it was only linked aside: the link goes.
    const bool done = sameFile(aside, target) ? QFile::remove(aside) : replaceFile(aside, target);
    if (!done)
        qDebug("BackupFileStaging: can not put back %s", qUtf8Printable(target));
}

}   // namespace

BackupFileStaging::BackupFileStaging(const QString &folder)
    : m_folder(QDir::cleanPath(QDir(folder).absolutePath()))
{
}

BackupFileStaging::~BackupFileStaging()
{
    for (const QString &copy : std::as_const(m_staged))
        QFile::remove(copy);
    removeMadeFolders();
}

void BackupFileStaging::removeMadeFolders()
{
    for (const QString &folder : std::as_const(m_madeFolders))
        QDir().rmdir(folder);   // only when empty
    m_madeFolders.clear();
}

QString BackupFileStaging::targetPath(const QString &fileName) const
{
    return QDir(m_folder).filePath(fileName);
}

bool BackupFileStaging::isCommitted(const QString &folder, const QString &lastFileName)
{
    const QString last = QDir(folder).filePath(lastFileName);
    // Past the commit the last file is a new one, beside its old content.
    return QFileInfo::exists(last + kAsideSuffix) && QFileInfo::exists(last) && !sameFile(last, last + kAsideSuffix);
}

bool BackupFileStaging::isCutShortBeforeCommit(const QString &folder, const QString &lastFileName)
{
    const QString last = QDir(folder).filePath(lastFileName);
    return (QFileInfo::exists(QDir(folder).filePath(kAddedList)) || QFileInfo::exists(last + kAsideSuffix))
           && !isCommitted(folder, lastFileName);
}

QString BackupFileStaging::oldContentPath(const QString &path)
{
    return path + kAsideSuffix;
}

void BackupFileStaging::recoverInterrupted(const QString &lastFileName)
{
    const QString last = targetPath(lastFileName);
    const bool committed = isCommitted(m_folder, lastFileName);
    const QString addedList = targetPath(kAddedList);
    QFile added(addedList);
    if (!committed && added.open(QIODevice::ReadOnly)) {
        while (!added.atEnd()) {
            const QString name = QString::fromUtf8(added.readLine()).trimmed();
            if (!name.isEmpty() && !name.startsWith(QLatin1Char('/')) && !name.contains(QLatin1String("..")))
                QFile::remove(targetPath(name));
        }
    }
    added.close();
    QStringList asides;
    QDirIterator it(m_folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(kStagedSuffix))
            QFile::remove(path);
        else if (path.endsWith(kAsideSuffix) && path != last + kAsideSuffix)
            asides << path;
    }
    // The last file's aside goes last, after the list of added files: until then it tells what
    // happened.
    asides << last + kAsideSuffix;
    for (const QString &aside : std::as_const(asides)) {
        if (aside == last + kAsideSuffix)
            QFile::remove(addedList);
        if (committed)
            QFile::remove(aside);
        else if (QFileInfo::exists(aside))
            putBack(aside.chopped(kAsideSuffix.size()));
    }
    QFile::remove(addedList);
}

QString BackupFileStaging::stageThrow(const QString &localPath, const QString &fileName)
{
    const QString target = targetPath(fileName);
    const QString copy = target + kStagedSuffix;
    makeFoldersThrow(target);
    QFile::remove(copy);
    try {
        copyToNewFileThrow(localPath, copy);
    } catch (const std::runtime_error &error) {
        failWith(QStringLiteral("can not write %1. %2").arg(target, QString::fromUtf8(error.what())));
    }
    if (!m_staged.contains(fileName))
        m_order << fileName;
    m_staged.insert(fileName, copy);
    return copy;
}

// Every folder between the backup's and target's is a folder of the backup, never a link
// (which would take the write elsewhere); missing ones are made.
void BackupFileStaging::makeFoldersThrow(const QString &target)
{
    const QStringList steps = QFileInfo(target).path().mid(m_folder.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString folder = m_folder;
    for (const QString &step : steps) {
        folder += QLatin1Char('/') + step;
        struct stat info
        { };
        if (::lstat(QFile::encodeName(folder).constData(), &info) == 0) {
            if (S_ISLNK(info.st_mode))
                failWith(QStringLiteral("can not write %1. The folder %2 in the backup is a link to somewhere else; nothing "
                                        "was written through it.")
                             .arg(target, folder));
            if (!S_ISDIR(info.st_mode))
                failWith(QStringLiteral("can not write %1. %2 is a file where the backup needs a folder.").arg(target, folder));
            continue;
        }
        if (::mkdir(QFile::encodeName(folder).constData(), 0755) != 0)
            failWith(QStringLiteral("can not write %1. The folder %2 can not be created: %3")
                         .arg(target, folder, QString::fromLocal8Bit(std::strerror(errno))));
        m_madeFolders.prepend(folder);
    }
}

// Written under a new name and moved over the old list: a link in its place is replaced, never
// followed.
void BackupFileStaging::writeAddedListThrow()
{
    QByteArray names;
    for (const QString &name : std::as_const(m_order)) {
        const QString target = targetPath(name);
        if (!QFileInfo::exists(target) && !QFileInfo(target).isSymLink())
            names += name.toUtf8() + '\n';
    }
    const QString path = targetPath(kAddedList);
    QFile list(path + kStagedSuffix);
    QFile::remove(list.fileName());
    const bool written = list.open(QIODevice::WriteOnly | QIODevice::NewOnly) && list.write(names) == names.size() && list.flush()
                         && syncToDisk(list.fileName());
    const QString problem = fileWriteReason(list);
    list.close();
    if (!written || !replaceFile(list.fileName(), path)) {
        QFile::remove(list.fileName());
        failWith(
            QStringLiteral("can not write %1. %2").arg(path, written ? QString::fromLocal8Bit(std::strerror(errno)) : problem));
    }
}

void BackupFileStaging::commitThrow(const std::function<void()> &lastStep)
{
    QStringList placed;
    QStringList setAsideTargets;
    try {
        // Everything the commit relies on is on the disk before the first name changes.
        syncThrow(stagedFolders() + QStringList(m_folder), m_staged.values());
        writeAddedListThrow();
        // Every replaced file keeps its old content under a second name before any is replaced:
        // until the last file moves, the old backup can still be read whole.
        for (const QString &name : std::as_const(m_order)) {
            const QString target = targetPath(name);
            if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
                if (!setAside(target)) {
                    const int error = errno;
                    failWith(QStringLiteral("can not overwrite %1: its old content cannot be kept aside, %2")
                                 .arg(target, systemErrorReason(error, QFileInfo(target).absolutePath())));
                }
                setAsideTargets << target;
            }
        }
        syncThrow(stagedFolders() + QStringList(m_folder), {});
        // Files the old list does not name go first (no reader of it looks at them), the
        // replaced ones right before the last, which follows only once they are on the disk.
        QStringList order = m_order;
        const QString lastName = order.isEmpty() ? QString() : order.takeLast();
        std::stable_partition(order.begin(), order.end(),
                              [&](const QString &name) { return !setAsideTargets.contains(targetPath(name)); });
        for (const QString &name : std::as_const(order))
            placeThrow(name, &placed);
        syncThrow(stagedFolders(), {});
        if (!lastName.isEmpty())
            placeThrow(lastName, &placed);
        syncThrow({m_folder}, {});
        lastStep();
    } catch (...) {
        rollBack(placed, setAsideTargets);
        throw;
    }
    m_staged.clear();
    m_order.clear();
    m_madeFolders.clear();
    // The last file's old content goes last, after the list of added files: until then a
    // commit cut short can be told from one that was not.
    const QString last = placed.isEmpty() ? QString() : placed.last();
    for (const QString &target : std::as_const(setAsideTargets))
        if (target != last && !QFile::remove(target + kAsideSuffix))
            qDebug("BackupFileStaging: can not remove %s", qUtf8Printable(target + kAsideSuffix));
    QFile::remove(targetPath(kAddedList));
    if (!last.isEmpty())
        QFile::remove(last + kAsideSuffix);
}

void BackupFileStaging::placeThrow(const QString &name, QStringList *placed)
{
    const QString target = targetPath(name);
    if (!replaceFile(m_staged.value(name), target)) {
        const int error = errno;
        failWith(QStringLiteral("can not write %1: %2").arg(target, systemErrorReason(error, QFileInfo(target).absolutePath())));
    }
    *placed << target;
}

QStringList BackupFileStaging::stagedFolders() const
{
    QStringList folders;
    for (const QString &name : std::as_const(m_order)) {
        const QString folder = QFileInfo(targetPath(name)).absolutePath();
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

void BackupFileStaging::syncThrow(const QStringList &folders, const QStringList &files) const
{
    for (const QString &path : files + folders) {
        if (!syncToDisk(path))
            failWith(QStringLiteral("can not write %1. %2")
                         .arg(path, QStringLiteral("The disk reported an error while keeping it (%1).")
                                        .arg(QString::fromLocal8Bit(std::strerror(errno)))));
    }
}

void BackupFileStaging::rollBack(const QStringList &placed, const QStringList &setAsideTargets)
{
    for (const QString &target : placed)
        if (!setAsideTargets.contains(target))
            QFile::remove(target);
    for (const QString &target : setAsideTargets)
        putBack(target);
    QFile::remove(targetPath(kAddedList));
}

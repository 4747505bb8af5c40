#include "app/FileReasons.h"

#include "app/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

}   // namespace

QString systemErrorReason(int error, const QString &folder)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full.");
    case EFBIG:
        return QStringLiteral("the file is too large for this disk or limit.");
    case EROFS:
        return QStringLiteral("the disk is read-only.");
    case EACCES:
    case EPERM:
        return folder.isEmpty() ? QStringLiteral("permission denied.")
                                : QStringLiteral("there is no permission to write in %1.").arg(shown(folder));
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long.");
    case ENOTDIR:
        return QStringLiteral("part of the path is a file, not a folder.");
    case ENOENT:
        return QStringLiteral("it does not exist.");
    default:
        return QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char('.');
    }
}

QString folderCreationReason(const QString &path)
{
    // The nearest part of the path that is there decides: a file in the way, or a folder that
    // takes no new entry.
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString next;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        next = existing;
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return QStringLiteral("no part of its path exists.");
        existing = parent;
    }
    if (!QFileInfo(existing).isDir())
        return QStringLiteral("%1 is a file, not a folder.").arg(shown(existing));
    if (next.isEmpty())
        return QStringLiteral("it is there but cannot be used.");
    if (::mkdir(QFile::encodeName(next).constData(), 0700) == 0) {
        ::rmdir(QFile::encodeName(next).constData());
        return QStringLiteral("the system refused it.");
    }
    return systemErrorReason(errno, existing);
}

void makeFolderThrow(const QString &path)
{
    if (QFileInfo(path).isDir())
        return;
    if (!QDir().mkpath(path))
        failWith(QStringLiteral("Cannot create the folder %1: %2").arg(shown(path), folderCreationReason(path)));
}

void renameThrow(const QString &from, const QString &to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return;
    const int error = errno;
    QString reason;
    switch (error) {
    case ENOTEMPTY:
    case EEXIST:
        reason = QStringLiteral("a folder that is not empty has that name.");
        break;
    case EXDEV:
        reason = QStringLiteral("they lie on different disks.");
        break;
    case EISDIR:
        reason = QStringLiteral("a folder has that name.");
        break;
    default:
        reason = systemErrorReason(error, QFileInfo(to).absolutePath());
    }
    failWith(QStringLiteral("Cannot move %1 to %2: %3").arg(shown(from), shown(to), reason));
}

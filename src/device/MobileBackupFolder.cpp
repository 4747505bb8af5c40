#include "device/MobileBackupFolder.h"

#include "device/MobileBackupError.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxNameLength = 4096;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool isLink(const QString &path, bool *exists)
{
    struct stat info
    { };
    *exists = ::lstat(encoded(path).constData(), &info) == 0;
    return *exists && S_ISLNK(info.st_mode);
}

int copyFile(const QString &from, const QString &to)
{
    const int in = MobileBackupFolder::openForReading(from);
    if (in < 0)
        return errno;
    MobileBackupFolder::removeTree(to);
    const int out = ::open(encoded(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0 || ::write(out, buffer, size_t(n)) != n) {
            error = errno ? errno : EIO;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && error == 0)
        error = errno;
    return error;
}

}   // namespace

MobileBackupFolder::MobileBackupFolder(const QString &root, const QString &folderName)
    : m_root(QDir::cleanPath(QDir(root).absolutePath()))
    , m_folderName(folderName)
{
}

bool MobileBackupFolder::isSafeName(const QString &name) const
{
    if (name.isEmpty() || name.size() > kMaxNameLength || m_folderName.isEmpty())
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('\\'))
            return false;
    }
    QString relative = name;
    if (relative.endsWith(QLatin1Char('/')))
        relative.chop(1);
    const QStringList parts = relative.split(QLatin1Char('/'));
    if (parts.first() != m_folderName)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

void MobileBackupFolder::checkNoLinksThrow(const QString &name, const QString &local)
{
    // From the phone's folder down: a link anywhere would lead the name out of it.
    qsizetype at = m_root.size() + 1;
    for (;;) {
        const qsizetype slash = local.indexOf(QLatin1Char('/'), at);
        const QString part = slash < 0 ? local : local.left(slash);
        const bool isFolder = slash >= 0;
        if (!isFolder || !m_checkedFolders.contains(part)) {
            bool exists = false;
            if (isLink(part, &exists))
                throw MobileBackupErrors::unsafeName(name);
            if (!exists)
                return;
            if (isFolder)
                m_checkedFolders.insert(part);
        }
        if (!isFolder)
            return;
        at = slash + 1;
    }
}

QString MobileBackupFolder::localPathThrow(const QString &name)
{
    if (!isSafeName(name))
        throw MobileBackupErrors::unsafeName(name);
    QString relative = name;
    if (relative.endsWith(QLatin1Char('/')))
        relative.chop(1);
    const QString local = m_root + QLatin1Char('/') + relative;
    checkNoLinksThrow(name, local);
    return local;
}

int MobileBackupFolder::makeFolders(const QString &localPath)
{
    qsizetype at = m_root.size() + 1;
    for (;;) {
        const qsizetype slash = localPath.indexOf(QLatin1Char('/'), at);
        const QString part = slash < 0 ? localPath : localPath.left(slash);
        if (!m_checkedFolders.contains(part)) {
            if (::mkdir(encoded(part).constData(), 0700) != 0 && errno != EEXIST)
                return errno;
            struct stat info
            { };
            if (::lstat(encoded(part).constData(), &info) != 0)
                return errno;
            if (!S_ISDIR(info.st_mode))
                return S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR;
            m_checkedFolders.insert(part);
        }
        if (slash < 0)
            return 0;
        at = slash + 1;
    }
}

int MobileBackupFolder::removeTree(const QString &localPath)
{
    const QByteArray path = encoded(localPath);
    struct stat info
    { };
    if (::lstat(path.constData(), &info) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(info.st_mode))
        return ::unlink(path.constData()) == 0 || errno == ENOENT ? 0 : errno;
    DIR *folder = ::opendir(path.constData());
    if (!folder)
        return errno;
    int error = 0;
    while (const dirent *entry = ::readdir(folder)) {
        const QByteArray child(entry->d_name);
        if (child == "." || child == "..")
            continue;
        if (const int failed = removeTree(localPath + QLatin1Char('/') + QFile::decodeName(child)))
            error = failed;
    }
    ::closedir(folder);
    if (error == 0 && ::rmdir(path.constData()) != 0 && errno != ENOENT)
        error = errno;
    return error;
}

int MobileBackupFolder::createFile(const QString &localPath)
{
    if (const int error = removeTree(localPath)) {
        errno = error;
        return -1;
    }
    return ::open(encoded(localPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

int MobileBackupFolder::openForReading(const QString &localPath)
{
    return ::open(encoded(localPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
}

int MobileBackupFolder::copyTree(const QString &from, const QString &to)
{
    struct stat info
    { };
    if (::lstat(encoded(from).constData(), &info) != 0)
        return errno;
    if (S_ISREG(info.st_mode))
        return copyFile(from, to);
    if (!S_ISDIR(info.st_mode))
        return 0;   // links and devices are not copied
    if (const int error = makeFolders(to))
        return error;
    const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &child : names) {
        if (const int error = copyTree(from + QLatin1Char('/') + child, to + QLatin1Char('/') + child))
            return error;
    }
    return 0;
}

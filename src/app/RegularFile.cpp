#include "app/RegularFile.h"

#include "app/AppError.h"
#include "app/FileReasons.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class NotThere : public AppError
{
public:
    using AppError::AppError;
};

[[noreturn]] void failReading(const QString &path, const QString &reason)
{
    const QString text = QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), reason);
    failWith(text);
}

// An open file descriptor of a regular file; NotThere when nothing has that name.
int openRegularDescriptorThrow(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw NotThere(QStringLiteral("Cannot read %1: it does not exist.").arg(QDir::toNativeSeparators(path)));
        failReading(path, systemErrorReason(error));
    }
    struct stat info
    { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failReading(path, S_ISDIR(info.st_mode) ? QStringLiteral("it is a folder, not a file.")
                                                : QStringLiteral("it is not a regular file (a pipe, a socket or a device)."));
    }
    // Reads of a regular file never wait anyway; the flag is dropped so nothing else is told otherwise.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}   // namespace

void openRegularFileThrow(QFile &file, const QString &path)
{
    const int fd = openRegularDescriptorThrow(path);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        failReading(path, file.errorString());
    }
}

QByteArray readRegularFileThrow(const QString &path, qint64 maxBytes, bool *missing)
{
    if (missing)
        *missing = false;
    QFile file;
    try {
        openRegularFileThrow(file, path);
    } catch (const NotThere &) {
        if (!missing)
            throw;
        *missing = true;
        return QByteArray();
    }
    if (file.size() > maxBytes)
        failReading(path, QStringLiteral("at %1 bytes it is larger than such a file can be.").arg(file.size()));
    // One byte more than it holds: a file that grows while it is read is refused too.
    QByteArray bytes = file.read(file.size() + 1);
    if (file.error() != QFileDevice::NoError)
        failReading(path, file.errorString());
    if (bytes.size() > maxBytes)
        failReading(path, QStringLiteral("it is larger than such a file can be."));
    return bytes;
}

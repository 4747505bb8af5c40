#include "device/MobileBackupMessages.h"

#include "device/MobileBackupError.h"
#include "device/MobileBackupFolder.h"
#include "device/MobileBackupLink.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr char kCodeSuccess = 0x00;
constexpr char kCodeRemoteError = 0x06;
constexpr char kCodeFileData = 0x0c;
constexpr quint32 kMaxNameLength = 4096;
constexpr qint64 kSendBlock = 32768;
constexpr qsizetype kChunkBytes = 1 << 20;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString bytesAsName(const QByteArray &bytes)
{
    // A NUL inside a name stays visible to the check, which refuses it.
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

}   // namespace

MobileBackupMessages::MobileBackupMessages(MobileBackupLink &link, MobileBackupFolder &folder)
    : m_link(link)
    , m_folder(folder)
{
}

int MobileBackupMessages::deviceError(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
        return -6;
    case EEXIST:
        return -7;
    case ENOTDIR:
        return -8;
    case EISDIR:
        return -9;
    case ELOOP:
        return -10;
    case EIO:
        return -11;
    case ENOSPC:
        return -15;
    }
    return -1;
}

void MobileBackupMessages::handle(const CFType &message)
{
    const QString name = MobileBackupLink::messageName(message);
    if (name == QLatin1String("DLMessageDownloadFiles")) {
        noteProgress(message, 3);
        sendFiles(message);
    } else if (name == QLatin1String("DLMessageUploadFiles")) {
        noteProgress(message, 2);
        receiveFiles(message);
    } else if (name == QLatin1String("DLMessageGetFreeDiskSpace")) {
        freeSpace();
    } else if (name == QLatin1String("DLContentsOfDirectory")) {
        listFolder(message);
    } else if (name == QLatin1String("DLMessageCreateDirectory")) {
        makeFolder(message);
    } else if (name == QLatin1String("DLMessageMoveFiles") || name == QLatin1String("DLMessageMoveItems")) {
        noteProgress(message, 3);
        moveItems(message);
    } else if (name == QLatin1String("DLMessageRemoveFiles") || name == QLatin1String("DLMessageRemoveItems")) {
        noteProgress(message, 3);
        removeItems(message);
    } else if (name == QLatin1String("DLMessageCopyItem")) {
        copyItem(message);
    } else {
        // DLMessagePurgeDiskSpace too: the computer frees nothing for the phone, and says so at
        // once so that the phone goes on.
        qDebug() << "mobilebackup2: not supported:" << name.left(80);
        m_link.sendStatus(NotSupported, QStringLiteral("Operation not supported"), CFType::newDictionary());
    }
}

void MobileBackupMessages::noteProgress(const CFType &message, int index)
{
    const CFType said = message.at(index);
    if (said.isNumber()) {
        const double percent = said.toDouble();
        if (percent >= 0 && percent <= 100)
            m_counters.percent = percent;
    }
}

void MobileBackupMessages::changing()
{
    if (!m_changed && m_beforeFirstChange)
        m_beforeFirstChange();
    m_changed = true;
}

void MobileBackupMessages::sendErrnoStatus(int error)
{
    if (error == 0)
        m_link.sendStatus(0, QString());
    else
        m_link.sendStatus(deviceError(error), errnoText(error));
}

// DLMessageDownloadFiles: [name, [paths], ...]
void MobileBackupMessages::sendFiles(const CFType &message)
{
    const CFType paths = message.at(1);
    CFType errors = CFType::newDictionary();
    for (int i = 0; i < paths.count(); ++i) {
        if (paths.at(i).isString())
            sendFile(paths.at(i).toQString(), &errors);
    }
    m_link.writeBigEndian32(0);
    if (errors.count() == 0)
        m_link.sendStatus(0, QString(), CFType::newDictionary());
    else
        m_link.sendStatus(MultiStatus, QStringLiteral("Multi status"), errors);
}

bool MobileBackupMessages::sendFile(const QString &name, CFType *errors)
{
    // Checked before a byte goes: a name leading out of the folder would send the phone a file
    // of someone else's.
    const QString local = m_folder.localPathThrow(name);
    const QByteArray utf8 = name.toUtf8();
    m_link.writeBigEndian32(quint32(utf8.size()));
    m_link.writeAll(utf8.constData(), utf8.size());

    int error = 0;
    const int fd = MobileBackupFolder::openForReading(local);
    struct stat info
    { };
    if (fd < 0)
        error = errno;
    else if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = ENOENT;
    if (m_chunk.size() < kSendBlock + 5)
        m_chunk.resize(kSendBlock + 5);
    while (error == 0) {
        const ssize_t n = ::read(fd, m_chunk.data() + 5, size_t(kSendBlock));
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        qToBigEndian(quint32(n + 1), m_chunk.data());
        m_chunk[4] = kCodeFileData;
        m_link.writeAll(m_chunk.constData(), n + 5);
        m_counters.bytesSent += n;
        tick();
    }
    if (fd >= 0)
        ::close(fd);
    if (error == 0) {
        const char done[5] = {0, 0, 0, 1, kCodeSuccess};
        m_link.writeAll(done, 5);
        ++m_counters.filesSent;
        return true;
    }
    const QByteArray text = errnoText(error).toUtf8();
    m_link.writeBigEndian32(quint32(text.size() + 1));
    const char code = kCodeRemoteError;
    m_link.writeAll(&code, 1);
    m_link.writeAll(text.constData(), text.size());
    CFType entry = CFType::newDictionary();
    entry.setValue(QStringLiteral("DLFileErrorString"), CFType(errnoText(error)));
    entry.setValue(QStringLiteral("DLFileErrorCode"), CFType::fromInt64(deviceError(error)));
    errors->setValue(name, entry);
    return false;
}

// DLMessageUploadFiles: [name, {}, progress, bytes announced], then the files' stream.
void MobileBackupMessages::receiveFiles(const CFType &message)
{
    if (message.at(3).isNumber())
        m_counters.bytesAnnounced += std::max<qint64>(0, message.at(3).toInt64());
    for (;;) {
        const quint32 deviceNameLength = m_link.readBigEndian32();
        if (deviceNameLength == 0)
            break;
        if (deviceNameLength > kMaxNameLength)
            throw MobileBackupErrors::protocolError(QStringLiteral("a file name of %1 bytes").arg(deviceNameLength));
        QByteArray deviceName(qsizetype(deviceNameLength), '\0');
        m_link.readExact(deviceName.data(), deviceNameLength);
        const quint32 nameLength = m_link.readBigEndian32();
        if (nameLength == 0)
            throw MobileBackupErrors::unsafeName(QString());
        if (nameLength > kMaxNameLength)
            throw MobileBackupErrors::protocolError(QStringLiteral("a file name of %1 bytes").arg(nameLength));
        QByteArray name(qsizetype(nameLength), '\0');
        m_link.readExact(name.data(), nameLength);
        if (!receiveFile(bytesAsName(name)))
            break;
        tick();
    }
    if (m_writeProblem.isEmpty())
        m_link.sendStatus(0, QString(), CFType::newDictionary());
    else
        m_link.sendStatus(deviceError(ENOSPC), m_writeProblem, CFType::newDictionary());
}

void MobileBackupMessages::skipBytes(qint64 length)
{
    if (m_chunk.size() < kChunkBytes)
        m_chunk.resize(kChunkBytes);
    while (length > 0) {
        const qint64 step = std::min<qint64>(length, kChunkBytes);
        m_link.readExact(m_chunk.data(), step);
        length -= step;
    }
}

bool MobileBackupMessages::receiveFile(const QString &name)
{
    const QString local = m_folder.localPathThrow(name);
    if (m_chunk.size() < kChunkBytes)
        m_chunk.resize(kChunkBytes);
    int fd = -1;
    int error = 0;
    bool ended = false;   // the phone ended the upload in the middle of the file
    auto openOnce = [&] {
        if (fd >= 0 || error != 0)
            return;
        changing();
        fd = m_folder.createFile(local);
        if (fd < 0)
            error = errno;
    };
    for (;;) {
        const quint32 length = m_link.readBigEndian32();
        if (length == 0) {
            ended = true;
            break;
        }
        char code = 0;
        m_link.readExact(&code, 1);
        qint64 left = qint64(length) - 1;
        if (code == kCodeFileData) {
            openOnce();
            while (left > 0) {
                const qint64 step = std::min<qint64>(left, kChunkBytes);
                m_link.readExact(m_chunk.data(), step);
                if (error == 0 && ::write(fd, m_chunk.constData(), size_t(step)) != step)
                    error = errno ? errno : EIO;
                left -= step;
                m_counters.bytesReceived += step;
            }
            tick();
            continue;
        }
        if (code == kCodeSuccess) {
            skipBytes(left);
            openOnce();
            if (fd >= 0 && ::close(fd) != 0 && error == 0)
                error = errno;
            fd = -1;
            if (error == 0)
                ++m_counters.filesReceived;
            break;
        }
        // An error from the phone (its text follows) or a code nobody knows: no file.
        QByteArray text(qsizetype(std::min<qint64>(left, 1024)), '\0');
        m_link.readExact(text.data(), text.size());
        skipBytes(left - text.size());
        qDebug() << "mobilebackup2: the phone could not send" << name << QString::fromUtf8(text);
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
            MobileBackupFolder::removeTree(local);
        }
        break;
    }
    if (fd >= 0) {
        ::close(fd);
        MobileBackupFolder::removeTree(local);   // cut short: half a file is no file
    }
    if (error != 0) {
        MobileBackupFolder::removeTree(local);
        if (m_writeProblem.isEmpty())
            m_writeProblem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(local), errnoText(error));
    }
    return !ended;
}

// DLContentsOfDirectory: [name, path]
void MobileBackupMessages::listFolder(const CFType &message)
{
    const QString local = m_folder.localPathThrow(message.at(1).toQString());
    CFType listing = CFType::newDictionary();
    const QDir folder(local);
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entryName : names) {
        struct stat info
        { };
        if (::lstat(QFile::encodeName(folder.filePath(entryName)).constData(), &info) != 0)
            continue;
        const char *type = S_ISDIR(info.st_mode)   ? "DLFileTypeDirectory"
                           : S_ISREG(info.st_mode) ? "DLFileTypeRegular"
                                                   : "DLFileTypeUnknown";
        CFType entry = CFType::newDictionary();
        entry.setValue(QStringLiteral("DLFileType"), CFType(type));
        entry.setValue(QStringLiteral("DLFileSize"), CFType::fromInt64(info.st_size));
        entry.setValue(QStringLiteral("DLFileModificationDate"),
                       CFType::fromDateTime(QDateTime::fromSecsSinceEpoch(info.st_mtime, Qt::UTC)));
        listing.setValue(entryName, entry);
    }
    m_link.sendStatus(0, QString(), listing);
}

// DLMessageCreateDirectory: [name, path, ...]
void MobileBackupMessages::makeFolder(const CFType &message)
{
    const QString local = m_folder.localPathThrow(message.at(1).toQString());
    changing();
    sendErrnoStatus(m_folder.makeFolders(local));
}

// DLMessageMoveItems: [name, {from: to}, ...]
void MobileBackupMessages::moveItems(const CFType &message)
{
    const CFType moves = message.at(1);
    const QList<CFType> sources = moves.keys();
    // Every name is checked before anything moves: a bad one leaves the folder as it was.
    QList<QPair<QString, QString>> checked;
    for (const CFType &source : sources)
        checked.append({m_folder.localPathThrow(source.toQString()), m_folder.localPathThrow(moves.value(source).toQString())});
    changing();
    int error = 0;
    for (const auto &[from, to] : std::as_const(checked)) {
        error = MobileBackupFolder::removeTree(to);
        if (error == 0 && ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            error = errno;
        if (error != 0)
            break;
    }
    m_folder.forgetCheckedFolders();
    sendErrnoStatus(error);
}

// DLMessageRemoveItems: [name, [paths], ...]
void MobileBackupMessages::removeItems(const CFType &message)
{
    const CFType paths = message.at(1);
    QStringList checked;
    for (int i = 0; i < paths.count(); ++i)
        checked << m_folder.localPathThrow(paths.at(i).toQString());
    changing();
    int error = 0;
    for (const QString &local : std::as_const(checked)) {
        if (const int failed = MobileBackupFolder::removeTree(local))
            error = failed;
    }
    m_folder.forgetCheckedFolders();
    sendErrnoStatus(error);
}

// DLMessageCopyItem: [name, from, to]
void MobileBackupMessages::copyItem(const CFType &message)
{
    const QString from = m_folder.localPathThrow(message.at(1).toQString());
    const QString to = m_folder.localPathThrow(message.at(2).toQString());
    changing();
    sendErrnoStatus(m_folder.copyTree(from, to));
}

void MobileBackupMessages::freeSpace()
{
    struct statvfs volume
    { };
    if (::statvfs(QFile::encodeName(m_folder.root()).constData(), &volume) != 0) {
        m_link.sendStatus(NotSupported, QString(), CFType::fromInt64(0));
        return;
    }
    // f_frsize is the unit of the block counts; f_bsize is only the preferred transfer size.
    m_link.sendStatus(0, QString(), CFType::fromInt64(qint64(quint64(volume.f_bavail) * quint64(volume.f_frsize))));
}

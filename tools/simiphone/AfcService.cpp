#include "simiphone/AfcService.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxRead = 16 << 20;
constexpr qsizetype kRecordedBytes = 1024;   // of each packet, for the received log

QByteArray le64(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

qint64 nanoseconds(const struct timespec &time)
{
    return qint64(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

QString typeName(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("S_IFDIR");
    if (S_ISLNK(mode))
        return QStringLiteral("S_IFLNK");
    if (S_ISCHR(mode))
        return QStringLiteral("S_IFCHR");
    if (S_ISBLK(mode))
        return QStringLiteral("S_IFBLK");
    if (S_ISFIFO(mode))
        return QStringLiteral("S_IFIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("S_IFSOCK");
    return QStringLiteral("S_IFREG");
}

QByteArray keyValues(const QList<QPair<QString, QString>> &pairs)
{
    QByteArray out;
    for (const auto &pair : pairs)
        out += pair.first.toUtf8() + '\0' + pair.second.toUtf8() + '\0';
    return out;
}

int openFlags(quint64 mode)
{
    switch (mode) {
    case 1:
        return O_RDONLY;
    case 2:
        return O_RDWR | O_CREAT;
    case 3:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case 4:
        return O_RDWR | O_CREAT | O_TRUNC;
    case 5:
        return O_WRONLY | O_APPEND | O_CREAT;
    case 6:
        return O_RDWR | O_APPEND | O_CREAT;
    default:
        return -1;
    }
}

// mkdir -p that reports the errno of the step that failed.
int makePath(const QString &path)
{
    const QByteArray full = encoded(path);
    for (qsizetype slash = full.indexOf('/', 1);; slash = full.indexOf('/', slash + 1)) {
        const QByteArray step = slash < 0 ? full : full.left(slash);
        if (::mkdir(step.constData(), 0755) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    struct stat info;
    if (::stat(full.constData(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : EEXIST;
}

}   // namespace

AfcService::AfcService(ServiceContext &context, const QString &rootFolder)
    : m_context(context)
    , m_root(rootFolder)
{
}

AfcService::~AfcService()
{
    for (const auto &entry : m_files)
        ::close(entry.second);
}

void AfcService::run()
{
    for (;;) {
        AfcPacket request;
        switch (AfcPacket::read(m_context.stream, &request)) {
        case AfcPacket::End:
            return;
        case AfcPacket::BadMagic:
            recordRejected(QStringLiteral("bad magic"), request);
            return;
        case AfcPacket::BadLength:
            recordRejected(QStringLiteral("bad length"), request);
            return;
        case AfcPacket::CutShort:
            recordRejected(QStringLiteral("packet cut short"), request);
            return;
        case AfcPacket::Read:
            break;
        }
        // Looked up first: a Status fault stands in for carrying the request out.
        const std::optional<AnswerFault> fault =
            m_context.phone->answerFault(m_context.service, QVariant::fromValue(request.operation));
        QJsonObject note;
        const Answer answer = fault && fault->replacesAnswer() ? status(fault->statusCode()) : perform(request, note);
        const QByteArray raw = request.header + request.payload + request.data;
        note.insert(QStringLiteral("kind"), QStringLiteral("afc"));
        note.insert(QStringLiteral("operation"), double(request.operation));
        note.insert(QStringLiteral("name"), AfcPacket::operationName(request.operation));
        note.insert(QStringLiteral("packetNumber"), double(request.packetNumber));
        note.insert(QStringLiteral("entireLength"), double(request.entireLength));
        note.insert(QStringLiteral("thisLength"), double(request.thisLength));
        note.insert(QStringLiteral("rawLength"), double(raw.size()));
        note.insert(QStringLiteral("raw"), QString::fromLatin1(raw.left(kRecordedBytes).toHex()));
        if (answer.operation == AfcStatus)
            note.insert(QStringLiteral("status"), double(qFromLittleEndian<quint64>(answer.payload.constData())));
        m_context.record(note);
        if (!send(request, answer, fault))
            return;
    }
}

AfcService::Answer AfcService::status(quint64 code)
{
    return {AfcStatus, le64(code), {}};
}

AfcService::Answer AfcService::statusFromErrno(int error)
{
    switch (error) {
    case 0:
        return status(AfcSuccess);
    case ENOENT:
    case ENOTDIR:
        return status(AfcObjectNotFound);
    case EISDIR:
        return status(AfcObjectIsDir);
    case EACCES:
    case EPERM:
    case EBADF:
    case EROFS:
        return status(AfcPermissionDenied);
    case EEXIST:
        return status(AfcObjectExists);
    case ENOTEMPTY:
        return status(AfcDirNotEmpty);
    case ENOSPC:
        return status(AfcNoSpaceLeft);
    case EINVAL:
    case ENAMETOOLONG:
        return status(AfcInvalidArgument);
    default:
        return status(AfcIoError);
    }
}

AfcService::Answer AfcService::perform(const AfcPacket &request, QJsonObject &note)
{
    switch (request.operation) {
    case AfcReadDirectory:
        return readDirectory(request, note);
    case AfcGetFileInfo:
        return fileInfo(request, note);
    case AfcGetDeviceInfo:
        return deviceInfo();
    case AfcMakeDirectory:
        return makeDirectory(request, note);
    case AfcRemovePath:
        return removePath(request, note, false);
    case AfcRemovePathAndContents:
        return removePath(request, note, true);
    case AfcRenamePath:
        return renamePath(request, note);
    case AfcTruncate:
        return truncatePath(request, note);
    case AfcSetFileModTime:
        return setModificationTime(request, note);
    case AfcFileOpen:
        return openFile(request, note);
    case AfcFileRead:
        return readFile(request, note);
    case AfcFileWrite:
        return writeFile(request, note);
    case AfcFileSeek:
        return seekFile(request, note);
    case AfcFileTell:
        return tellFile(request, note);
    case AfcFileClose:
        return closeFile(request, note);
    case AfcFileSetSize:
        return setFileSize(request, note);
    case AfcFileLock:
        return lockFile(request, note);
    default:
        return status(request.operation <= AfcLastKnownOperation ? AfcOperationNotSupported : AfcUnknownPacketType);
    }
}

bool AfcService::send(const AfcPacket &request, const Answer &answer, const std::optional<AnswerFault> &fault)
{
    const QByteArray packet = AfcPacket::encode(answer.operation, request.packetNumber, answer.payload, answer.data);
    if (!fault)
        return m_context.stream.write(packet);
    m_context.record({
        {QStringLiteral("kind"), QStringLiteral("fault")},
        {QStringLiteral("fault"), fault->name()},
        {QStringLiteral("answering"), double(request.operation)},
    });
    if (fault->replacesAnswer())
        return m_context.stream.write(packet);
    const bool written = m_context.stream.write(fault->spoilAfcPacket(packet));
    if (fault->closesConnection()) {
        m_context.stream.close();
        return false;
    }
    return written;
}

void AfcService::recordRejected(const QString &reason, const AfcPacket &packet)
{
    m_context.record({
        {QStringLiteral("kind"), QStringLiteral("rejected")},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("hex"), QString::fromLatin1(packet.header.toHex())},
    });
}

AfcService::Answer AfcService::readDirectory(const AfcPacket &request, QJsonObject &note)
{
    const QByteArray path = request.textAt(0);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::FollowLast, &host))
        return status(refused);
    struct stat info;
    if (::stat(encoded(host).constData(), &info) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(info.st_mode))
        return status(AfcReadError);
    QByteArray names = QByteArray(".\0..\0", 5);
    const QStringList entries =
        QDir(host).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries)
        names += entry.toUtf8() + '\0';
    return {AfcData, {}, names};
}

AfcService::Answer AfcService::fileInfo(const AfcPacket &request, QJsonObject &note)
{
    const QByteArray path = request.textAt(0);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::KeepLast, &host))
        return status(refused);
    struct stat info;
    if (::lstat(encoded(host).constData(), &info) != 0)
        return statusFromErrno(errno);
    QList<QPair<QString, QString>> pairs = {
        {QStringLiteral("st_size"), QString::number(info.st_size)},
        {QStringLiteral("st_blocks"), QString::number(info.st_blocks)},
        {QStringLiteral("st_nlink"), QString::number(info.st_nlink)},
        {QStringLiteral("st_ifmt"), typeName(info.st_mode)},
        {QStringLiteral("st_mtime"), QString::number(nanoseconds(info.st_mtim))},
        {QStringLiteral("st_birthtime"), QString::number(nanoseconds(info.st_ctim))},
    };
    if (S_ISLNK(info.st_mode)) {
        char target[4096];
        const ssize_t length = ::readlink(encoded(host).constData(), target, sizeof target);
        if (length > 0)
            pairs.append({QStringLiteral("LinkTarget"), QString::fromUtf8(target, length)});
    }
    return {AfcData, {}, keyValues(pairs)};
}

AfcService::Answer AfcService::deviceInfo()
{
    const QVariantMap values = m_context.phone->folder().lockdownValues();
    const QVariantMap disk = values.value(QStringLiteral("com.apple.disk_usage")).toMap();
    return {AfcData,
            {},
            keyValues({
                {QStringLiteral("Model"), values.value(QString()).toMap().value(QStringLiteral("ProductType")).toString()},
                {QStringLiteral("FSTotalBytes"), disk.value(QStringLiteral("TotalDataCapacity"), 0).toString()},
                {QStringLiteral("FSFreeBytes"), disk.value(QStringLiteral("AmountDataAvailable"), 0).toString()},
                {QStringLiteral("FSBlockSize"), QStringLiteral("4096")},
            })};
}

AfcService::Answer AfcService::makeDirectory(const AfcPacket &request, QJsonObject &note)
{
    const QByteArray path = request.textAt(0);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::FollowLast, &host))
        return status(refused);
    return statusFromErrno(makePath(host));
}

AfcService::Answer AfcService::removePath(const AfcPacket &request, QJsonObject &note, bool withContents)
{
    const QByteArray path = request.textAt(0);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::KeepLast, &host))
        return status(refused);
    if (host == m_root.folder())
        return status(AfcPermissionDenied);
    struct stat info;
    if (::lstat(encoded(host).constData(), &info) != 0)
        return statusFromErrno(errno);
    if (!S_ISDIR(info.st_mode))
        return statusFromErrno(::unlink(encoded(host).constData()) == 0 ? 0 : errno);
    if (withContents)
        return status(QDir(host).removeRecursively() ? AfcSuccess : AfcIoError);
    return statusFromErrno(::rmdir(encoded(host).constData()) == 0 ? 0 : errno);
}

AfcService::Answer AfcService::renamePath(const AfcPacket &request, QJsonObject &note)
{
    const QByteArray from = request.textAt(0);
    const QByteArray to = request.textAt(from.size() + 1);
    note.insert(QStringLiteral("path"), QString::fromUtf8(from));
    note.insert(QStringLiteral("to"), QString::fromUtf8(to));
    QString hostFrom, hostTo;
    if (const quint64 refused = m_root.resolve(from, AfcRoot::KeepLast, &hostFrom))
        return status(refused);
    if (const quint64 refused = m_root.resolve(to, AfcRoot::KeepLast, &hostTo))
        return status(refused);
    if (hostFrom == m_root.folder() || hostTo == m_root.folder())
        return status(AfcPermissionDenied);
    return statusFromErrno(::rename(encoded(hostFrom).constData(), encoded(hostTo).constData()) == 0 ? 0 : errno);
}

AfcService::Answer AfcService::truncatePath(const AfcPacket &request, QJsonObject &note)
{
    if (!request.hasWords(1))
        return status(AfcInvalidArgument);
    const quint64 size = request.word(0);
    const QByteArray path = request.textAt(8);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    note.insert(QStringLiteral("size"), double(size));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::FollowLast, &host))
        return status(refused);
    return statusFromErrno(::truncate(encoded(host).constData(), off_t(size)) == 0 ? 0 : errno);
}

AfcService::Answer AfcService::setModificationTime(const AfcPacket &request, QJsonObject &note)
{
    if (!request.hasWords(1))
        return status(AfcInvalidArgument);
    const quint64 mtime = request.word(0);
    const QByteArray path = request.textAt(8);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    note.insert(QStringLiteral("mtime"), double(mtime));
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::FollowLast, &host))
        return status(refused);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(mtime / 1000000000ULL);
    times[0].tv_nsec = times[1].tv_nsec = long(mtime % 1000000000ULL);
    return statusFromErrno(::utimensat(AT_FDCWD, encoded(host).constData(), times, 0) == 0 ? 0 : errno);
}

AfcService::Answer AfcService::openFile(const AfcPacket &request, QJsonObject &note)
{
    if (!request.hasWords(1))
        return status(AfcInvalidArgument);
    const quint64 mode = request.word(0);
    const QByteArray path = request.textAt(8);
    note.insert(QStringLiteral("path"), QString::fromUtf8(path));
    note.insert(QStringLiteral("mode"), double(mode));
    const int flags = openFlags(mode);
    if (flags < 0)
        return status(AfcInvalidArgument);
    QString host;
    if (const quint64 refused = m_root.resolve(path, AfcRoot::FollowLast, &host))
        return status(refused);
    struct stat info;
    if (::stat(encoded(host).constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return status(AfcObjectIsDir);
    const int fd = ::open(encoded(host).constData(), flags | O_CLOEXEC, 0644);
    if (fd < 0)
        return statusFromErrno(errno);
    const quint64 handle = m_nextHandle++;
    m_files[handle] = fd;
    note.insert(QStringLiteral("handle"), double(handle));
    return {AfcFileOpenResult, le64(handle), {}};
}

int AfcService::fileOf(const AfcPacket &request, QJsonObject &note)
{
    const quint64 handle = request.word(0);
    note.insert(QStringLiteral("handle"), double(handle));
    const auto found = m_files.find(handle);
    return request.hasWords(1) && found != m_files.end() ? found->second : -1;
}

AfcService::Answer AfcService::readFile(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    const quint64 wanted = request.word(1);
    note.insert(QStringLiteral("length"), double(wanted));
    if (fd < 0 || !request.hasWords(2))
        return status(AfcInvalidArgument);
    QByteArray bytes(qsizetype(qMin<quint64>(wanted, kMaxRead)), '\0');
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return statusFromErrno(errno);
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return {AfcData, {}, bytes};
}

AfcService::Answer AfcService::writeFile(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    const QByteArray bytes = request.arguments().mid(8);
    note.insert(QStringLiteral("dataLength"), double(bytes.size()));
    if (fd < 0)
        return status(AfcInvalidArgument);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return statusFromErrno(errno);
        done += put;
    }
    return status(AfcSuccess);
}

AfcService::Answer AfcService::seekFile(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    const quint64 whence = request.word(1);
    const qint64 offset = qint64(request.word(2));
    note.insert(QStringLiteral("whence"), double(whence));
    note.insert(QStringLiteral("offset"), double(offset));
    if (fd < 0 || !request.hasWords(3) || whence > 2)
        return status(AfcInvalidArgument);
    const int how = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
    return statusFromErrno(::lseek(fd, off_t(offset), how) < 0 ? errno : 0);
}

AfcService::Answer AfcService::tellFile(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    if (fd < 0)
        return status(AfcInvalidArgument);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < 0)
        return statusFromErrno(errno);
    return {AfcFileTellResult, le64(quint64(position)), {}};
}

AfcService::Answer AfcService::closeFile(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    if (fd < 0)
        return status(AfcInvalidArgument);
    m_files.erase(request.word(0));
    const int rc = ::close(fd);
    return statusFromErrno(rc == 0 ? 0 : errno);
}

AfcService::Answer AfcService::setFileSize(const AfcPacket &request, QJsonObject &note)
{
    const int fd = fileOf(request, note);
    const quint64 size = request.word(1);
    note.insert(QStringLiteral("size"), double(size));
    if (fd < 0 || !request.hasWords(2))
        return status(AfcInvalidArgument);
    return statusFromErrno(::ftruncate(fd, off_t(size)) == 0 ? 0 : errno);
}

AfcService::Answer AfcService::lockFile(const AfcPacket &request, QJsonObject &note)
{
    return status(fileOf(request, note) >= 0 ? AfcSuccess : AfcInvalidArgument);
}

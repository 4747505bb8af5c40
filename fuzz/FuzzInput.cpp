#include "FuzzInput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

QTemporaryDir &privateFolder()
{
    static QTemporaryDir folder;
    return folder;
}

const bool quiet = [] {
    qInstallMessageHandler(dropMessage);
    return true;
}();

}   // namespace

QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString fuzzFolder(const QString &relative)
{
    const QString path = privateFolder().filePath(relative);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

QString fuzzFile(const QString &relative, const uint8_t *data, size_t size)
{
    const QString path = privateFolder().filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        qFatal("cannot write the fuzz input to %s", qPrintable(path));
    return path;
}

FuzzPeer::FuzzPeer(const uint8_t *data, size_t size)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0)
        qFatal("socketpair failed");
    m_reader = ends[0];
    m_writer = ends[1];
    // A thread of its own: an input larger than the socket's buffer must not block the reader.
    m_thread = std::thread([this, data, size] {
        size_t sent = 0;
        while (sent < size) {
            const ssize_t n = send(m_writer, data + sent, size - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += size_t(n);
        }
        shutdown(m_writer, SHUT_WR);
    });
}

FuzzPeer::~FuzzPeer()
{
    // Closing the reading end stops a writer the reader gave up on.
    close(m_reader);
    m_thread.join();
    close(m_writer);
}

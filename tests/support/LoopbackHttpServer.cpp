#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

QByteArray LoopbackHttpServer::Request::path() const
{
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
}

bool LoopbackHttpServer::isListening() const
{
    return m_server.isListening();
}
quint16 LoopbackHttpServer::port() const
{
    return m_server.serverPort();
}

QString LoopbackHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

void LoopbackHttpServer::close()
{
    m_server.close();
}

void LoopbackHttpServer::setAnswer(const QByteArray &path, const Answer &answer)
{
    m_answers.insert(path, answer);
}

const QList<LoopbackHttpServer::Request> &LoopbackHttpServer::requests() const
{
    return m_requests;
}

bool LoopbackHttpServer::waitForRequests(qsizetype count, int timeoutMsecs)
{
    return QTest::qWaitFor([&] { return m_requests.size() >= count; }, timeoutMsecs);
}

bool LoopbackHttpServer::waitUntilAllClosed(int timeoutMsecs)
{
    return QTest::qWaitFor([&] { return m_open == 0; }, timeoutMsecs);
}

qint64 LoopbackHttpServer::streamedBytes() const
{
    return *m_streamed;
}

void LoopbackHttpServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_open;
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_open;
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::onReadable(QTcpSocket *socket)
{
    if (!m_pending.contains(socket))
        return;
    QByteArray &buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return;   // the body is still on its way
    request.body = buffer.mid(headerEnd + 4, length);
    m_pending.remove(socket);
    m_requests.append(request);
    respond(socket, request);
}

void LoopbackHttpServer::respond(QTcpSocket *socket, const Request &request)
{
    const Answer answer = m_answers.value(request.path(), Answer{404, QByteArrayLiteral("not found")});
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + (answer.status == 200 ? " OK" : " Error")
                      + "\r\nContent-Type: text/html\r\nConnection: close\r\n";
    if (answer.contentLength != -2) {
        const qint64 length = answer.contentLength == -1 ? answer.body.size() : answer.contentLength;
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    socket->write(head + "\r\n" + answer.body);
    if (answer.endless && !answer.body.isEmpty())
        streamEndlessly(socket, answer.body);
    else
        socket->disconnectFromHost();
}

void LoopbackHttpServer::streamEndlessly(QTcpSocket *socket, const QByteArray &chunk)
{
    // Refilled as the client reads; a client that never stops gets a gigabyte in all, then the end.
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket, chunk, sent = m_streamed] {
        if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > 4 * chunk.size())
            return;
        if (*sent > (1LL << 30)) {
            socket->disconnectFromHost();
            return;
        }
        *sent += socket->write(chunk);
    });
}

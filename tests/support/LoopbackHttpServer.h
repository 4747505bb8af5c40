#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>

class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 (a free port) standing in for the vendor's web server:
// it records every request and answers each path with what the test scripted, including
// broken answers. Every answer closes the connection.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QByteArray target;                       // path and query as sent
        QHash<QByteArray, QByteArray> headers;   // names in lower case
        QByteArray body;

        QByteArray path() const;   // target without its query
    };

    struct Answer
    {
        int status = 200;
        QByteArray body;
        // Content-Length sent: -1 for the body's own size, -2 for none at all (the end of the
        // body is the end of the connection); a larger figure announces more than is sent.
        qint64 contentLength = -1;
        // After the body, the same body again and again until the client gives up.
        bool endless = false;
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    bool isListening() const;
    quint16 port() const;
    QString hostAndPort() const;   // "127.0.0.1:<port>", for PARLEWICK_VENDOR_HOST
    // Stops listening; the port then refuses connections.
    void close();

    // Paths without an answer get 404.
    void setAnswer(const QByteArray &path, const Answer &answer);
    const QList<Request> &requests() const;
    // Runs the event loop until count requests arrived; false on timeout.
    bool waitForRequests(qsizetype count, int timeoutMsecs = 10000);
    // Runs the event loop until every connection is closed; false on timeout.
    bool waitUntilAllClosed(int timeoutMsecs = 10000);
    // Bytes of endless answers written so far: a client that stops reading keeps this small.
    qint64 streamedBytes() const;

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Request &request);
    void streamEndlessly(QTcpSocket *socket, const QByteArray &chunk);

    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<Request> m_requests;
    int m_open = 0;
    std::shared_ptr<qint64> m_streamed = std::make_shared<qint64>(0);
    // Last, so that it goes first: its connections still find the containers above.
    QTcpServer m_server;
};

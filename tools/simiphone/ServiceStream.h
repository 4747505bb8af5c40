#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The byte stream of one connection to the phone, plain or, after StartSession, TLS with the
// phone as server. Blocking; closing from another thread (shutdown) ends every wait.
class ServiceStream
{
public:
    explicit ServiceStream(int fd);
    ~ServiceStream();
    ServiceStream(const ServiceStream &) = delete;
    ServiceStream &operator=(const ServiceStream &) = delete;

    bool read(char *buffer, qint64 length);   // exactly length bytes; false at the end or on error
    bool write(const QByteArray &bytes);      // every byte, or false
    void close();                             // the peer sees the end; the fd stays owned by the caller

    enum class TlsVersion { Tls10, Tls12 };
    bool isTls() const { return m_tlsActive; }
    // Handshakes offering less than minimum fail.
    bool startTls(const QByteArray &certificatePem, const QByteArray &keyPem, TlsVersion minimum, QString *error);
    // Back to plain bytes after the last TLS answer; the peer's close_notify, sent before its next
    // plain request, is swallowed when it comes.
    void stopTls();

private:
    struct Tls;
    bool plainRead(char *buffer, qint64 length);
    bool plainWrite(const char *buffer, qint64 length);
    void swallowCloseNotify();

    int m_fd;
    std::unique_ptr<Tls> m_tls;
    bool m_tlsActive = false;
};

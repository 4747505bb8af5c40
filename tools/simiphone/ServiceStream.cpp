#include "simiphone/ServiceStream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <climits>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The first byte of a TLS alert record; a plain frame starts with the high byte of its length.
constexpr unsigned char kTlsAlertRecord = 0x15;

// The socket under TLS. OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when
// the peer has gone; send() with MSG_NOSIGNAL only fails.
int socketWrite(BIO *bio, const char *buffer, size_t length, size_t *written)
{
    const int fd = int(BIO_get_fd(bio, nullptr));
    for (;;) {
        const ssize_t sent = ::send(fd, buffer, length, MSG_NOSIGNAL);
        if (sent >= 0) {
            *written = size_t(sent);
            return 1;
        }
        if (errno != EINTR)
            return 0;
    }
}

int socketRead(BIO *bio, char *buffer, size_t length, size_t *read)
{
    const int fd = int(BIO_get_fd(bio, nullptr));
    for (;;) {
        const ssize_t received = ::recv(fd, buffer, length, 0);
        if (received > 0) {
            *read = size_t(received);
            return 1;
        }
        if (received == 0 || errno != EINTR)
            return 0;   // 0 bytes: the peer closed
    }
}

long socketControl(BIO *bio, int command, long number, void *pointer)
{
    switch (command) {
    case BIO_C_SET_FD:
        BIO_set_data(bio, reinterpret_cast<void *>(static_cast<intptr_t>(*static_cast<int *>(pointer))));
        BIO_set_init(bio, 1);
        return 1;
    case BIO_C_GET_FD:
        return long(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    case BIO_CTRL_FLUSH:
        return 1;
    default:
        Q_UNUSED(number);
        return 0;
    }
}

const BIO_METHOD *socketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "simiphone socket");
        BIO_meth_set_write_ex(m, socketWrite);
        BIO_meth_set_read_ex(m, socketRead);
        BIO_meth_set_ctrl(m, socketControl);
        return m;
    }();
    return method;
}

QString tlsError()
{
    const unsigned long code = ERR_get_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return code ? QString::fromUtf8(text) : QStringLiteral("TLS handshake failed");
}

}   // namespace

struct ServiceStream::Tls
{
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    SSL *ssl = nullptr;

    ~Tls()
    {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }

    bool setUp(int fd, const QByteArray &certificatePem, const QByteArray &keyPem, TlsVersion minimum)
    {
        const int minimumVersion = minimum == TlsVersion::Tls12 ? TLS1_2_VERSION : TLS1_VERSION;
        if (!context)
            return false;
        BIO *certBio = BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size()));
        X509 *certificate = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
        BIO_free(certBio);
        BIO *keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
        EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
        BIO_free(keyBio);
        bool ok =
            certificate && key && SSL_CTX_use_certificate(context, certificate) == 1 && SSL_CTX_use_PrivateKey(context, key) == 1;
        X509_free(certificate);
        EVP_PKEY_free(key);
        // Old phones speak TLS 1.0 with ciphers today's default security level refuses.
        if (minimumVersion < TLS1_2_VERSION)
            SSL_CTX_set_security_level(context, 0);
        // Not TLS 1.3, as the phones' lockdown: its records all look like application data, so
        // the close_notify that ends a session could not be told from a plain request.
        ok = ok && SSL_CTX_set_min_proto_version(context, minimumVersion) == 1
             && SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) == 1;
        // The computer's certificate is not checked: the phone already checked the HostID.
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        ssl = ok ? SSL_new(context) : nullptr;
        BIO *socket = ssl ? BIO_new(socketMethod()) : nullptr;
        if (!socket)
            return false;
        BIO_set_fd(socket, fd, BIO_NOCLOSE);
        SSL_set_bio(ssl, socket, socket);
        return SSL_accept(ssl) == 1;
    }
};

ServiceStream::ServiceStream(int fd)
    : m_fd(fd)
{
}

ServiceStream::~ServiceStream() = default;

bool ServiceStream::read(char *buffer, qint64 length)
{
    if (m_tls && !m_tlsActive)
        swallowCloseNotify();
    if (!m_tlsActive)
        return plainRead(buffer, length);
    qint64 done = 0;
    while (done < length) {
        const int got = SSL_read(m_tls->ssl, buffer + done, int(qMin<qint64>(length - done, 1 << 20)));
        if (got <= 0)
            return false;
        done += got;
    }
    return true;
}

bool ServiceStream::write(const QByteArray &bytes)
{
    if (!m_tlsActive)
        return plainWrite(bytes.constData(), bytes.size());
    qint64 done = 0;
    while (done < bytes.size()) {
        const int sent = SSL_write(m_tls->ssl, bytes.constData() + done, int(qMin<qint64>(bytes.size() - done, INT_MAX)));
        if (sent <= 0)
            return false;
        done += sent;
    }
    return true;
}

void ServiceStream::close()
{
    ::shutdown(m_fd, SHUT_RDWR);
}

bool ServiceStream::startTls(const QByteArray &certificatePem, const QByteArray &keyPem, TlsVersion minimum, QString *error)
{
    ERR_clear_error();
    m_tls = std::make_unique<Tls>();
    if (!m_tls->setUp(m_fd, certificatePem, keyPem, minimum)) {
        if (error)
            *error = tlsError();
        m_tls.reset();
        return false;
    }
    m_tlsActive = true;
    return true;
}

void ServiceStream::stopTls()
{
    m_tlsActive = false;   // m_tls stays until the close_notify is read
}

void ServiceStream::swallowCloseNotify()
{
    unsigned char first = 0;
    const ssize_t peeked = ::recv(m_fd, &first, 1, MSG_PEEK);
    if (peeked == 1 && first == kTlsAlertRecord) {
        char sink[256];
        while (SSL_read(m_tls->ssl, sink, sizeof sink) > 0) { }
    }
    m_tls.reset();
}

bool ServiceStream::plainRead(char *buffer, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t got = ::recv(m_fd, buffer + done, size_t(length - done), 0);
        if (got == 0 || (got < 0 && errno != EINTR))
            return false;
        if (got > 0)
            done += got;
    }
    return true;
}

bool ServiceStream::plainWrite(const char *buffer, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t sent = ::send(m_fd, buffer + done, size_t(length - done), MSG_NOSIGNAL);
        if (sent < 0 && errno != EINTR)
            return false;
        if (sent > 0)
            done += sent;
    }
    return true;
}

#include "simiphone/ServiceStream.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/error.h>
#include <mbedtls/net_sockets.h>
#include <mbedtls/pk.h>
#include <mbedtls/ssl.h>
#include <mbedtls/x509_crt.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The first byte of a TLS alert record; a plain frame starts with the high byte of its length.
constexpr unsigned char kTlsAlertRecord = 0x15;

int sendCallback(void *context, const unsigned char *buffer, size_t length)
{
    const int fd = *static_cast<int *>(context);
    for (;;) {
        const ssize_t sent = ::send(fd, buffer, length, MSG_NOSIGNAL);
        if (sent >= 0)
            return int(sent);
        if (errno != EINTR)
            return MBEDTLS_ERR_NET_SEND_FAILED;
    }
}

int receiveCallback(void *context, unsigned char *buffer, size_t length)
{
    const int fd = *static_cast<int *>(context);
    for (;;) {
        const ssize_t received = ::recv(fd, buffer, length, 0);
        if (received >= 0)
            return int(received);   // 0: the peer closed
        if (errno != EINTR)
            return MBEDTLS_ERR_NET_RECV_FAILED;
    }
}

QString tlsError(int code)
{
    char text[200] = {};
    mbedtls_strerror(code, text, sizeof text);
    return QStringLiteral("%1 (-0x%2)").arg(QString::fromUtf8(text)).arg(-code, 0, 16);
}

} // namespace

struct ServiceStream::Tls
{
    int fd;
    mbedtls_ssl_context ssl;
    mbedtls_ssl_config config;
    mbedtls_x509_crt certificate;
    mbedtls_pk_context key;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;

    explicit Tls(int socket)
        : fd(socket)
    {
        mbedtls_ssl_init(&ssl);
        mbedtls_ssl_config_init(&config);
        mbedtls_x509_crt_init(&certificate);
        mbedtls_pk_init(&key);
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&drbg);
    }
    ~Tls()
    {
        mbedtls_ssl_free(&ssl);
        mbedtls_ssl_config_free(&config);
        mbedtls_x509_crt_free(&certificate);
        mbedtls_pk_free(&key);
        mbedtls_ctr_drbg_free(&drbg);
        mbedtls_entropy_free(&entropy);
    }

    int setUp(const QByteArray &certificatePem, const QByteArray &keyPem, TlsVersion minimum)
    {
        const QByteArray certText = certificatePem + '\0';
        const QByteArray keyText = keyPem + '\0';
        int rc = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy, nullptr, 0);
        rc = rc ? rc : mbedtls_x509_crt_parse(&certificate, reinterpret_cast<const unsigned char *>(certText.constData()),
                                              size_t(certText.size()));
        rc = rc ? rc : mbedtls_pk_parse_key(&key, reinterpret_cast<const unsigned char *>(keyText.constData()),
                                            size_t(keyText.size()), nullptr, 0);
        rc = rc ? rc : mbedtls_ssl_config_defaults(&config, MBEDTLS_SSL_IS_SERVER, MBEDTLS_SSL_TRANSPORT_STREAM,
                                                   MBEDTLS_SSL_PRESET_DEFAULT);
        if (rc)
            return rc;
        mbedtls_ssl_conf_rng(&config, mbedtls_ctr_drbg_random, &drbg);
        mbedtls_ssl_conf_min_version(&config, MBEDTLS_SSL_MAJOR_VERSION_3,
                                     minimum == TlsVersion::Tls12 ? MBEDTLS_SSL_MINOR_VERSION_3
                                                                  : MBEDTLS_SSL_MINOR_VERSION_1);
        // The computer's certificate is not checked: the phone already checked the HostID.
        mbedtls_ssl_conf_authmode(&config, MBEDTLS_SSL_VERIFY_NONE);
        rc = mbedtls_ssl_conf_own_cert(&config, &certificate, &key);
        rc = rc ? rc : mbedtls_ssl_setup(&ssl, &config);
        if (rc)
            return rc;
        mbedtls_ssl_set_bio(&ssl, &fd, sendCallback, receiveCallback, nullptr);
        return mbedtls_ssl_handshake(&ssl);
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
        const int got = mbedtls_ssl_read(&m_tls->ssl, reinterpret_cast<unsigned char *>(buffer + done),
                                         size_t(qMin<qint64>(length - done, 1 << 20)));
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
        const int sent = mbedtls_ssl_write(&m_tls->ssl, reinterpret_cast<const unsigned char *>(bytes.constData() + done),
                                           size_t(bytes.size() - done));
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

bool ServiceStream::startTls(const QByteArray &certificatePem, const QByteArray &keyPem, TlsVersion minimum,
                             QString *error)
{
    m_tls = std::make_unique<Tls>(m_fd);
    const int rc = m_tls->setUp(certificatePem, keyPem, minimum);
    if (rc != 0) {
        if (error)
            *error = tlsError(rc);
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
        unsigned char sink[256];
        while (mbedtls_ssl_read(&m_tls->ssl, sink, sizeof sink) > 0) {
        }
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

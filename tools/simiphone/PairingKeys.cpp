#include "simiphone/PairingKeys.h"

#include <QUuid>

#include <mbedtls/bignum.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/pk.h>
#include <mbedtls/rsa.h>
#include <mbedtls/x509_crt.h>

#include <mutex>
#include <stdexcept>

namespace {

// One seeded generator for the whole process; mbed TLS contexts are not thread-safe.
struct Random
{
    std::mutex mutex;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;

    Random()
    {
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&drbg);
        static const char personal[] = "simiphone";
        if (mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy,
                                  reinterpret_cast<const unsigned char *>(personal), sizeof personal) != 0)
            throw std::runtime_error("random generator could not be seeded");
    }
    static Random &instance()
    {
        static Random random;
        return random;
    }
    static int generate(void *, unsigned char *out, size_t length)
    {
        Random &self = instance();
        std::lock_guard<std::mutex> lock(self.mutex);
        return mbedtls_ctr_drbg_random(&self.drbg, out, length);
    }
};

struct Key
{
    mbedtls_pk_context pk;
    Key() { mbedtls_pk_init(&pk); }
    ~Key() { mbedtls_pk_free(&pk); }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;

    // Private or public PEM; false when neither parses.
    bool load(const QByteArray &pem)
    {
        const QByteArray text = pem + '\0';   // mbed TLS wants the terminator counted in PEM input
        const auto *bytes = reinterpret_cast<const unsigned char *>(text.constData());
        if (mbedtls_pk_parse_key(&pk, bytes, size_t(text.size()), nullptr, 0) == 0)
            return true;
        mbedtls_pk_free(&pk);
        mbedtls_pk_init(&pk);
        return mbedtls_pk_parse_public_key(&pk, bytes, size_t(text.size())) == 0;
    }
};

QByteArray pemFromBuffer(const unsigned char *buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer));
}

// The bare RSAPublicKey (PKCS#1) of a key; empty when the key does not parse.
QByteArray publicKeyDer(const QByteArray &keyPem)
{
    Key key;
    if (!key.load(keyPem))
        return {};
    // mbedtls_pk_write_pubkey writes backwards from the end of the buffer.
    unsigned char buffer[4096];
    unsigned char *end = buffer + sizeof buffer;
    const int length = mbedtls_pk_write_pubkey(&end, buffer, &key.pk);
    if (length <= 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(buffer + sizeof buffer - length), length);
}

} // namespace

QByteArray PairingKeys::generatePrivateKey()
{
    Key key;
    if (mbedtls_pk_setup(&key.pk, mbedtls_pk_info_from_type(MBEDTLS_PK_RSA)) != 0
        || mbedtls_rsa_gen_key(mbedtls_pk_rsa(key.pk), &Random::generate, nullptr, 2048, 65537) != 0)
        throw std::runtime_error("RSA key generation failed");
    unsigned char buffer[8192] = {};
    if (mbedtls_pk_write_key_pem(&key.pk, buffer, sizeof buffer) != 0)
        throw std::runtime_error("RSA key could not be written");
    return pemFromBuffer(buffer);
}

QByteArray PairingKeys::publicKeyPem(const QByteArray &privateKeyPem)
{
    const QByteArray der = publicKeyDer(privateKeyPem);
    if (der.isEmpty())
        return {};
    QByteArray pem = "-----BEGIN RSA PUBLIC KEY-----\n";
    const QByteArray base64 = der.toBase64();
    for (qsizetype i = 0; i < base64.size(); i += 64)
        pem += base64.mid(i, 64) + '\n';
    pem += "-----END RSA PUBLIC KEY-----\n";
    return pem;
}

QByteArray PairingKeys::makeCertificate(const QByteArray &subjectKeyPem, const QByteArray &issuerKeyPem,
                                        const QString &subjectName, const QString &issuerName,
                                        bool certificateAuthority)
{
    Key subject, issuer;
    if (!subject.load(subjectKeyPem) || !issuer.load(issuerKeyPem))
        throw std::runtime_error("certificate keys do not parse");

    mbedtls_x509write_cert writer;
    mbedtls_x509write_crt_init(&writer);
    mbedtls_mpi serial;
    mbedtls_mpi_init(&serial);
    const QByteArray serialBytes = randomBytes(8);
    mbedtls_mpi_read_binary(&serial, reinterpret_cast<const unsigned char *>(serialBytes.constData()), 8);
    mbedtls_mpi_set_bit(&serial, 63, 0);   // positive

    const QByteArray subjectText = ("CN=" + subjectName).toUtf8();
    const QByteArray issuerText = ("CN=" + issuerName).toUtf8();
    mbedtls_x509write_crt_set_version(&writer, MBEDTLS_X509_CRT_VERSION_3);
    mbedtls_x509write_crt_set_md_alg(&writer, MBEDTLS_MD_SHA256);
    mbedtls_x509write_crt_set_subject_key(&writer, &subject.pk);
    mbedtls_x509write_crt_set_issuer_key(&writer, &issuer.pk);
    int rc = mbedtls_x509write_crt_set_serial(&writer, &serial);
    rc = rc ? rc : mbedtls_x509write_crt_set_subject_name(&writer, subjectText.constData());
    rc = rc ? rc : mbedtls_x509write_crt_set_issuer_name(&writer, issuerText.constData());
    rc = rc ? rc : mbedtls_x509write_crt_set_validity(&writer, "20200101000000", "20491231235959");
    rc = rc ? rc : mbedtls_x509write_crt_set_basic_constraints(&writer, certificateAuthority ? 1 : 0, -1);
    rc = rc ? rc : mbedtls_x509write_crt_set_subject_key_identifier(&writer);
    rc = rc ? rc : mbedtls_x509write_crt_set_key_usage(&writer, certificateAuthority
                         ? (MBEDTLS_X509_KU_KEY_CERT_SIGN | MBEDTLS_X509_KU_CRL_SIGN)
                         : (MBEDTLS_X509_KU_DIGITAL_SIGNATURE | MBEDTLS_X509_KU_KEY_ENCIPHERMENT));
    unsigned char buffer[8192] = {};
    rc = rc ? rc : mbedtls_x509write_crt_pem(&writer, buffer, sizeof buffer, &Random::generate, nullptr);
    mbedtls_mpi_free(&serial);
    mbedtls_x509write_crt_free(&writer);
    if (rc != 0)
        throw std::runtime_error("certificate could not be written");
    return pemFromBuffer(buffer);
}

QVariantMap PairingKeys::makePairRecord(const QByteArray &devicePrivateKeyPem, const QString &systemBuid,
                                        const QString &wifiAddress)
{
    const QByteArray rootKey = generatePrivateKey();
    const QByteArray hostKey = generatePrivateKey();
    const QString root = QStringLiteral("Root Certification Authority");
    return {
        {QStringLiteral("RootPrivateKey"), rootKey},
        {QStringLiteral("RootCertificate"), makeCertificate(rootKey, rootKey, root, root, true)},
        {QStringLiteral("HostPrivateKey"), hostKey},
        {QStringLiteral("HostCertificate"),
         makeCertificate(hostKey, rootKey, QStringLiteral("Host"), root, false)},
        {QStringLiteral("DeviceCertificate"),
         makeCertificate(publicKeyPem(devicePrivateKeyPem), rootKey, QStringLiteral("Device"), root, false)},
        {QStringLiteral("HostID"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("SystemBUID"), systemBuid},
        {QStringLiteral("WiFiMACAddress"), wifiAddress},
        // What Pair answers; the backup tool hands it back when it starts the backup service.
        {QStringLiteral("EscrowBag"), randomBytes(32)},
    };
}

bool PairingKeys::certificateMatchesKey(const QByteArray &certificatePem, const QByteArray &privateKeyPem)
{
    Key key;
    if (!key.load(privateKeyPem))
        return false;
    mbedtls_x509_crt certificate;
    mbedtls_x509_crt_init(&certificate);
    const QByteArray text = certificatePem + '\0';
    const bool matches = mbedtls_x509_crt_parse(&certificate, reinterpret_cast<const unsigned char *>(text.constData()),
                                                size_t(text.size())) == 0
                         && mbedtls_pk_check_pair(&certificate.pk, &key.pk) == 0;
    mbedtls_x509_crt_free(&certificate);
    return matches;
}

bool PairingKeys::certificateCarriesKey(const QByteArray &certificatePem, const QByteArray &privateKeyPem)
{
    const QByteArray begin = "-----BEGIN CERTIFICATE-----";
    const qsizetype start = certificatePem.indexOf(begin);
    const qsizetype end = certificatePem.indexOf("-----END CERTIFICATE-----");
    const QByteArray key = publicKeyDer(privateKeyPem);
    if (start < 0 || end < start || key.isEmpty())
        return false;
    const QByteArray der = QByteArray::fromBase64(certificatePem.mid(start + begin.size(), end - start - begin.size()));
    return der.contains(key);
}

QByteArray PairingKeys::randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    Random::generate(nullptr, reinterpret_cast<unsigned char *>(bytes.data()), size_t(count));
    return bytes;
}

#include "simiphone/PairingKeys.h"

#include <QUuid>

#include <openssl/bn.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace {

template <typename T, void (*Free)(T *)>
struct Freer
{
    void operator()(T *p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;

Bio readBio(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

QByteArray bioText(BIO *bio)
{
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(length));
}

// Private or public PEM (PKCS#1 or SubjectPublicKeyInfo); null when neither parses.
Key loadKey(const QByteArray &pem)
{
    Bio bio = readBio(pem);
    if (EVP_PKEY *key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr))
        return Key(key);
    EVP_PKEY *key = nullptr;
    OSSL_DECODER_CTX *decoder = OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", nullptr, "RSA", EVP_PKEY_PUBLIC_KEY, nullptr, nullptr);
    const auto *bytes = reinterpret_cast<const unsigned char *>(pem.constData());
    size_t left = size_t(pem.size());
    if (decoder && OSSL_DECODER_from_data(decoder, &bytes, &left) != 1) {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    OSSL_DECODER_CTX_free(decoder);
    return Key(key);
}

// The bare RSAPublicKey (PKCS#1) of a key; empty when the key does not parse.
QByteArray publicKeyDer(const QByteArray &keyPem)
{
    const Key key = loadKey(keyPem);
    unsigned char *der = nullptr;
    const int length = key ? i2d_PublicKey(key.get(), &der) : 0;
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char *>(der), length);
    OPENSSL_free(der);
    return bytes;
}

bool addExtension(X509 *certificate, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    const bool added = extension && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

bool setCommonName(X509_NAME *name, const QString &commonName)
{
    const QByteArray text = commonName.toUtf8();
    return X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(text.constData()),
                                      int(text.size()), -1, 0)
           == 1;
}

}   // namespace

QByteArray PairingKeys::generatePrivateKey()
{
    const Key key(EVP_RSA_gen(2048));
    Bio bio(BIO_new(BIO_s_mem()));
    // "RSA PRIVATE KEY" (PKCS#1), as the phone library writes its own.
    if (!key || !bio || PEM_write_bio_PrivateKey_traditional(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw std::runtime_error("RSA key generation failed");
    return bioText(bio.get());
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
                                        const QString &subjectName, const QString &issuerName, bool certificateAuthority)
{
    const Key subject = loadKey(subjectKeyPem);
    const Key issuer = loadKey(issuerKeyPem);
    if (!subject || !issuer)
        throw std::runtime_error("certificate keys do not parse");

    const Certificate certificate(X509_new());
    const QByteArray serialBytes = randomBytes(8);
    BIGNUM *serial = BN_bin2bn(reinterpret_cast<const unsigned char *>(serialBytes.constData()), 8, nullptr);
    const bool serialSet = serial && BN_clear_bit(serial, 63) == 1   // positive
                           && BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(certificate.get()));
    BN_free(serial);
    // The issuer's own certificate is not at hand: the authority key identifier is left out.
    bool ok = serialSet && X509_set_version(certificate.get(), X509_VERSION_3) == 1
              && X509_set_pubkey(certificate.get(), subject.get()) == 1
              && setCommonName(X509_get_subject_name(certificate.get()), subjectName)
              && setCommonName(X509_get_issuer_name(certificate.get()), issuerName)
              && ASN1_TIME_set_string_X509(X509_getm_notBefore(certificate.get()), "20200101000000Z") == 1
              && ASN1_TIME_set_string_X509(X509_getm_notAfter(certificate.get()), "20491231235959Z") == 1
              && addExtension(certificate.get(), certificate.get(), NID_basic_constraints,
                              certificateAuthority ? "critical,CA:TRUE" : "critical,CA:FALSE")
              && addExtension(certificate.get(), certificate.get(), NID_subject_key_identifier, "hash")
              && addExtension(certificate.get(), certificate.get(), NID_key_usage,
                              certificateAuthority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,keyEncipherment")
              && X509_sign(certificate.get(), issuer.get(), EVP_sha256()) > 0;
    Bio bio(BIO_new(BIO_s_mem()));
    ok = ok && bio && PEM_write_bio_X509(bio.get(), certificate.get()) == 1;
    if (!ok)
        throw std::runtime_error("certificate could not be written");
    return bioText(bio.get());
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
        {QStringLiteral("HostCertificate"), makeCertificate(hostKey, rootKey, QStringLiteral("Host"), root, false)},
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
    Bio bio = readBio(certificatePem);
    const Certificate certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    Bio keyBio = readBio(privateKeyPem);
    const Key key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    return certificate && key && EVP_PKEY_eq(X509_get0_pubkey(certificate.get()), key.get()) == 1;
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
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), count) != 1)
        throw std::runtime_error("no random bytes");
    return bytes;
}

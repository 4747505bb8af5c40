#include "itunes/BackupCrypto.h"

#include <mbedtls/aes.h>
#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>
#include <mbedtls/platform_util.h>

#include <cstring>

namespace {

constexpr int kKekBytes = 32;
constexpr quint64 kIntegrityValue = 0xA6A6A6A6A6A6A6A6ULL;

quint64 loadBigEndian64(const uchar *p)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | p[i];
    return v;
}

void storeBigEndian64(uchar *p, quint64 v)
{
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = uchar(v);
}

class AesContext
{
public:
    AesContext() { mbedtls_aes_init(&ctx); }
    ~AesContext() { mbedtls_aes_free(&ctx); }
    mbedtls_aes_context ctx;
};

} // namespace

QByteArray pbkdf2HmacSha1(const QByteArray &password, const QByteArray &salt, quint32 iterations, int length)
{
    QByteArray out(length, '\0');
    mbedtls_md_context_t md;
    mbedtls_md_init(&md);
    int rc = mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1);
    if (rc == 0) {
        rc = mbedtls_pkcs5_pbkdf2_hmac(&md, reinterpret_cast<const uchar *>(password.constData()),
                                       size_t(password.size()), reinterpret_cast<const uchar *>(salt.constData()),
                                       size_t(salt.size()), iterations, uint32_t(length),
                                       reinterpret_cast<uchar *>(out.data()));
    }
    mbedtls_md_free(&md);  // wipes the HMAC state holding the password
    if (rc != 0)
        wipeBytes(out);
    return rc == 0 ? out : QByteArray();
}

QByteArray aesKeyWrap(const QByteArray &kek, const QByteArray &plain)
{
    const qsizetype n = plain.size() / 8;
    if (kek.size() != kKekBytes || plain.size() % 8 != 0 || n < 1)
        return QByteArray();
    AesContext aes;
    mbedtls_aes_setkey_enc(&aes.ctx, reinterpret_cast<const uchar *>(kek.constData()), kKekBytes * 8);
    QByteArray out(8 + plain.size(), '\0');
    auto *r = reinterpret_cast<uchar *>(out.data());
    std::memcpy(r + 8, plain.constData(), size_t(plain.size()));
    quint64 a = kIntegrityValue;
    uchar block[16];
    for (int j = 0; j <= 5; ++j) {
        for (qsizetype i = 1; i <= n; ++i) {
            storeBigEndian64(block, a);
            std::memcpy(block + 8, r + 8 * i, 8);
            mbedtls_aes_crypt_ecb(&aes.ctx, MBEDTLS_AES_ENCRYPT, block, block);
            a = loadBigEndian64(block) ^ quint64(n * j + i);
            std::memcpy(r + 8 * i, block + 8, 8);
        }
    }
    storeBigEndian64(r, a);
    mbedtls_platform_zeroize(block, sizeof block);
    return out;
}

QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped)
{
    const qsizetype n = wrapped.size() / 8 - 1;
    if (kek.size() != kKekBytes || wrapped.size() % 8 != 0 || n < 1)
        return QByteArray();
    AesContext aes;
    mbedtls_aes_setkey_dec(&aes.ctx, reinterpret_cast<const uchar *>(kek.constData()), kKekBytes * 8);
    QByteArray out = wrapped.mid(8);
    auto *r = reinterpret_cast<uchar *>(out.data()) - 8;  // r + 8 * i is R[i], i = 1..n
    quint64 a = loadBigEndian64(reinterpret_cast<const uchar *>(wrapped.constData()));
    uchar block[16];
    for (int j = 5; j >= 0; --j) {
        for (qsizetype i = n; i >= 1; --i) {
            storeBigEndian64(block, a ^ quint64(n * j + i));
            std::memcpy(block + 8, r + 8 * i, 8);
            mbedtls_aes_crypt_ecb(&aes.ctx, MBEDTLS_AES_DECRYPT, block, block);
            a = loadBigEndian64(block);
            std::memcpy(r + 8 * i, block + 8, 8);
        }
    }
    mbedtls_platform_zeroize(block, sizeof block);
    if (a != kIntegrityValue) {
        wipeBytes(out);
        return QByteArray();
    }
    return out;
}

void wipeBytes(QByteArray &bytes)
{
    if (!bytes.isEmpty())
        mbedtls_platform_zeroize(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

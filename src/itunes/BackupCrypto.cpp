#include "itunes/BackupCrypto.h"

#include "app/Secret.h"

#include "app/AppError.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <limits>
#include <memory>

namespace {

constexpr int kKekBytes = 32;
constexpr int kBlockBytes = 16;

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const uchar *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.constData());
}

QByteArray pbkdf2(const EVP_MD *digest, QByteArrayView password, const QByteArray &salt, quint32 iterations, int length)
{
    if (iterations < 1 || iterations > quint32(std::numeric_limits<int>::max()) || length < 1)
        return QByteArray();
    QByteArray out(length, '\0');
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), bytesOf(salt), int(salt.size()), int(iterations), digest,
                          length, reinterpret_cast<uchar *>(out.data()))
        != 1) {
        wipeBytes(out);
        return QByteArray();
    }
    return out;
}

// RFC 3394 in either direction; the library checks the sizes and, unwrapping, the integrity value.
QByteArray keyWrap(bool wrap, const QByteArray &kek, const QByteArray &input)
{
    if (kek.size() != kKekBytes || input.size() % 8 != 0 || input.size() < (wrap ? 16 : 24))
        return QByteArray();
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return QByteArray();
    EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    QByteArray out(input.size() + 8, '\0');
    int length = 0;
    const bool ok =
        EVP_CipherInit_ex(ctx.get(), EVP_aes_256_wrap(), nullptr, bytesOf(kek), nullptr, wrap ? 1 : 0) == 1
        && EVP_CipherUpdate(ctx.get(), reinterpret_cast<uchar *>(out.data()), &length, bytesOf(input), int(input.size())) == 1
        && length == input.size() + (wrap ? 8 : -8);
    if (!ok) {
        wipeBytes(out);
        return QByteArray();
    }
    out.truncate(length);
    return out;
}

}   // namespace

QByteArray pbkdf2HmacSha1(QByteArrayView password, const QByteArray &salt, quint32 iterations, int length)
{
    return pbkdf2(EVP_sha1(), password, salt, iterations, length);
}

QByteArray pbkdf2HmacSha256(QByteArrayView password, const QByteArray &salt, quint32 iterations, int length)
{
    return pbkdf2(EVP_sha256(), password, salt, iterations, length);
}

QByteArray aesKeyWrap(const QByteArray &kek, const QByteArray &plain)
{
    return keyWrap(true, kek, plain);
}

QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped)
{
    return keyWrap(false, kek, wrapped);
}

bool pkcs7Unpad(QByteArray &data)
{
    if (data.isEmpty() || data.size() % kBlockBytes != 0)
        return false;
    const int count = uchar(data.back());
    if (count < 1 || count > kBlockBytes)
        return false;
    for (qsizetype i = data.size() - count; i < data.size(); ++i) {
        if (uchar(data[i]) != count)
            return false;
    }
    data.truncate(data.size() - count);
    return true;
}

QByteArray secureRandomBytes(int count)
{
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<uchar *>(bytes.data()), count) != 1)
        failWith(QStringLiteral("The system gave no random bytes for a new encryption key."));
    return bytes;
}

void wipeBytes(QByteArray &bytes)
{
    // data() of shared bytes would copy them and wipe the copy; the last holder wipes them.
    if (bytes.isDetached())
        wipeMemory(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

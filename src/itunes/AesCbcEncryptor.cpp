#include "itunes/AesCbcEncryptor.h"

#include "app/AppError.h"

#include <openssl/evp.h>

#include <climits>
#include <stdexcept>

struct AesCbcEncryptor::State
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ~State() { EVP_CIPHER_CTX_free(ctx); }   // wipes the key schedule
};

AesCbcEncryptor::AesCbcEncryptor(const QByteArray &key, const QByteArray &iv)
    : m_state(std::make_unique<State>())
{
    if (key.size() != 32)
        throw std::invalid_argument("AES-256 needs a 32-byte key");
    const QByteArray chainStart = iv.size() == 16 ? iv : QByteArray(16, '\0');
    if (!m_state->ctx
        || EVP_EncryptInit_ex(m_state->ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const uchar *>(key.constData()),
                              reinterpret_cast<const uchar *>(chainStart.constData()))
               != 1)
        failWith(QStringLiteral("AES-256-CBC is not available"));
}

AesCbcEncryptor::~AesCbcEncryptor() = default;

QByteArray AesCbcEncryptor::encrypt(const QByteArray &plain)
{
    if (plain.size() > INT_MAX - 16)
        throw std::invalid_argument("AES-256-CBC pieces must stay below 2 GiB");
    QByteArray out(plain.size() + 16, Qt::Uninitialized);
    int produced = 0;
    if (EVP_EncryptUpdate(m_state->ctx, reinterpret_cast<uchar *>(out.data()), &produced,
                          reinterpret_cast<const uchar *>(plain.constData()), int(plain.size()))
        != 1)
        failWith(QStringLiteral("AES-256-CBC encryption failed"));
    out.truncate(produced);
    return out;
}

QByteArray AesCbcEncryptor::finish()
{
    QByteArray out(16, Qt::Uninitialized);
    int produced = 0;
    if (EVP_EncryptFinal_ex(m_state->ctx, reinterpret_cast<uchar *>(out.data()), &produced) != 1)
        failWith(QStringLiteral("AES-256-CBC encryption failed"));
    out.truncate(produced);
    return out;
}

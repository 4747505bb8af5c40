#include "itunes/AesCbcDecryptor.h"

#include "app/AppError.h"

#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

struct AesCbcDecryptor::State
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ~State() { EVP_CIPHER_CTX_free(ctx); }   // wipes the key schedule
};

AesCbcDecryptor::AesCbcDecryptor(const QByteArray &key, const QByteArray &iv)
    : m_state(std::make_unique<State>())
{
    if (key.size() != 32)
        throw std::invalid_argument("AES-256 needs a 32-byte key");
    const QByteArray chainStart = iv.size() == 16 ? iv : QByteArray(16, '\0');
    if (!m_state->ctx
        || EVP_DecryptInit_ex(m_state->ctx, EVP_aes_256_cbc(), nullptr, reinterpret_cast<const uchar *>(key.constData()),
                              reinterpret_cast<const uchar *>(chainStart.constData()))
               != 1
        || EVP_CIPHER_CTX_set_padding(m_state->ctx, 0) != 1)
        failWith(QStringLiteral("AES-256-CBC is not available"));
}

AesCbcDecryptor::~AesCbcDecryptor() = default;

void AesCbcDecryptor::decrypt(const uchar *in, uchar *out, size_t length)
{
    Q_ASSERT(length % 16 == 0);
    constexpr size_t kPiece = size_t(INT_MAX) & ~size_t(15);
    for (size_t done = 0; done < length;) {
        const size_t piece = std::min(length - done, kPiece);
        int produced = 0;
        if (EVP_DecryptUpdate(m_state->ctx, out + done, &produced, in + done, int(piece)) != 1 || size_t(produced) != piece)
            failWith(QStringLiteral("AES-256-CBC decryption failed"));
        done += piece;
    }
}

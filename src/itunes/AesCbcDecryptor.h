#pragma once

#include "itunes/Export.h"

#include <QByteArray>

#include <memory>

// AES-256-CBC decryption of one stream fed in pieces: the chaining value is carried from one
// call to the next. No padding is removed here (see pkcs7Unpad); the library uses the
// processor's AES instructions when it has them.
class PARLEWICK_ITUNES_EXPORT AesCbcDecryptor
{
public:
    // key: 32 bytes (std::invalid_argument otherwise); iv: 16 bytes, zeros when empty.
    explicit AesCbcDecryptor(const QByteArray &key, const QByteArray &iv = QByteArray());
    ~AesCbcDecryptor();
    AesCbcDecryptor(const AesCbcDecryptor &) = delete;
    AesCbcDecryptor &operator=(const AesCbcDecryptor &) = delete;

    // length must be a multiple of 16; in and out may be the same buffer.
    void decrypt(const uchar *in, uchar *out, size_t length);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

#pragma once

#include <QByteArray>

#include <memory>

// AES-256-CBC decryption of one stream fed in pieces: the chaining value is carried from one
// call to the next. Uses the processor's AES instructions several blocks at a time when it has
// them (CBC decryption parallelises), the mbed TLS routine otherwise.
class AesCbcDecryptor
{
public:
    // key: 32 bytes (std::invalid_argument otherwise); iv: 16 bytes, zeros when empty.
    explicit AesCbcDecryptor(const QByteArray &key, const QByteArray &iv = QByteArray());
    ~AesCbcDecryptor();
    AesCbcDecryptor(const AesCbcDecryptor &) = delete;
    AesCbcDecryptor &operator=(const AesCbcDecryptor &) = delete;

    // length must be a multiple of 16; in and out may be the same buffer.
    void decrypt(const uchar *in, uchar *out, size_t length);

    static bool hasHardwareAes();
    // For comparing the two paths: off forces the mbed TLS routine.
    void setHardwareAllowed(bool allowed);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

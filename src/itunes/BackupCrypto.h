#pragma once

#include "itunes/Export.h"

#include <QByteArray>

// Primitives of encrypted iTunes backups.

// PBKDF2 (RFC 2898) with HMAC-SHA-1 or HMAC-SHA-256; empty when the library refuses the input
// (no iterations, more than it takes).
PARLEWICK_ITUNES_EXPORT QByteArray pbkdf2HmacSha1(QByteArrayView password, const QByteArray &salt, quint32 iterations,
                                                  int length);
PARLEWICK_ITUNES_EXPORT QByteArray pbkdf2HmacSha256(QByteArrayView password, const QByteArray &salt, quint32 iterations,
                                                    int length);

// AES key wrap (RFC 3394) with a 256-bit key-encryption key. Unwrap gives n x 8 bytes out of
// n x 8 + 8 (n >= 2), or an empty array when the key is wrong, the input malformed or the
// integrity check fails.
PARLEWICK_ITUNES_EXPORT QByteArray aesKeyWrap(const QByteArray &kek, const QByteArray &plain);
PARLEWICK_ITUNES_EXPORT QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped);

// Drops the PKCS#7 padding (1 to 16 bytes, each holding the count) from the end of decrypted
// data. False, and data unchanged, when the data is not whole blocks or the padding is not valid.
PARLEWICK_ITUNES_EXPORT bool pkcs7Unpad(QByteArray &data);

// Bytes from the library's cryptographic generator, for new file keys. Throws
// AppError when it has none to give.
PARLEWICK_ITUNES_EXPORT QByteArray secureRandomBytes(int count);

// Overwrites secret bytes in place (not optimised away).
PARLEWICK_ITUNES_EXPORT void wipeBytes(QByteArray &bytes);

// Wipes a buffer of secrets however its scope is left.
class PARLEWICK_ITUNES_EXPORT ScopedWipe
{
public:
    explicit ScopedWipe(QByteArray &bytes)
        : m_bytes(bytes)
    {
    }
    ~ScopedWipe() { wipeBytes(m_bytes); }
    ScopedWipe(const ScopedWipe &) = delete;
    ScopedWipe &operator=(const ScopedWipe &) = delete;

private:
    QByteArray &m_bytes;
};

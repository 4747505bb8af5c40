#pragma once

#include <QByteArray>

// Primitives of encrypted iTunes backups.

// PBKDF2 with HMAC-SHA-1 (RFC 2898).
QByteArray pbkdf2HmacSha1(const QByteArray &password, const QByteArray &salt, quint32 iterations, int length);

// AES key wrap (RFC 3394) with a 256-bit key-encryption key. Unwrap gives n x 8 bytes out of
// n x 8 + 8 (n >= 1), or an empty array when the key is wrong, the input malformed or the
// integrity check fails.
QByteArray aesKeyWrap(const QByteArray &kek, const QByteArray &plain);
QByteArray aesKeyUnwrap(const QByteArray &kek, const QByteArray &wrapped);

// Overwrites secret bytes in place (not optimised away).
void wipeBytes(QByteArray &bytes);

// Wipes a buffer of secrets however its scope is left.
class ScopedWipe
{
public:
    explicit ScopedWipe(QByteArray &bytes) : m_bytes(bytes) {}
    ~ScopedWipe() { wipeBytes(m_bytes); }
    ScopedWipe(const ScopedWipe &) = delete;
    ScopedWipe &operator=(const ScopedWipe &) = delete;

private:
    QByteArray &m_bytes;
};

#pragma once

#include "itunes/Export.h"

#include <QByteArray>

#include <memory>

// AES-256-CBC encryption of one stream fed in pieces, ending in PKCS#7 padding (1 to 16 bytes),
// as backups store files and Manifest.db.
class PARLEWICK_ITUNES_EXPORT AesCbcEncryptor
{
public:
    // key: 32 bytes (std::invalid_argument otherwise); iv: 16 bytes, zeros when empty.
    explicit AesCbcEncryptor(const QByteArray &key, const QByteArray &iv = QByteArray());
    ~AesCbcEncryptor();
    AesCbcEncryptor(const AesCbcEncryptor &) = delete;
    AesCbcEncryptor &operator=(const AesCbcEncryptor &) = delete;

    // The whole blocks the stream has so far; the rest waits for the next piece.
    QByteArray encrypt(const QByteArray &plain);
    // The last block with its padding. The stream ends here.
    QByteArray finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

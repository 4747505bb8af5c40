#pragma once

#include "app/Export.h"

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <memory>

// A password or key on its way from where it was typed or read to where it is used: its UTF-8
// bytes in a buffer of its own that no Qt container shares, so that wiping it reaches the only
// copy. Move-only: a second holder (the password kept for a phone through the session) is made
// with clone(). The bytes are overwritten when it is reset or destroyed; a moved-from secret
// is empty.
class PARLEWICK_APP_EXPORT Secret
{
public:
    Secret() = default;
    // Copies the bytes; the caller wipes its own.
    static Secret fromUtf8(QByteArrayView bytes);
    // Takes a typed text and wipes it where it lies (a text that shares its characters with
    // another QString, such as a line edit's, cannot be reached: clear the other first).
    static Secret takeText(QString &text);

    Secret(Secret &&other) noexcept;
    Secret &operator=(Secret &&other) noexcept;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    ~Secret() { reset(); }

    Secret clone() const;
    void reset();

    bool isEmpty() const { return m_size == 0; }
    // The bytes for the key derivation; valid until the secret is reset, moved or destroyed.
    QByteArrayView bytes() const { return QByteArrayView(m_bytes.get(), m_size); }

private:
    std::unique_ptr<char[]> m_bytes;
    qsizetype m_size = 0;
};

// Overwrites memory that held a secret (not optimised away).
PARLEWICK_APP_EXPORT void wipeMemory(void *data, size_t size);
// Overwrites a text's characters where it lies, when no other QString shares them, and empties it.
PARLEWICK_APP_EXPORT void wipeText(QString &text);

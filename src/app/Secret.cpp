#include "app/Secret.h"

#include <QByteArray>

#include <openssl/crypto.h>

#include <cstring>
#include <utility>

Secret Secret::fromUtf8(QByteArrayView bytes)
{
    Secret secret;
    if (bytes.isEmpty())
        return secret;
    secret.m_bytes = std::make_unique<char[]>(size_t(bytes.size()));
    std::memcpy(secret.m_bytes.get(), bytes.data(), size_t(bytes.size()));
    secret.m_size = bytes.size();
    return secret;
}

Secret Secret::takeText(QString &text)
{
    // toUtf8 makes a buffer of its own, so wiping it reaches its only copy.
    QByteArray utf8 = text.toUtf8();
    Secret secret = fromUtf8(utf8);
    wipeMemory(utf8.data(), size_t(utf8.size()));
    wipeText(text);
    return secret;
}

Secret::Secret(Secret &&other) noexcept
    : m_bytes(std::move(other.m_bytes))
    , m_size(std::exchange(other.m_size, 0))
{
}

Secret &Secret::operator=(Secret &&other) noexcept
{
    if (this != &other) {
        reset();
        m_bytes = std::move(other.m_bytes);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

Secret Secret::clone() const
{
    return fromUtf8(bytes());
}

void Secret::reset()
{
    if (m_bytes)
        wipeMemory(m_bytes.get(), size_t(m_size));
    m_bytes.reset();
    m_size = 0;
}

void wipeMemory(void *data, size_t size)
{
    if (size > 0)
        OPENSSL_cleanse(data, size);
}

void wipeText(QString &text)
{
    // data() of a shared text would copy it and wipe the copy: only a text of its own is wiped.
    if (text.isDetached())
        wipeMemory(text.data(), size_t(text.size()) * sizeof(QChar));
    text.clear();
}

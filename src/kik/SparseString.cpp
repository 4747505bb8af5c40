#include "kik/SparseString.h"

SparseString &SparseString::operator=(const QString &text)
{
    assign(text);
    return *this;
}

SparseString &SparseString::operator=(const SparseString &other)
{
    if (this != &other)
        assign(other.text());
    return *this;
}

SparseString &SparseString::operator=(SparseString &&other) noexcept
{
    std::swap(m_text, other.m_text);
    return *this;
}

const QString &SparseString::text() const
{
    static const QString empty;
    return m_text ? *m_text : empty;
}

void SparseString::clear()
{
    delete m_text;
    m_text = nullptr;
}

void SparseString::assign(const QString &text)
{
    if (text.isEmpty()) {
        clear();
    } else if (m_text) {
        *m_text = text;
    } else {
        m_text = new QString(text);
    }
}

#pragma once

#include "kik/Export.h"

#include <QString>

// A text that is empty for almost every record (the picture paths of a message): one pointer
// wide instead of a QString's three, which counts when a million messages are loaded. It reads
// as a const QString& wherever one is expected.
class PARLEWICK_KIK_EXPORT SparseString
{
public:
    SparseString() = default;
    SparseString(const QString &text) { assign(text); }
    SparseString(const SparseString &other) { assign(other.text()); }
    SparseString(SparseString &&other) noexcept
        : m_text(std::exchange(other.m_text, nullptr))
    {
    }
    ~SparseString() { delete m_text; }

    SparseString &operator=(const QString &text);
    SparseString &operator=(const SparseString &other);
    SparseString &operator=(SparseString &&other) noexcept;

    const QString &text() const;
    operator const QString &() const { return text(); }
    bool isEmpty() const { return m_text == nullptr; }
    void clear();

    friend bool operator==(const SparseString &a, const QString &b) { return a.text() == b; }

private:
    void assign(const QString &text);

    // Null while the text is empty.
    QString *m_text = nullptr;
};

#pragma once

#include "plist/Export.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>

// A binary property list read where it lies: objects are looked up by number when asked for,
// so nothing is built, nothing nests deeper than the caller walks, and reading a few values of
// a small list costs no allocation. Every offset, length and reference is checked against the
// data; a broken object reads as Broken, never past the end.
class PARLEWICK_PLIST_EXPORT BinaryPlistView
{
public:
    enum Kind { Broken, Other, Integer, Real, Data, AsciiString, Utf16String, Uid, Array, Set, Dictionary };

    struct Object
    {
        Kind kind = Broken;
        const uchar *body = nullptr;   // bytes, characters or references
        quint64 count = 0;             // bytes of Data/AsciiString/Integer/Real/Uid, characters of
                                       // Utf16String, references of Array/Set, pairs of Dictionary
    };

    // Invalid unless data starts with "bplist00" and its trailer and offset table fit. The view
    // reads the bytes where they lie: they must outlive it (hence no temporary array).
    explicit BinaryPlistView(QByteArrayView data);
    explicit BinaryPlistView(QByteArray &&) = delete;

    bool isValid() const { return m_objectCount != 0; }
    quint64 objectCount() const { return m_objectCount; }
    quint64 rootIndex() const { return m_root; }

    Object object(quint64 index) const;
    // Number of references a container holds (a dictionary's keys and values both count).
    static quint64 referenceCount(const Object &container)
    {
        return container.kind == Dictionary ? container.count * 2 : container.count;
    }
    // The object number of a container's n-th reference (keys first, then values, in a
    // dictionary); objectCount() when it points nowhere.
    quint64 reference(const Object &container, quint64 n) const;
    // The value stored under an ASCII key (the first of equal keys); Broken when there is none.
    Object value(const Object &dictionary, QLatin1StringView key) const;
    // The values of several keys found in one pass over the dictionary: out[i] for keys[i].
    void values(const Object &dictionary, const QLatin1StringView *keys, int count, Object *out) const;

    // An integer (unsigned up to 8 bytes as stored; 16-byte ones by their low half) or a real
    // rounded toward zero and held within range.
    static bool number(const Object &object, qint64 *out);
    static quint64 uid(const Object &object);
    // The bytes of Data and AsciiString objects.
    static QByteArrayView bytes(const Object &object);
    // The text of either string kind.
    static QString text(const Object &object);

private:
    const uchar *m_data = nullptr;
    quint64 m_objectsEnd = 0;   // no object reaches into the offset table
    quint64 m_tableAt = 0;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_root = 0;
};

#pragma once

#include "plist/Export.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSharedPointer>
#include <QString>

// One property-list value (string, number, boolean, data, date, dictionary, array), backed by
// a libplist node. Copies share the node. A value created here is owned and freed with its
// last copy. Values borrowed from a container (value(), at(), keys()) and values put into one
// (setValue(), append()) keep the container's tree alive, so every wrapper stays valid while it
// lives; wrappers of a dictionary entry that gets replaced move to a copy of the old value.
// Every accessor returns its default for a value of another type, never touching the node as
// the wrong type. Wrappers of one tree belong to one thread at a time: even reading a child
// records its wrapper in the tree.
class PARLEWICK_PLIST_EXPORT CFType
{
public:
    enum PlistFormat { XmlFormat = 100, BinaryFormat = 200 };

    CFType();                                  // null
    explicit CFType(const QString &text);      // string
    explicit CFType(const char *text);         // string (UTF-8)
    explicit CFType(const QByteArray &data);   // data
    static CFType fromInt64(qint64 value);
    static CFType fromDouble(double value);
    static CFType fromBool(bool value);
    static CFType fromUid(quint64 value);                 // keyed-archive reference
    static CFType fromDateTime(const QDateTime &value);   // wall-clock fields taken as GMT
    static CFType newDictionary();
    static CFType newArray();
    // Wraps a raw libplist node (plist_t); owned: freed with the last copy. A node that sits
    // inside a container is never freed here; its container's owner keeps it.
    static CFType wrap(void *node, bool owned);
    virtual ~CFType();

    bool isNull() const;
    bool isNumber() const;
    bool isBoolean() const;
    bool isString() const;
    bool isData() const;
    bool isDate() const;
    bool isDictionary() const;
    bool isArray() const;
    bool isUid() const;   // keyed-archive reference

    int toInt(int defaultValue = 0) const;
    qint64 toInt64(qint64 defaultValue = 0) const;
    double toDouble(double defaultValue = 0) const;
    bool toBool(bool defaultValue = false) const;
    quint64 toUid(quint64 defaultValue = 0) const;
    QString toQString() const;
    QByteArray toByteArray() const;
    QDateTime toDateTime() const;
    QString toDisplayString() const;
    int stringLength() const;
    int dataLength() const;

    int count() const;   // dictionary or array entries, else 0
    CFType value(const QString &key) const;
    CFType value(const CFType &key) const;
    QList<CFType> keys() const;
    CFType at(int index) const;

    // A standalone owned value moves into the container (its wrappers then share it); a value
    // that already lives in a container, is not owned, or would contain the container itself
    // goes in as a copy.
    CFType &setValue(const QString &key, const CFType &value);
    CFType &setValue(const CFType &key, const CFType &value);
    CFType &append(const CFType &value);
    // Replaces an array's entry; an index out of range changes nothing.
    CFType &setAt(int index, const CFType &value);

    QByteArray toPlistData(int format = XmlFormat) const;
    static CFType fromPlistData(const QByteArray &data);
    // Null when the file is missing, damaged or no regular file (never waits on a FIFO).
    static CFType fromPlistFile(const QString &path);
    static CFType deepCopy(const CFType &other);

    void *ref() const;   // the plist_t, or null

private:
    struct Holder;
    explicit CFType(const QSharedPointer<Holder> &holder);
    CFType borrowed(void *node) const;
    void *adoptOrCopy(const CFType &value) const;
    void detachWrappersOf(void *node) const;

    QSharedPointer<Holder> m_holder;
};

#include "plist/CFType.h"

#include "app/RegularFile.h"
#include "plist/PlistInputCheck.h"

#include <QFile>
#include <QHash>
#include <QTimeZone>
#include <QtDebug>

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 GMT.
constexpr qint64 ReferenceDateOffset = 978307200;
// No property list of a phone or a backup comes near this.
constexpr qint64 kMaxPlistFileBytes = 256LL * 1024 * 1024;

template <typename T>
T saturatedCast(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    if (value <= double(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return T(value);
}

plist_type typeOf(plist_t node)
{
    return node ? plist_get_node_type(node) : PLIST_NONE;
}

qint64 integerOf(plist_t node)
{
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return qint64(value);
}

double realOf(plist_t node)
{
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
}

bool isWithin(plist_t node, plist_t ancestor)
{
    for (plist_t n = node; n; n = plist_get_parent(n)) {
        if (n == ancestor)
            return true;
    }
    return false;
}

// Pairs every node of a tree (keys included) with its counterpart in a copy of that tree.
QHash<plist_t, plist_t> correspondingNodes(plist_t original, plist_t copy)
{
    QHash<plist_t, plist_t> map;
    QList<std::pair<plist_t, plist_t>> todo{{original, copy}};
    while (!todo.isEmpty()) {
        const auto [a, b] = todo.takeLast();
        map.insert(a, b);
        const plist_type type = plist_get_node_type(a);
        if (type != PLIST_ARRAY && type != PLIST_DICT)
            continue;
        plist_dict_iter ia = nullptr;
        plist_dict_iter ib = nullptr;
        if (type == PLIST_ARRAY) {
            plist_array_new_iter(a, &ia);
            plist_array_new_iter(b, &ib);
        } else {
            plist_dict_new_iter(a, &ia);
            plist_dict_new_iter(b, &ib);
        }
        for (;;) {
            plist_t va = nullptr;
            plist_t vb = nullptr;
            if (type == PLIST_ARRAY) {
                plist_array_next_item(a, ia, &va);
                plist_array_next_item(b, ib, &vb);
            } else {
                plist_dict_next_item(a, ia, nullptr, &va);
                plist_dict_next_item(b, ib, nullptr, &vb);
            }
            if (!va || !vb)
                break;
            todo.append({va, vb});
            if (type == PLIST_DICT)
                map.insert(plist_dict_item_get_key(va), plist_dict_item_get_key(vb));
        }
        std::free(ia);
        std::free(ib);
    }
    return map;
}

}   // namespace

// A node and who frees it. A holder of a node inside a tree keeps the holder above it alive
// (keeper); the holder at the top of the chain lists every holder of its tree (members), so
// that wrappers of a subtree about to be freed by a replacement can be moved to a copy.
struct CFType::Holder
{
    plist_t node = nullptr;
    bool owned = false;
    QSharedPointer<Holder> keeper;
    QList<QWeakPointer<Holder>> members;
    qsizetype pruneAt = 64;

    ~Holder()
    {
        if (owned && node)
            plist_free(node);
    }

    Holder *top()
    {
        Holder *h = this;
        while (h->keeper)
            h = h->keeper.data();
        return h;
    }

    void enlist(const QWeakPointer<Holder> &member)
    {
        members.append(member);
        if (members.size() < pruneAt)
            return;
        members.removeIf([](const QWeakPointer<Holder> &m) { return m.isNull(); });
        pruneAt = std::max<qsizetype>(64, members.size() * 2);
    }
};

CFType::CFType() = default;

CFType::CFType(const QSharedPointer<Holder> &holder)
    : m_holder(holder)
{
}

CFType::CFType(const QString &text)
    : CFType(wrap(plist_new_string(text.toUtf8().constData()), true))
{
}

CFType::CFType(const char *text)
    : CFType(wrap(plist_new_string(text ? text : ""), true))
{
}

CFType::CFType(const QByteArray &data)
    : CFType(wrap(plist_new_data(data.constData(), quint64(data.size())), true))
{
}

CFType::~CFType() = default;

CFType CFType::fromInt64(qint64 value)
{
    // Negative values are kept as their two's complement; the writers emit them signed.
    return wrap(plist_new_uint(quint64(value)), true);
}

CFType CFType::fromDouble(double value)
{
    return wrap(plist_new_real(value), true);
}

CFType CFType::fromBool(bool value)
{
    return wrap(plist_new_bool(value ? 1 : 0), true);
}

CFType CFType::fromUid(quint64 value)
{
    return wrap(plist_new_uid(value), true);
}

CFType CFType::fromDateTime(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    const qint64 msecs = QDateTime(value.date(), value.time(), QTimeZone::utc()).toMSecsSinceEpoch() - ReferenceDateOffset * 1000;
    const qint64 seconds = msecs / 1000;
    // libplist takes 32-bit seconds (1933..2069); a date outside cannot be represented.
    if (seconds < std::numeric_limits<qint32>::min() || seconds > std::numeric_limits<qint32>::max())
        return {};
    return wrap(plist_new_date(qint32(seconds), qint32((msecs % 1000) * 1000)), true);
}

CFType CFType::newDictionary()
{
    return wrap(plist_new_dict(), true);
}

CFType CFType::newArray()
{
    return wrap(plist_new_array(), true);
}

CFType CFType::wrap(void *node, bool owned)
{
    if (!node)
        return {};
    auto holder = QSharedPointer<Holder>::create();
    holder->node = node;
    holder->owned = owned && !plist_get_parent(node);
    return CFType(holder);
}

void *CFType::ref() const
{
    return m_holder ? m_holder->node : nullptr;
}

bool CFType::isNull() const
{
    return !ref();
}
bool CFType::isNumber() const
{
    const plist_type type = typeOf(ref());
    return type == PLIST_UINT || type == PLIST_REAL;
}
bool CFType::isBoolean() const
{
    return typeOf(ref()) == PLIST_BOOLEAN;
}
bool CFType::isString() const
{
    // Dictionary keys are strings to callers.
    const plist_type type = typeOf(ref());
    return type == PLIST_STRING || type == PLIST_KEY;
}
bool CFType::isData() const
{
    return typeOf(ref()) == PLIST_DATA;
}
bool CFType::isDate() const
{
    return typeOf(ref()) == PLIST_DATE;
}
bool CFType::isDictionary() const
{
    return typeOf(ref()) == PLIST_DICT;
}
bool CFType::isArray() const
{
    return typeOf(ref()) == PLIST_ARRAY;
}
bool CFType::isUid() const
{
    return typeOf(ref()) == PLIST_UID;
}

// Numbers convert between integer and real like a lossy CFNumberGetValue: the converted value
// is returned even when it does not represent the stored one exactly.
int CFType::toInt(int defaultValue) const
{
    switch (typeOf(ref())) {
    case PLIST_UINT:
        return int(integerOf(ref()));
    case PLIST_REAL:
        return saturatedCast<int>(realOf(ref()));
    default:
        return defaultValue;
    }
}

qint64 CFType::toInt64(qint64 defaultValue) const
{
    switch (typeOf(ref())) {
    case PLIST_UINT:
        return integerOf(ref());
    case PLIST_REAL:
        return saturatedCast<qint64>(realOf(ref()));
    default:
        return defaultValue;
    }
}

double CFType::toDouble(double defaultValue) const
{
    switch (typeOf(ref())) {
    case PLIST_UINT:
        return double(integerOf(ref()));
    case PLIST_REAL:
        return realOf(ref());
    default:
        return defaultValue;
    }
}

bool CFType::toBool(bool defaultValue) const
{
    if (!isBoolean())
        return defaultValue;
    uint8_t value = defaultValue ? 1 : 0;
    plist_get_bool_val(ref(), &value);
    return value != 0;
}

quint64 CFType::toUid(quint64 defaultValue) const
{
    if (!isUid())
        return defaultValue;
    uint64_t value = defaultValue;
    plist_get_uid_val(ref(), &value);
    return value;
}

QString CFType::toQString() const
{
    switch (typeOf(ref())) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(ref(), &length);
        return text ? QString::fromUtf8(text, qsizetype(length)) : QString();
    }
    case PLIST_KEY: {
        char *text = nullptr;
        plist_get_key_val(ref(), &text);
        const QString result = QString::fromUtf8(text);
        std::free(text);
        return result;
    }
    default:
        return {};
    }
}

QByteArray CFType::toByteArray() const
{
    if (!isData())
        return {};
    uint64_t length = 0;
    const char *bytes = plist_get_data_ptr(ref(), &length);
    return bytes && length ? QByteArray(bytes, qsizetype(length)) : QByteArray();
}

QDateTime CFType::toDateTime() const
{
    if (!isDate())
        return {};
    int32_t seconds = 0;
    int32_t micros = 0;
    plist_get_date_val(ref(), &seconds, &micros);
    // libplist truncates towards zero and hands out the fraction's magnitude; cut the fraction
    // off towards the past instead, as calendar fields do.
    qint64 whole = seconds;
    if (seconds < 0 && micros > 0)
        --whole;
    // The GMT wall-clock fields, labelled as local time on purpose.
    const QDateTime gmt = QDateTime::fromSecsSinceEpoch(whole + ReferenceDateOffset, QTimeZone::utc());
    return QDateTime(gmt.date(), gmt.time());
}

QString CFType::toDisplayString() const
{
    switch (typeOf(ref())) {
    case PLIST_STRING:
    case PLIST_KEY:
        return toQString();
    case PLIST_UINT:
        return QString::number(toInt64());
    case PLIST_REAL:
        return QString::number(toDouble(), 'g', 6);
    case PLIST_BOOLEAN:
        return toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case PLIST_DATE:
        return toDateTime().toString();
    case PLIST_DATA:
        return QString::fromUtf8(toByteArray());
    default:
        return {};
    }
}

int CFType::stringLength() const
{
    return int(toQString().size());
}

int CFType::dataLength() const
{
    if (!isData())
        return 0;
    uint64_t length = 0;
    plist_get_data_ptr(ref(), &length);
    return int(length);
}

int CFType::count() const
{
    switch (typeOf(ref())) {
    case PLIST_DICT:
        return int(plist_dict_get_size(ref()));
    case PLIST_ARRAY:
        return int(plist_array_get_size(ref()));
    default:
        return 0;
    }
}

CFType CFType::borrowed(void *node) const
{
    if (!node)
        return {};
    auto holder = QSharedPointer<Holder>::create();
    holder->node = node;
    holder->keeper = m_holder;
    m_holder->top()->enlist(holder);
    return CFType(holder);
}

CFType CFType::value(const QString &key) const
{
    if (!isDictionary())
        return {};
    return borrowed(plist_dict_get_item(ref(), key.toUtf8().constData()));
}

CFType CFType::value(const CFType &key) const
{
    return key.isString() ? value(key.toQString()) : CFType();
}

QList<CFType> CFType::keys() const
{
    QList<CFType> result;
    if (!isDictionary())
        return result;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(ref(), &it);
    for (;;) {
        plist_t item = nullptr;
        plist_dict_next_item(ref(), it, nullptr, &item);
        if (!item)
            break;
        result.append(borrowed(plist_dict_item_get_key(item)));
    }
    std::free(it);
    return result;
}

CFType CFType::at(int index) const
{
    if (!isArray() || index < 0 || quint32(index) >= plist_array_get_size(ref()))
        return {};
    return borrowed(plist_array_get_item(ref(), quint32(index)));
}

// Returns the node to insert into this container: the value's own node when it is a standalone
// owned value (from now on this tree frees it), otherwise a copy.
void *CFType::adoptOrCopy(const CFType &value) const
{
    const plist_t node = value.ref();
    Holder *holder = value.m_holder.data();
    const bool standalone = holder->owned && !plist_get_parent(node) && !isWithin(ref(), node);
    if (!standalone)
        return plist_copy(node);
    holder->owned = false;
    holder->keeper = m_holder;
    Holder *top = m_holder->top();
    top->enlist(value.m_holder);
    for (const QWeakPointer<Holder> &member : std::as_const(holder->members))
        top->enlist(member);
    holder->members.clear();
    return node;
}

// libplist frees a replaced dictionary entry; wrappers of it or of anything inside it move to
// a copy, so they keep reading what they read before.
void CFType::detachWrappersOf(void *node) const
{
    Holder *top = m_holder->top();
    QList<QSharedPointer<Holder>> inside;
    QList<QWeakPointer<Holder>> outside;
    for (const QWeakPointer<Holder> &member : std::as_const(top->members)) {
        const QSharedPointer<Holder> holder = member.toStrongRef();
        if (!holder)
            continue;
        if (isWithin(holder->node, node))
            inside.append(holder);
        else
            outside.append(member);
    }
    top->members = outside;
    if (inside.isEmpty())
        return;

    const plist_t copy = plist_copy(node);
    const QHash<plist_t, plist_t> counterpart = correspondingNodes(node, copy);
    QSharedPointer<Holder> newTop;
    for (const QSharedPointer<Holder> &holder : std::as_const(inside)) {
        if (holder->node == node)
            newTop = holder;
    }
    if (!newTop)
        newTop = QSharedPointer<Holder>::create();
    newTop->node = copy;
    newTop->owned = true;
    newTop->keeper.reset();
    for (const QSharedPointer<Holder> &holder : std::as_const(inside)) {
        if (holder == newTop)
            continue;
        holder->node = counterpart.value(holder->node);
        holder->owned = false;
        holder->keeper = newTop;
        newTop->enlist(holder);
    }
}

CFType &CFType::setValue(const QString &key, const CFType &value)
{
    if (!isDictionary() || value.isNull())
        return *this;
    const QByteArray utf8 = key.toUtf8();
    const plist_t old = plist_dict_get_item(ref(), utf8.constData());
    if (old && old == value.ref())
        return *this;
    const plist_t item = adoptOrCopy(value);
    if (old)
        detachWrappersOf(old);
    plist_dict_set_item(ref(), utf8.constData(), item);
    return *this;
}

CFType &CFType::setValue(const CFType &key, const CFType &value)
{
    if (key.isString())
        setValue(key.toQString(), value);
    return *this;
}

CFType &CFType::append(const CFType &value)
{
    if (isArray() && !value.isNull())
        plist_array_append_item(ref(), adoptOrCopy(value));
    return *this;
}

CFType &CFType::setAt(int index, const CFType &value)
{
    if (!isArray() || value.isNull() || index < 0 || quint32(index) >= plist_array_get_size(ref()))
        return *this;
    const plist_t old = plist_array_get_item(ref(), quint32(index));
    if (old == value.ref())
        return *this;
    const plist_t item = adoptOrCopy(value);
    detachWrappersOf(old);
    plist_array_set_item(ref(), item, quint32(index));
    return *this;
}

QByteArray CFType::toPlistData(int format) const
{
    if (isNull() || (format != XmlFormat && format != BinaryFormat))
        return {};
    char *bytes = nullptr;
    uint32_t length = 0;
    QByteArray result;
    if (format == XmlFormat) {
        plist_to_xml(ref(), &bytes, &length);
        result = QByteArray(bytes, bytes ? qsizetype(length) : 0);
        plist_to_xml_free(bytes);
    } else {
        plist_to_bin(ref(), &bytes, &length);
        result = QByteArray(bytes, bytes ? qsizetype(length) : 0);
        plist_to_bin_free(bytes);
    }
    return result;
}

CFType CFType::fromPlistData(const QByteArray &data)
{
    if (data.isEmpty() || quint64(data.size()) > std::numeric_limits<uint32_t>::max())
        return {};
    if (!PlistInputCheck::withinLimits(data))
        return {};
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    return wrap(root, true);
}

CFType CFType::fromPlistFile(const QString &path)
{
    try {
        return fromPlistData(readRegularFileThrow(path, kMaxPlistFileBytes));
    } catch (const std::runtime_error &error) {
        qDebug() << error.what();
        return {};
    }
}

CFType CFType::deepCopy(const CFType &other)
{
    return other.isNull() ? CFType() : wrap(plist_copy(other.ref()), true);
}

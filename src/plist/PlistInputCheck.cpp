#include "plist/PlistInputCheck.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace PlistInputCheck {
namespace {

// Follows the parser's own reading of markup: comments, CDATA sections, processing instructions
// and DOCTYPE declarations hold no elements, and quoted text inside markup may hold '<' and '>'.
// Anything the parser would stumble over is refused here too, so the count is never short.
class XmlNesting
{
public:
    explicit XmlNesting(const QByteArray &data)
        : m_p(data.constData())
        , m_size(data.size())
    {
    }

    bool withinLimits()
    {
        while (m_pos < m_size) {
            if (m_p[m_pos++] != '<')
                continue;
            if (m_pos >= m_size)
                return false;
            const char c = m_p[m_pos];
            const bool ok = c == '?' ? skipPast("?>", true) : c == '!' ? skipDeclaration() : element();
            if (!ok)
                return false;
        }
        return true;
    }

private:
    bool at(const char *text) const
    {
        const qsizetype len = qsizetype(std::strlen(text));
        return m_pos + len <= m_size && std::memcmp(m_p + m_pos, text, size_t(len)) == 0;
    }
    // Moves past the next quote; false at the end.
    bool skipQuoted()
    {
        const void *close = std::memchr(m_p + m_pos + 1, '"', size_t(m_size - m_pos - 1));
        if (!close)
            return false;
        m_pos = static_cast<const char *>(close) - m_p + 1;
        return true;
    }
    bool skipPast(const char *end, bool quotes)
    {
        while (m_pos < m_size) {
            if (at(end)) {
                m_pos += qsizetype(std::strlen(end));
                return true;
            }
            if (quotes && m_p[m_pos] == '"') {
                if (!skipQuoted())
                    return false;
                continue;
            }
            ++m_pos;
        }
        return false;
    }
    bool skipDeclaration()
    {
        if (at("!--")) {
            m_pos += 3;
            return skipPast("-->", false);
        }
        if (at("![CDATA[")) {
            m_pos += 8;
            return skipPast("]]>", false);
        }
        if (!at("!DOCTYPE"))
            return false;
        m_pos += 8;
        while (m_pos < m_size) {
            const char c = m_p[m_pos];
            if (c == '"') {
                if (!skipQuoted())
                    return false;
            } else if (c == '>') {
                ++m_pos;
                return true;
            } else if (c == '[') {
                return skipPast("]>", true);
            } else {
                ++m_pos;
            }
        }
        return false;
    }
    bool element()
    {
        const qsizetype nameAt = m_pos;
        while (m_pos < m_size && !std::strchr(" \r\n\t<>", m_p[m_pos]))
            ++m_pos;
        QByteArray name(m_p + nameAt, m_pos - nameAt);
        while (m_pos < m_size && m_p[m_pos] != '>') {
            if (m_p[m_pos] == '<')
                return false;
            if (m_p[m_pos] == '"') {
                if (!skipQuoted())
                    return false;
                continue;
            }
            ++m_pos;
        }
        if (m_pos >= m_size)
            return false;
        const bool empty = m_p[m_pos - 1] == '/';
        ++m_pos;
        if (empty && name.endsWith('/'))
            name.chop(1);
        if (name.startsWith('/')) {
            if (!isContainer(name.mid(1)))
                return true;
            if (m_open.isEmpty() || m_open.last() != name.mid(1))
                return false;   // the parser refuses a closing tag that does not match
            m_open.removeLast();
            return true;
        }
        if (!isContainer(name) || empty)
            return true;
        m_open.append(name);
        return m_open.size() <= MaxDepth;
    }
    static bool isContainer(const QByteArray &name) { return name == "array" || name == "dict"; }

    const char *m_p;
    qsizetype m_size;
    qsizetype m_pos = 0;
    QList<QByteArray> m_open;
};

quint64 readBigEndian(const uchar *p, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The binary layout: "bplist00", the objects, the offset table, and a 32-byte trailer.
class BinaryPlist
{
public:
    explicit BinaryPlist(const QByteArray &data)
        : m_data(reinterpret_cast<const uchar *>(data.constData()))
        , m_size(quint64(data.size()))
    {
    }

    bool withinLimits()
    {
        if (!readTrailer())
            return false;
        m_state.fill(Unvisited, qsizetype(m_objectCount));
        m_expanded.fill(0, qsizetype(m_objectCount));
        return walkFromRoot();
    }

private:
    enum State : uchar { Unvisited, Open, Done };

    struct Frame
    {
        quint64 object;
        quint64 refsAt;   // position of the reference list
        quint64 refCount;
        quint64 next;   // index of the next reference to follow
    };

    bool readTrailer()
    {
        if (m_size < 8 + 32)
            return false;
        const uchar *t = m_data + m_size - 32;
        m_offsetSize = t[6];
        m_refSize = t[7];
        m_objectCount = readBigEndian(t + 8, 8);
        m_root = readBigEndian(t + 16, 8);
        m_tableAt = readBigEndian(t + 24, 8);
        const quint64 objectsEnd = m_size - 32;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        if (m_objectCount == 0 || m_root >= m_objectCount || m_tableAt < 8 || m_tableAt > objectsEnd)
            return false;
        return m_objectCount <= (objectsEnd - m_tableAt) / m_offsetSize;
    }

    // Fills the reference list of a container object (none for other objects); false for a
    // broken object and for a text holding a zero character.
    bool containerRefs(quint64 object, quint64 *refsAt, quint64 *refCount) const
    {
        const quint64 offset = readBigEndian(m_data + m_tableAt + object * m_offsetSize, m_offsetSize);
        const quint64 objectsEnd = m_size - 32;
        if (offset < 8 || offset >= objectsEnd)
            return false;
        const uchar marker = m_data[offset];
        const int type = marker >> 4;
        *refCount = 0;
        *refsAt = offset + 1;
        const bool text = type == 0x5 || type == 0x6;
        if (type != 0xA && type != 0xC && type != 0xD && !text)
            return true;
        quint64 count = marker & 0x0F;
        if (count == 0x0F) {
            if (*refsAt >= objectsEnd || (m_data[*refsAt] >> 4) != 0x1)
                return false;
            const int sizeBytes = 1 << (m_data[*refsAt] & 0x0F);
            if (sizeBytes > 8 || *refsAt + 1 + quint64(sizeBytes) > objectsEnd)
                return false;
            count = readBigEndian(m_data + *refsAt + 1, sizeBytes);
            *refsAt += 1 + quint64(sizeBytes);
        }
        if (text)
            return withoutZero(*refsAt, count, type == 0x6 ? 2 : 1);
        if (type == 0xD) {
            if (count > (objectsEnd - *refsAt) / 2)
                return false;
            count *= 2;
        }
        if (count > (objectsEnd - *refsAt) / m_refSize)
            return false;
        *refCount = count;
        return true;
    }

    // The parser copies a text (ASCII, or UTF-16 it converts) only up to a zero but keeps its
    // whole length, so every later read of the copy ran past it, and it asserts on such a key.
    bool withoutZero(quint64 at, quint64 count, int unit) const
    {
        if (count > (m_size - 32 - at) / quint64(unit))
            return false;
        for (const uchar *c = m_data + at, *end = c + count * quint64(unit); c < end; c += unit) {
            if (c[0] == 0 && (unit == 1 || c[1] == 0))
                return false;
        }
        return true;
    }

    bool walkFromRoot()
    {
        // A list without shared containers expands to at most one node per reference it stores;
        // writers that share containers stay far below two million nodes.
        const quint64 nodeLimit = std::max<quint64>(m_size, quint64(1) << 21);
        QList<Frame> stack;
        if (!push(stack, m_root))
            return false;
        while (!stack.isEmpty()) {
            Frame &top = stack.last();
            if (top.next == top.refCount) {
                m_state[qsizetype(top.object)] = Done;
                const quint64 total = m_expanded[qsizetype(top.object)];
                stack.removeLast();
                if (!stack.isEmpty()) {
                    quint64 &parent = m_expanded[qsizetype(stack.last().object)];
                    parent = std::min(nodeLimit + 1, parent + total);
                    if (parent > nodeLimit)
                        return false;
                }
                continue;
            }
            const quint64 child = readBigEndian(m_data + top.refsAt + top.next * m_refSize, m_refSize);
            ++top.next;
            if (child >= m_objectCount)
                return false;
            switch (m_state[qsizetype(child)]) {
            case Open:
                return false;   // a cycle
            case Done: {
                quint64 &parent = m_expanded[qsizetype(top.object)];
                parent = std::min(nodeLimit + 1, parent + m_expanded[qsizetype(child)]);
                if (parent > nodeLimit)
                    return false;
                break;
            }
            case Unvisited:
                if (stack.size() >= MaxDepth || !push(stack, child))
                    return false;
                break;
            }
        }
        return m_expanded[qsizetype(m_root)] <= nodeLimit;
    }

    bool push(QList<Frame> &stack, quint64 object)
    {
        Frame frame{object, 0, 0, 0};
        if (!containerRefs(object, &frame.refsAt, &frame.refCount))
            return false;
        m_state[qsizetype(object)] = Open;
        m_expanded[qsizetype(object)] = 1;
        stack.append(frame);
        return true;
    }

    const uchar *m_data;
    quint64 m_size;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_root = 0;
    quint64 m_tableAt = 0;
    QList<State> m_state;
    QList<quint64> m_expanded;
};

}   // namespace

bool withinLimits(const QByteArray &data)
{
    // The parser takes exactly this magic for binary and everything else for XML.
    if (data.startsWith("bplist00"))
        return BinaryPlist(data).withinLimits();
    // XML has no zero byte. The parser keeps a text's length up to its closing tag but copies
    // the text only up to a zero, so every later read of it ran past the copy. Zeros after the
    // markup (padding) are harmless.
    const qsizetype markupEnd = data.lastIndexOf('>');
    if (markupEnd > 0 && std::memchr(data.constData(), 0, size_t(markupEnd)))
        return false;
    return XmlNesting(data).withinLimits();
}

}   // namespace PlistInputCheck

#include "itunes/ManifestDb.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "app/RegularFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <numeric>

namespace {

const char kHeader[6] = {'m', 'b', 'd', 'b', 0x05, 0x00};
constexpr int kFixedFieldBytes = 2 + 8 + 5 * 4 + 8 + 1 + 1;

// Bounds-checked big-endian reads over the file image; any read past the end fails.
class Cursor
{
public:
    Cursor(const uchar *begin, const uchar *end)
        : m_pos(begin)
        , m_end(end)
    {
    }

    bool atEnd() const { return m_pos == m_end; }
    bool has(qsizetype n) const { return m_end - m_pos >= n; }
    const uchar *pos() const { return m_pos; }

    // Callers check has() first.
    quint8 u8() { return *m_pos++; }
    quint16 u16()
    {
        const quint16 v = quint16(m_pos[0] << 8 | m_pos[1]);
        m_pos += 2;
        return v;
    }
    quint32 u32()
    {
        const quint32 v = quint32(m_pos[0]) << 24 | quint32(m_pos[1]) << 16 | quint32(m_pos[2]) << 8 | m_pos[3];
        m_pos += 4;
        return v;
    }
    quint64 u64()
    {
        const quint64 high = u32();
        return high << 32 | u32();
    }

    bool string(MbdbString &out)
    {
        if (!has(2))
            return false;
        const quint16 length = u16();
        if (length == 0 || length == MbdbString::kAbsent) {
            out.emptyWord = length;
            return true;
        }
        if (!has(length))
            return false;
        out.bytes = QByteArray(reinterpret_cast<const char *>(m_pos), length);
        m_pos += length;
        return true;
    }

private:
    const uchar *m_pos;
    const uchar *m_end;
};

bool readRecord(Cursor &in, MbdbRecord &rec)
{
    if (!in.string(rec.domain) || !in.string(rec.path) || !in.string(rec.linkTarget) || !in.string(rec.dataHash)
        || !in.string(rec.encryptionKey) || !in.has(kFixedFieldBytes))
        return false;
    rec.mode = in.u16();
    rec.inodeHigh = in.u32();
    rec.inodeLow = in.u32();
    rec.userId = in.u32();
    rec.groupId = in.u32();
    rec.modificationTime = in.u32();
    rec.accessTime = in.u32();
    rec.changeTime = in.u32();
    rec.size = in.u64();
    rec.protectionClass = in.u8();
    const int propertyCount = in.u8();
    rec.properties.reserve(propertyCount);
    for (int i = 0; i < propertyCount; ++i) {
        QPair<MbdbString, MbdbString> property;
        if (!in.string(property.first) || !in.string(property.second))
            return false;
        rec.properties.append(property);
    }
    return true;
}

QString hexSha1(QCryptographicHash &hash, const QByteArray &domain, const QByteArray &path)
{
    hash.reset();
    hash.addData(domain);
    hash.addData(QByteArrayView("-", 1));
    hash.addData(path);
    return QString::fromLatin1(hash.result().toHex());
}

class Writer
{
public:
    explicit Writer(QByteArray &out)
        : m_out(out)
    {
    }

    void u8(quint8 v) { m_out.append(char(v)); }
    void u16(quint16 v)
    {
        u8(quint8(v >> 8));
        u8(quint8(v));
    }
    void u32(quint32 v)
    {
        u16(quint16(v >> 16));
        u16(quint16(v));
    }
    void u64(quint64 v)
    {
        u32(quint32(v >> 32));
        u32(quint32(v));
    }
    void string(const MbdbString &s)
    {
        // 0xFFFF is taken by "empty": longer strings cannot be written.
        if (s.bytes.size() >= MbdbString::kAbsent)
            failWith(QStringLiteral("A name in Manifest.mbdb is too long to be written."));
        u16(s.lengthWord());
        m_out.append(s.bytes);
    }

private:
    QByteArray &m_out;
};

void writeRecord(Writer &out, const MbdbRecord &rec)
{
    out.string(rec.domain);
    out.string(rec.path);
    out.string(rec.linkTarget);
    out.string(rec.dataHash);
    out.string(rec.encryptionKey);
    out.u16(rec.mode);
    out.u32(rec.inodeHigh);
    out.u32(rec.inodeLow);
    out.u32(rec.userId);
    out.u32(rec.groupId);
    out.u32(rec.modificationTime);
    out.u32(rec.accessTime);
    out.u32(rec.changeTime);
    out.u64(rec.size);
    out.u8(rec.protectionClass);
    if (rec.properties.size() > 0xFF)
        failWith(QStringLiteral("A record of Manifest.mbdb has too many properties to be written."));
    out.u8(quint8(rec.properties.size()));
    for (const auto &property : rec.properties) {
        out.string(property.first);
        out.string(property.second);
    }
}

quint32 unixSeconds(const QDateTime &time)
{
    const qint64 secs = time.isValid() ? time.toSecsSinceEpoch() : 0;
    return quint32(std::clamp<qint64>(secs, 0, 0xFFFFFFFFLL));
}

// Raw SHA-1 of a file's content, empty when it cannot be read.
QByteArray fileSha1(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result();
}

}   // namespace

QString backupFileName(const QByteArray &domainUtf8, const QByteArray &pathUtf8)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return hexSha1(hash, domainUtf8, pathUtf8);
}

QString backupFileName(const QString &domain, const QString &path)
{
    return backupFileName(domain.toUtf8(), path.toUtf8());
}

MbdbIndex parseManifestDb(const QByteArray &data, const QString &sourceName)
{
    if (!data.startsWith(QByteArrayView(kHeader, 4)) || data.size() < qsizetype(sizeof kHeader))
        failWith(QStringLiteral("%1 is not an iTunes Backup manifest.").arg(sourceName));

    const auto *begin = reinterpret_cast<const uchar *>(data.constData());
    Cursor in(begin + sizeof kHeader, begin + data.size());
    QCryptographicHash hash(QCryptographicHash::Sha1);
    MbdbIndex index;
    index.reserve(data.size() / 128);
    while (!in.atEnd()) {
        const qsizetype offset = in.pos() - begin;
        MbdbRecord rec;
        if (!readRecord(in, rec)) {
            failWith(QStringLiteral("%1 is damaged: the record at byte %2 is cut short.").arg(sourceName).arg(offset));
        }
        index.insert(hexSha1(hash, rec.domain.bytes, rec.path.bytes), std::move(rec));
    }
    return index;
}

MbdbIndex readManifestDb(const QString &path)
{
    QFile file;
    openRegularFileThrow(file, path);
    const qint64 expected = file.size();
    const QByteArray data = file.readAll();
    if (data.size() != expected)
        failWith(QStringLiteral("can not read %1. %2").arg(path, file.errorString()));
    return parseManifestDb(data, path);
}

QList<MbdbIndex::const_iterator> sortedRecords(const MbdbIndex &index)
{
    // Sorting half a million records by their strings means chasing pointers on every
    // comparison; compact keys (the domain's rank, the path's first bytes) settle most of them.
    constexpr int kHeadWords = 3;
    struct Key
    {
        quint32 domain;             // first an arrival number, then the rank
        quint64 head[kHeadWords];   // first bytes of the path, big-endian, zero-padded
        QByteArrayView path;
        MbdbIndex::const_iterator it;
    };
    QHash<QByteArrayView, quint32> domainNumbers;
    QList<QByteArrayView> domains;
    QList<Key> keys;
    keys.reserve(index.size());
    for (auto it = index.cbegin(); it != index.cend(); ++it) {
        const QByteArrayView domain(it->domain.bytes);
        auto number = domainNumbers.constFind(domain);
        if (number == domainNumbers.cend()) {
            number = domainNumbers.insert(domain, quint32(domains.size()));
            domains.append(domain);
        }
        Key key{*number, {}, QByteArrayView(it->path.bytes), it};
        for (qsizetype i = 0; i < 8 * kHeadWords; ++i)
            key.head[i / 8] = key.head[i / 8] << 8 | (i < key.path.size() ? uchar(key.path[i]) : 0);
        keys.append(key);
    }
    QList<quint32> byName(domains.size());
    std::iota(byName.begin(), byName.end(), 0u);
    std::sort(byName.begin(), byName.end(), [&](quint32 a, quint32 b) { return domains[a] < domains[b]; });
    QList<quint32> rank(domains.size());
    for (qsizetype i = 0; i < byName.size(); ++i)
        rank[byName[i]] = quint32(i);
    for (Key &key : keys)
        key.domain = rank[key.domain];

    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        if (a.domain != b.domain)
            return a.domain < b.domain;
        for (int i = 0; i < kHeadWords; ++i) {
            if (a.head[i] != b.head[i])
                return a.head[i] < b.head[i];
        }
        return a.path < b.path;
    });
    QList<MbdbIndex::const_iterator> records;
    records.reserve(keys.size());
    for (const Key &key : std::as_const(keys))
        records.append(key.it);
    return records;
}

QByteArray serializeManifestDb(const MbdbIndex &index)
{
    QByteArray out;
    out.reserve(sizeof kHeader + index.size() * 128);
    out.append(kHeader, sizeof kHeader);
    Writer writer(out);
    for (const auto &it : sortedRecords(index))
        writeRecord(writer, it.value());
    return out;
}

void writeManifestDb(const MbdbIndex &index, const QString &path)
{
    const QByteArray data = serializeManifestDb(index);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        failWith(QStringLiteral("can not write %1. %2").arg(path, fileWriteReason(file)));
}

void addFileRecord(MbdbIndex &index, const QString &localFile, const QString &domain, const QString &path,
                   const QByteArray &knownDigest)
{
    const QFileInfo info(localFile);
    const quint32 modified = unixSeconds(info.lastModified());
    const QDateTime birth = info.birthTime();
    const quint32 created = birth.isValid() ? unixSeconds(birth) : modified;

    quint32 lastInode = 0;
    for (const MbdbRecord &rec : std::as_const(index))
        lastInode = std::max(lastInode, rec.inodeLow);

    auto newRecord = [&](const QString &recordPath, quint16 mode) {
        MbdbRecord rec;
        rec.domain = domain.toUtf8();
        rec.path = recordPath.toUtf8();
        rec.mode = mode;
        rec.inodeLow = ++lastInode;
        rec.userId = 501;
        rec.groupId = 501;
        rec.modificationTime = modified;
        rec.accessTime = modified;
        rec.changeTime = created;
        rec.protectionClass = 4;
        return rec;
    };

    // Ancestor folders, deepest first; the domain root itself is never added.
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype depth = parts.size() - 1; depth >= 1; --depth) {
        const QString folder = parts.mid(0, depth).join(QLatin1Char('/'));
        const QString key = backupFileName(domain, folder);
        if (!index.contains(key))
            index.insert(key, newRecord(folder, 040700));
    }

    const QString key = backupFileName(domain, path);
    auto it = index.find(key);
    if (it == index.end())
        it = index.insert(key, newRecord(path, 0100644));
    MbdbRecord &rec = it.value();
    rec.dataHash = knownDigest.isEmpty() ? fileSha1(localFile) : knownDigest;
    rec.modificationTime = modified;
    rec.accessTime = modified;
    rec.changeTime = created;
    // The record must describe the bytes now in the backup, or extraction would cut them.
    rec.size = quint64(std::max<qint64>(info.size(), 0));
}

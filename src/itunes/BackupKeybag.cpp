#include "itunes/BackupKeybag.h"

#include "app/AppError.h"
#include "itunes/BackupCrypto.h"

#include <QList>

namespace {

constexpr int kPasswordKeyBytes = 32;
constexpr int kSaltBytes = 20;
constexpr int kWrappedKeyBytes = 40;
constexpr quint32 kWrapPassword = 2;
// Far above what phones use (ITER 10,000, DPIC 10,000,000): a forged count would freeze the
// program for hours in a derivation that cannot be interrupted.
constexpr quint32 kMaxIterations = 10000000;
constexpr quint32 kMaxSha256Iterations = 50000000;

quint32 littleEndian32(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

}   // namespace

BackupKeybag::~BackupKeybag()
{
    forgetKeys();
}

quint32 BackupKeybag::number(const QByteArray &value)
{
    if (value.size() != 4)
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(value.constData());
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

void BackupKeybag::damaged(const QString &reason) const
{
    const QString where = m_sourceName.isEmpty() ? QStringLiteral("The keybag of this iTunes Backup")
                                                 : QStringLiteral("The keybag in %1").arg(m_sourceName);
    failWith(QStringLiteral("%1 is damaged: %2.").arg(where, reason));
}

BackupKeybag BackupKeybag::parseKeybag(const QByteArray &blob, const QString &sourceName)
{
    static const QList<QByteArray> classTags = {"CLAS", "WPKY", "KTYP", "PBKY"};
    BackupKeybag bag;
    bag.m_sourceName = sourceName;
    TagMap current;
    bool inClass = false;
    auto storeCurrent = [&] {
        if (inClass)
            bag.m_classes.insert(number(current.value("CLAS")), current);
    };
    qsizetype pos = 0;
    while (pos < blob.size()) {
        if (blob.size() - pos < 8)
            bag.damaged(QStringLiteral("the record at byte %1 is cut short").arg(pos));
        const QByteArray tag = blob.mid(pos, 4);
        const quint32 length = number(blob.mid(pos + 4, 4));
        if (quint64(blob.size() - pos - 8) < length)
            bag.damaged(QStringLiteral("the record at byte %1 is cut short").arg(pos));
        pos += 8;
        const QByteArray value = blob.mid(pos, length);
        pos += length;
        if (tag == "UUID" && bag.m_attributes.contains(tag)) {
            storeCurrent();
            current = TagMap{{tag, value}};
            inClass = true;
        } else if (tag == "WRAP" && bag.m_attributes.contains(tag)) {
            current.insert(tag, value);
        } else if (classTags.contains(tag)) {
            current.insert(tag, value);
        } else {
            bag.m_attributes.insert(tag, value);
        }
    }
    storeCurrent();
    return bag;
}

QByteArray BackupKeybag::derivePasswordKey(QByteArrayView passwordUtf8) const
{
    const QByteArray salt = m_attributes.value("SALT");
    const quint32 iterations = number(m_attributes.value("ITER"));
    if (salt.size() != kSaltBytes)
        damaged(QStringLiteral("its SALT is missing or not %1 bytes long").arg(kSaltBytes));
    if (iterations < 1 || iterations > kMaxIterations)
        damaged(QStringLiteral("its ITER is missing or out of range"));

    // iOS 10.2 and later put a slow SHA-256 stage in front; older bags lack both tags.
    const bool hasSalt256 = m_attributes.contains("DPSL");
    if (hasSalt256 != m_attributes.contains("DPIC"))
        damaged(QStringLiteral("it has only one of DPSL and DPIC"));
    QByteArray key;
    if (hasSalt256) {
        const QByteArray salt256 = m_attributes.value("DPSL");
        const quint32 iterations256 = number(m_attributes.value("DPIC"));
        if (salt256.size() != kSaltBytes)
            damaged(QStringLiteral("its DPSL is not %1 bytes long").arg(kSaltBytes));
        if (iterations256 < 1 || iterations256 > kMaxSha256Iterations)
            damaged(QStringLiteral("its DPIC is out of range"));
        QByteArray stage1 = pbkdf2HmacSha256(passwordUtf8, salt256, iterations256, kPasswordKeyBytes);
        const ScopedWipe wipeStage1(stage1);
        if (!stage1.isEmpty())
            key = pbkdf2HmacSha1(stage1, salt, iterations, kPasswordKeyBytes);
    } else {
        key = pbkdf2HmacSha1(passwordUtf8, salt, iterations, kPasswordKeyBytes);
    }
    if (key.isEmpty())
        failWith(QStringLiteral("The key of this iTunes Backup could not be derived from the password."));
    return key;
}

bool BackupKeybag::unlock(QByteArrayView passwordUtf8)
{
    forgetKeys();
    bool anyProtected = false;
    for (const TagMap &entry : std::as_const(m_classes)) {
        if (!entry.contains("WPKY") || !(number(entry.value("WRAP")) & kWrapPassword))
            continue;   // tied to the phone's hardware: stays locked
        if (entry.value("WPKY").size() != kWrappedKeyBytes)
            damaged(QStringLiteral("the key of class %1 is not %2 bytes long")
                        .arg(number(entry.value("CLAS")))
                        .arg(kWrappedKeyBytes));
        anyProtected = true;
    }
    if (!anyProtected)
        damaged(QStringLiteral("it holds no key protected by a password"));

    QByteArray passwordKey = derivePasswordKey(passwordUtf8);
    const ScopedWipe wipeKey(passwordKey);
    // A wrong password opens no class key; a key that stays shut while the same password opens
    // the others was damaged.
    int opened = 0;
    quint32 shutClass = 0;
    bool anyShut = false;
    for (TagMap &entry : m_classes) {
        if (!entry.contains("WPKY") || !(number(entry.value("WRAP")) & kWrapPassword))
            continue;
        const QByteArray key = aesKeyUnwrap(passwordKey, entry.value("WPKY"));
        if (key.isEmpty()) {
            if (!anyShut)
                shutClass = number(entry.value("CLAS"));
            anyShut = true;
            continue;
        }
        entry.insert("KEY", key);
        ++opened;
    }
    if (!anyShut)
        return true;
    forgetKeys();
    if (opened > 0)
        damaged(QStringLiteral("the key of class %1 does not open with the password that opens the others").arg(shutClass));
    return false;
}

QByteArray BackupKeybag::unwrapWithClass(quint32 protectionClass, const QByteArray &wrapped) const
{
    const QByteArray classKey = m_classes.value(protectionClass).value("KEY");
    return classKey.isEmpty() ? QByteArray() : aesKeyUnwrap(classKey, wrapped);
}

QByteArray BackupKeybag::unwrapManifestKey(const QByteArray &manifestKey) const
{
    const QString where =
        m_sourceName.isEmpty() ? QStringLiteral("of this iTunes Backup") : QStringLiteral("in %1").arg(m_sourceName);
    auto fail = [&](const QString &reason) { failWith(QStringLiteral("The ManifestKey %1 %2.").arg(where, reason)); };
    if (manifestKey.size() != 4 + kWrappedKeyBytes)
        fail(QStringLiteral("is %1 bytes long instead of %2").arg(manifestKey.size()).arg(4 + kWrappedKeyBytes));
    const quint32 protectionClass = littleEndian32(manifestKey);
    if (!m_classes.value(protectionClass).contains("KEY"))
        fail(QStringLiteral("names protection class %1, which the keybag does not unlock").arg(protectionClass));
    QByteArray key = unwrapWithClass(protectionClass, manifestKey.mid(4));
    if (key.size() != kPasswordKeyBytes) {
        wipeBytes(key);
        fail(QStringLiteral("does not unwrap with the key of class %1: it is damaged").arg(protectionClass));
    }
    return key;
}

QByteArray BackupKeybag::fileKey(quint32 protectionClass, const QByteArray &keyField) const
{
    if (keyField.size() != 4 + kWrappedKeyBytes)
        return QByteArray();
    const QByteArray wrapped = keyField.mid(4);
    // The two agree in every backup seen; a record without a class (0) still has the field's.
    const QByteArray key = unwrapWithClass(protectionClass, wrapped);
    const quint32 fieldClass = littleEndian32(keyField);
    if (!key.isEmpty() || fieldClass == protectionClass)
        return key;
    return unwrapWithClass(fieldClass, wrapped);
}

void BackupKeybag::forgetKeys()
{
    for (TagMap &entry : m_classes) {
        auto key = entry.find("KEY");
        if (key != entry.end()) {
            wipeBytes(key.value());
            entry.erase(key);
        }
    }
}

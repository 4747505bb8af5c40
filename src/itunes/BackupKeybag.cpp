#include "itunes/BackupKeybag.h"

#include "itunes/BackupCrypto.h"

#include <QList>

#include <stdexcept>

namespace {

constexpr int kPasswordKeyBytes = 32;
constexpr quint32 kWrapPassword = 2;
// Far above what phones use; a forged count would freeze the program for hours.
constexpr quint32 kMaxIterations = 10000000;

const char *const kDamaged = "The keybag of this iTunes Backup is damaged.";

} // namespace

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

BackupKeybag BackupKeybag::parseKeybag(const QByteArray &blob)
{
    static const QList<QByteArray> classTags = {"CLAS", "WPKY", "KTYP", "PBKY"};
    BackupKeybag bag;
    TagMap current;
    bool inClass = false;
    auto storeCurrent = [&] {
        if (inClass)
            bag.m_classes.insert(number(current.value("CLAS")), current);
    };
    qsizetype pos = 0;
    while (pos < blob.size()) {
        if (blob.size() - pos < 8)
            throw std::runtime_error(kDamaged);
        const QByteArray tag = blob.mid(pos, 4);
        const quint32 length = number(blob.mid(pos + 4, 4));
        pos += 8;
        if (quint64(blob.size() - pos) < length)
            throw std::runtime_error(kDamaged);
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

bool BackupKeybag::unlock(const QByteArray &passwordUtf8)
{
    forgetKeys();
    const quint32 iterations = number(m_attributes.value("ITER"));
    if (iterations > kMaxIterations)
        throw std::runtime_error(kDamaged);
    QByteArray passwordKey = pbkdf2HmacSha1(passwordUtf8, m_attributes.value("SALT"), iterations, kPasswordKeyBytes);
    const ScopedWipe wipeKey(passwordKey);
    bool anyProtected = false;
    for (TagMap &entry : m_classes) {
        if (!entry.contains("WPKY") || !(number(entry.value("WRAP")) & kWrapPassword))
            continue;  // tied to the phone's hardware: stays locked
        const QByteArray key = aesKeyUnwrap(passwordKey, entry.value("WPKY"));
        if (key.isEmpty()) {
            forgetKeys();
            return false;
        }
        entry.insert("KEY", key);
        anyProtected = true;
    }
    if (!anyProtected)
        throw std::runtime_error("This iTunes Backup's keybag holds no key protected by a password.");
    return true;
}

QByteArray BackupKeybag::fileKey(quint32 protectionClass, const QByteArray &keyField) const
{
    if (keyField.size() < 4 || keyField.size() - 4 != 40)
        return QByteArray();
    const QByteArray classKey = m_classes.value(protectionClass).value("KEY");
    if (classKey.isEmpty())
        return QByteArray();
    return aesKeyUnwrap(classKey, keyField.mid(4));
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

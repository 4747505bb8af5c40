#pragma once

#include <QByteArray>
#include <QMap>

// The keybag of an encrypted backup: attributes of the bag as a whole (UUID, WRAP, SALT, ITER,
// ...) and one tag map per protection class (CLAS, WRAP, WPKY, KTYP, PBKY, and KEY once the
// class key was unwrapped with the backup password).
class BackupKeybag
{
public:
    using TagMap = QMap<QByteArray, QByteArray>;

    // Throws std::runtime_error when a record runs past the end of the blob.
    static BackupKeybag parseKeybag(const QByteArray &blob);

    BackupKeybag() = default;
    BackupKeybag(const BackupKeybag &other) = default;
    BackupKeybag &operator=(const BackupKeybag &other) = default;
    ~BackupKeybag();

    const TagMap &attributes() const { return m_attributes; }
    const QMap<quint32, TagMap> &classKeys() const { return m_classes; }

    // Unwraps every password-protected class key. False for a wrong password, which keeps no
    // key. Throws std::runtime_error for a keybag that cannot be unlocked by any password.
    bool unlock(const QByteArray &passwordUtf8);

    // The 32-byte key of one file, or empty (then the file is kept as it is): the key field is
    // 4 bytes of class number and a 40-byte wrapped key; the class used is protectionClass.
    QByteArray fileKey(quint32 protectionClass, const QByteArray &keyField) const;

    // A 4-byte big-endian number tag; 0 when absent or of another length.
    static quint32 number(const QByteArray &value);

private:
    void forgetKeys();

    TagMap m_attributes;
    QMap<quint32, TagMap> m_classes;
};

#pragma once

#include "itunes/Export.h"

#include <QByteArray>
#include <QMap>
#include <QString>

// The keybag of an encrypted backup: attributes of the bag as a whole (UUID, WRAP, SALT, ITER,
// and since iOS 10.2 DPWT, DPIC, DPSL, ...) and one tag map per protection class (CLAS, WRAP,
// WPKY, KTYP, PBKY, and KEY once the class key was unwrapped with the backup password).
class PARLEWICK_ITUNES_EXPORT BackupKeybag
{
public:
    using TagMap = QMap<QByteArray, QByteArray>;

    // sourceName names the file the blob came from in error messages. Throws
    // AppError when a record runs past the end of the blob.
    static BackupKeybag parseKeybag(const QByteArray &blob, const QString &sourceName = QString());

    BackupKeybag() = default;
    BackupKeybag(const BackupKeybag &other) = default;
    BackupKeybag &operator=(const BackupKeybag &other) = default;
    ~BackupKeybag();

    const TagMap &attributes() const { return m_attributes; }
    const QMap<quint32, TagMap> &classKeys() const { return m_classes; }

    // Unwraps every password-protected class key with the key derived from the password: when
    // the bag has DPSL and DPIC, PBKDF2-HMAC-SHA256 over DPSL and DPIC first, its result then
    // taking the password's place in PBKDF2-HMAC-SHA1 over SALT and ITER. False for a wrong
    // password (the unwrap's integrity check fails), which keeps no key. Throws
    // AppError, never a wrong password, for a keybag no password can unlock (no
    // password-protected class; missing or malformed SALT, ITER, DPSL, DPIC, WPKY; absurd counts).
    bool unlock(QByteArrayView passwordUtf8);

    // The 32-byte key of Manifest.db from its ManifestKey: a 4-byte little-endian protection
    // class and a 40-byte wrapped key. Throws AppError when the value is malformed,
    // names a class that is not unlocked, or does not unwrap.
    QByteArray unwrapManifestKey(const QByteArray &manifestKey) const;

    // The 32-byte key of one file, or empty (then the file is kept as it is): the key field is
    // a 4-byte little-endian class number and a 40-byte wrapped key. The record's protection
    // class is tried first, then the field's own class when it differs.
    QByteArray fileKey(quint32 protectionClass, const QByteArray &keyField) const;

    // A 4-byte big-endian number tag; 0 when absent or of another length.
    static quint32 number(const QByteArray &value);

private:
    QByteArray derivePasswordKey(QByteArrayView passwordUtf8) const;
    QByteArray unwrapWithClass(quint32 protectionClass, const QByteArray &wrapped) const;
    [[noreturn]] void damaged(const QString &reason) const;
    void forgetKeys();

    TagMap m_attributes;
    QMap<quint32, TagMap> m_classes;
    QString m_sourceName;
};

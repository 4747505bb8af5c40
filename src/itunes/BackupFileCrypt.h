#pragma once

#include <QByteArray>
#include <QString>

// Whole files of an encrypted backup: AES-256-CBC with a zero IV and PKCS#7 padding, as phones
// store every file and, since iOS 10.2, Manifest.db.

// Encrypts source into target (created or replaced); returns the number of bytes written.
// Throws std::runtime_error.
qint64 encryptBackupFileThrow(const QString &source, const QString &target, const QByteArray &key);

// Decrypts the backup's Manifest.db (sourceName in messages) into target and drops valid
// padding; data whose padding is not valid is kept whole, as real files end in whole pages
// plus a padding block that some tools leave. Throws std::runtime_error naming sourceName
// when the result is no SQLite database: the file is damaged or the key wrong.
void decryptManifestFilesDbThrow(const QString &source, const QString &target, const QByteArray &key, const QString &sourceName);

#pragma once

#include "itunes/Export.h"

#include <QByteArray>
#include <QString>

// Whole files of an encrypted backup: AES-256-CBC with a zero IV and PKCS#7 padding, as phones
// store every file and, since iOS 10.2, Manifest.db.

// Encrypts source into target (created or replaced); returns the number of bytes written.
// Throws AppError.
PARLEWICK_ITUNES_EXPORT qint64 encryptBackupFileThrow(const QString &source, const QString &target, const QByteArray &key);

// Decrypts the backup's Manifest.db (sourceName in messages) into target and drops its
// padding. A file of whole database pages is taken as it is (some tools write no padding
// block); any other must end in valid padding. Throws AppError naming sourceName
// when the result is no SQLite database (the file is damaged or the key wrong) or its padding
// is not valid (damaged).
PARLEWICK_ITUNES_EXPORT void decryptManifestFilesDbThrow(const QString &source, const QString &target, const QByteArray &key,
                                                         const QString &sourceName);

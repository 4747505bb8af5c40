#pragma once

#include "itunes/Export.h"
#include "itunes/MbdbRecord.h"

#include <QHash>
#include <QList>
#include <QString>

// Manifest.mbdb, the index of every file of an iTunes backup, keyed by backup file name.
// A later record with the same name replaces an earlier one.
using MbdbIndex = QHash<QString, MbdbRecord>;

// The name of the file holding a record's content: lower-case hex SHA-1 of domain-path.
PARLEWICK_ITUNES_EXPORT QString backupFileName(const QString &domain, const QString &path);
PARLEWICK_ITUNES_EXPORT QString backupFileName(const QByteArray &domainUtf8, const QByteArray &pathUtf8);

// Reads the whole file and parses it. Throws AppError when the file cannot be read or
// is damaged (a record running past the end of the file): nothing of a damaged file is kept.
PARLEWICK_ITUNES_EXPORT MbdbIndex readManifestDb(const QString &path);
PARLEWICK_ITUNES_EXPORT MbdbIndex parseManifestDb(const QByteArray &data, const QString &sourceName);

// Records in the one order the index is written in: by the bytes of the domain, then of the
// path (unsigned byte comparison, which is code-point order of the UTF-8 text). An index holds
// one record per domain and path, so the order is total; a file whose records already come in
// this order and that names each file once is written back byte for byte.
PARLEWICK_ITUNES_EXPORT QList<MbdbIndex::const_iterator> sortedRecords(const MbdbIndex &index);

PARLEWICK_ITUNES_EXPORT QByteArray serializeManifestDb(const MbdbIndex &index);
// Replaces the file atomically (temporary file + rename). Throws AppError on failure.
PARLEWICK_ITUNES_EXPORT void writeManifestDb(const MbdbIndex &index, const QString &path);

// Records a file just placed into the backup as domain/path: adds the folder records it lacks
// and adds or refreshes the file's own record (hash, times and size of localFile). A known
// digest of the file's bytes spares reading them again.
PARLEWICK_ITUNES_EXPORT void addFileRecord(MbdbIndex &index, const QString &localFile, const QString &domain, const QString &path,
                                           const QByteArray &knownDigest = QByteArray());

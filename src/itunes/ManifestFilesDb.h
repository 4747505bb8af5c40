#pragma once

#include "db/Sqlite3Prepared.h"
#include "itunes/Export.h"
#include "itunes/ManifestDb.h"

#include <QString>

class Sqlite3DB;

// Manifest.db, the file list of backups made by iOS 10 and later: a SQLite database whose
// Files table has one row per file, folder or link, its details in an MBFile keyed archive.
// Rows become the same records Manifest.mbdb gives, keyed by the same backup file name.

// Rows left out of the index, by reason; the rest of the list still loads.
struct PARLEWICK_ITUNES_EXPORT ManifestFilesSkipped
{
    int otherKinds = 0;   // flags other than file (1), folder (2) or link (4)
    int misnamed = 0;     // fileID is not the hash of domain-relativePath: not trusted as a name
    int damaged = 0;      // the file blob is no MBFile archive, or too large to be one
};

struct PARLEWICK_ITUNES_EXPORT ManifestFilesContent
{
    MbdbIndex index;
    ManifestFilesSkipped skipped;
};

// Reads a plain (unencrypted) Manifest.db at path without writing anything beside it.
// sourceName names the backup's own file in messages (path may be a decrypted copy).
// Throws AppError when it is no such database or lists implausibly many rows.
PARLEWICK_ITUNES_EXPORT ManifestFilesContent readManifestFilesDb(const QString &path, const QString &sourceName);

// The flags value of a record's row, from its mode (or, without one, from its size and link).
PARLEWICK_ITUNES_EXPORT int manifestFilesFlags(const MbdbRecord &rec);

// Writes a new Manifest.db at path holding the index's records (an existing file is replaced),
// in write-ahead mode with the log folded back in, as a phone leaves it. Throws AppError.
PARLEWICK_ITUNES_EXPORT void writeManifestFilesDb(const MbdbIndex &index, const QString &path);

// Writes rows of a Manifest.db on an open connection; the caller owns the transaction.
class PARLEWICK_ITUNES_EXPORT ManifestFilesDbWriter
{
public:
    explicit ManifestFilesDbWriter(Sqlite3DB &db);

    // The Files and Properties tables with their indexes, as a phone makes them.
    static void createTablesThrow(Sqlite3DB &db);
    // Adds rec's row, or replaces the row of the same domain and path.
    void putRowThrow(const MbdbRecord &rec);

private:
    Sqlite3Prepared m_put;
};

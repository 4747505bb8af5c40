#include "itunes/ManifestFilesDb.h"

#include "app/AppError.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3ReadOnly.h"
#include "db/Sqlite3Statement.h"
#include "itunes/MbFileArchive.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtDebug>

#include <stdexcept>

namespace {

// Phones list a few hundred thousand files; far more is no phone's list.
constexpr qint64 kMaxRows = 5'000'000;
// A real MBFile archive is well under a kilobyte; extended attributes make some larger.
constexpr qint64 kMaxBlobBytes = 1 << 20;
// Longer names cannot come from a phone's file system.
constexpr qsizetype kMaxNameBytes = 16 * 1024;

enum Flags { FileFlag = 1, FolderFlag = 2, LinkFlag = 4 };

quint16 typeBitsOf(int flags)
{
    switch (flags) {
    case FolderFlag:
        return 0040000;
    case LinkFlag:
        return 0120000;
    default:
        return 0100000;
    }
}

void logSkipped(const ManifestFilesSkipped &skipped, const QString &sourceName)
{
    if (skipped.otherKinds || skipped.misnamed || skipped.damaged)
        qWarning("%s: rows left out: %d of other kinds, %d whose fileID does not match, %d damaged", qUtf8Printable(sourceName),
                 skipped.otherKinds, skipped.misnamed, skipped.damaged);
}

}   // namespace

ManifestFilesContent readManifestFilesDb(const QString &path, const QString &sourceName)
{
    ManifestFilesContent content;
    ManifestFilesSkipped &skipped = content.skipped;
    try {
        Sqlite3DB db;
        const auto copyFolder = openReadOnlyThrow(db, path, privateTemporaryFolderThrow);
        db.limitWorkToFileSizeThrow();
        // A view could recurse without end or return rows made up on the fly.
        Sqlite3Cursor kind = db.queryThrow("SELECT type FROM sqlite_master WHERE name = 'Files' COLLATE NOCASE");
        const QString type = kind.moveNext() ? kind.getText(0) : QString();
        if (type != QLatin1String("table"))
            failWith(type.isEmpty() ? QStringLiteral("It has no Files table.")
                                    : QStringLiteral("Its Files is a %1, not a table.").arg(type));
        Sqlite3Cursor count = db.queryThrow("SELECT count(*) FROM Files");
        const qint64 rows = count.moveNext() ? count.getInt64(0) : 0;
        if (rows > kMaxRows)
            failWith(QStringLiteral("It lists %1 files, more than any iPhone holds.").arg(rows));
        content.index.reserve(rows);

        Sqlite3Cursor cursor = db.queryThrow(
            QStringLiteral("SELECT fileID, domain, relativePath, flags, CASE WHEN length(file) <= %1 THEN file END FROM Files")
                .arg(kMaxBlobBytes));
        while (cursor.moveNext()) {
            const int flags = int(cursor.getInt64(3));
            if (flags != FileFlag && flags != FolderFlag && flags != LinkFlag) {
                ++skipped.otherKinds;
                continue;
            }
            MbdbRecord rec;
            rec.domain = cursor.getBlob(1);
            rec.path = cursor.getBlob(2);
            if (rec.domain.bytes.size() + rec.path.bytes.size() > kMaxNameBytes) {
                ++skipped.damaged;
                continue;
            }
            const QString name = backupFileName(rec.domain.bytes, rec.path.bytes);
            if (name != QLatin1StringView(cursor.getBlob(0))) {
                ++skipped.misnamed;
                continue;
            }
            if (!MbFileArchive::decode(cursor.getBlob(4), rec)) {
                ++skipped.damaged;
                continue;
            }
            if ((rec.mode & 0170000) == 0)
                rec.mode |= typeBitsOf(flags);
            content.index.insert(name, rec);
        }
    } catch (const std::runtime_error &error) {
        failWith(QStringLiteral("%1 cannot be read as the file list of an iTunes Backup. %2")
                     .arg(sourceName, QString::fromUtf8(error.what())));
    }
    logSkipped(skipped, sourceName);
    return content;
}

int manifestFilesFlags(const MbdbRecord &rec)
{
    switch (rec.kind()) {
    case MbdbRecord::Kind::Folder:
        return FolderFlag;
    case MbdbRecord::Kind::Link:
        return LinkFlag;
    case MbdbRecord::Kind::File:
        break;
    }
    return FileFlag;
}

void writeManifestFilesDb(const MbdbIndex &index, const QString &path)
{
    QFile::remove(path);
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWriteCreate);
    db.execScriptThrow("PRAGMA journal_mode=WAL;");
    ManifestFilesDbWriter::createTablesThrow(db);
    ManifestFilesDbWriter writer(db);
    db.beginTran();
    for (const auto &it : sortedRecords(index))
        writer.putRowThrow(it.value());
    db.commitTran();
}

ManifestFilesDbWriter::ManifestFilesDbWriter(Sqlite3DB &db)
    : m_put(db, "INSERT OR REPLACE INTO Files (fileID, domain, relativePath, flags, file) VALUES (?, ?, ?, ?, ?)")
{
}

void ManifestFilesDbWriter::createTablesThrow(Sqlite3DB &db)
{
    db.execScriptThrow("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, file BLOB);\n"
                       "CREATE INDEX FilesDomainIdx ON Files(domain);\n"
                       "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);\n"
                       "CREATE INDEX FilesFlagsIdx ON Files(flags);\n"
                       "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);\n");
}

void ManifestFilesDbWriter::putRowThrow(const MbdbRecord &rec)
{
    Sqlite3Statement &put = m_put.startThrow();
    put.bindTextThrow(1, backupFileName(rec.domain.bytes, rec.path.bytes));
    put.bindTextThrow(2, rec.domain.toString());
    put.bindTextThrow(3, rec.path.toString());
    put.bindInt64Throw(4, manifestFilesFlags(rec));
    put.bindBlobThrow(5, MbFileArchive::encode(rec));
    m_put.runThrow();
}

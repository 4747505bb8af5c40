#include "db/Sqlite3ReadOnly.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "db/Sqlite3DB.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// The side files whose content belongs to the database: an unfinished transaction's journal,
// committed pages not yet copied back from the write-ahead log.
const char *const kSideFiles[] = {"-journal", "-wal"};

bool hasData(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

}   // namespace

std::unique_ptr<QTemporaryDir> openReadOnlyThrow(Sqlite3DB &db, const QString &path, const CopyFolderMaker &newCopyFolder)
{
    // The engine would wait for ever on a FIFO planted under the name.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        failWith(QStringLiteral("Cannot read %1: it is not a regular file.").arg(path));
    bool sideData = false;
    for (const char *suffix : kSideFiles)
        sideData = sideData || hasData(path + QLatin1String(suffix));
    if (!sideData) {
        // Immutable: SQLite neither locks nor creates side files (it would make -wal and -shm
        // for a database in write-ahead mode even when opened read-only).
        QUrl uri = QUrl::fromLocalFile(path);
        uri.setQuery(QStringLiteral("mode=ro&immutable=1"));
        db.openThrow(uri.toString(QUrl::FullyEncoded), Sqlite3DB::ReadOnly | Sqlite3DB::UriFileName);
        return nullptr;
    }
    std::unique_ptr<QTemporaryDir> copyFolder = newCopyFolder();
    const QString copy = copyFolder->filePath(QFileInfo(path).fileName());
    if (!copyFolder->isValid())
        failWith(QStringLiteral("Can not copy %1 for reading: %2").arg(path, copyFolder->errorString()));
    copyToNewFileThrow(path, copy);
    // Only side files with data: an empty one says nothing, and no other kind of file is read.
    for (const char *suffix : kSideFiles) {
        if (hasData(path + QLatin1String(suffix)))
            copyToNewFileThrow(path + QLatin1String(suffix), copy + QLatin1String(suffix));
    }
    db.openThrow(copy, Sqlite3DB::ReadWrite);
    return copyFolder;
}

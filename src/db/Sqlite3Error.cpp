#include "db/Sqlite3Error.h"

#include <QDebug>
#include <QDir>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>

namespace {

const int kMaxContext = 300;   // of a long script, the log keeps the start

// A database opened by URI ("file:...?immutable=1") is named by its path.
QString shownFileName(const QString &file)
{
    const QString path = file.startsWith(QLatin1String("file:")) ? QUrl(file).toLocalFile() : file;
    return QDir::toNativeSeparators(path);
}

// Empty for failures the program has no words of its own for.
QString describedFailure(int code, const QString &file, int systemError = 0)
{
    if (file.isEmpty())
        return QString();   // a database in memory has no file to name
    const QString name = shownFileName(file);
    if (systemError == EFBIG)
        return QStringLiteral("The database %1 could not be written: the file is too large for this disk or limit. "
                              "Nothing was changed.")
            .arg(name);
    // The engine keeps the system's reason only now and then: a write that failed is most
    // often one that found no room.
    if (code == SQLITE_IOERR_WRITE)
        return QStringLiteral("The database %1 could not be written: the disk is full, the file is too large "
                              "for it, or the disk reported an error. Nothing was changed.")
            .arg(name);
    switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("The file %1 is damaged or is not a database.").arg(name);
    case SQLITE_INTERRUPT:   // only a work limit interrupts
        return QStringLiteral("The file %1 is damaged: it asks for work that never comes to an end.").arg(name);
    case SQLITE_FULL:
        return QStringLiteral("The disk is full: %1 could not be written. Nothing was changed; "
                              "make room and try again.")
            .arg(name);
    case SQLITE_CANTOPEN:
        return QStringLiteral("The database %1 cannot be opened: it is missing, or its folder "
                              "cannot be read or written.")
            .arg(name);
    case SQLITE_IOERR:
        return QStringLiteral("The database %1 could not be read or written: the disk reported an error.").arg(name);
    case SQLITE_READONLY:
        return QStringLiteral("The database %1 is read-only and cannot be changed.").arg(name);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("The database %1 is in use by another task or program. Try again "
                              "when it has finished.")
            .arg(name);
    default:
        return QString();
    }
}

}   // namespace

AppError sqliteError(const QString &message, const QString &context)
{
    // The statement is for the log only: SQL says nothing to the user, and shows what the
    // program asked of a file that may be hostile.
    if (!context.isEmpty())
        qWarning().noquote() << "SQLite error:" << message << "|" << context.left(kMaxContext);
    return AppError(message);
}

AppError sqliteError(int code, const QString &message, const QString &file, const QString &context, int systemError)
{
    const QString described = describedFailure(code, file, systemError);
    if (described.isEmpty())
        return sqliteError(message, context);
    qWarning().noquote() << "SQLite error" << code << "on" << file << ":" << message << "|" << context.left(kMaxContext);
    return AppError(described);
}

AppError sqliteError(sqlite3 *db, const QString &context)
{
    if (!db)
        return sqliteError(QStringLiteral("out of memory"), context);
    const char *file = sqlite3_db_filename(db, "main");
    int code = sqlite3_extended_errcode(db);
    // A write cut short by a full disk is SQLITE_FULL, one refused outright only an I/O error.
    const int system = sqlite3_system_errno(db);
    if ((code & 0xff) == SQLITE_IOERR && (system == ENOSPC || system == EDQUOT || system == EFBIG))
        code = SQLITE_FULL;
    return sqliteError(code, QString::fromUtf8(sqlite3_errmsg(db)), QString::fromUtf8(file ? file : ""), context,
                       (code & 0xff) == SQLITE_FULL ? system : 0);
}

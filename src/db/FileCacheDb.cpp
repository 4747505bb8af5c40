#include "db/FileCacheDb.h"

#include "app/AppError.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// Paths are matched ignoring the case of ASCII letters. "%" and "_" are ordinary characters
// of a file name here, never wildcards: a pattern match would read or overwrite the dates of
// other files.
const char kSelectSql[] = "select last_date from manifest where file_name = ? collate nocase";
const char kUpdateSql[] = "update manifest set last_date=? where file_name = ? collate nocase";
const char kInsertSql[] = "insert into manifest(file_name,last_date) values(?,?)";
const char kDeleteSql[] = "delete from manifest where file_name=?";

}   // namespace

FileCacheDb::FileCacheDb(const QString &path)
    : m_path(path)
{
}

FileCacheDb::~FileCacheDb()
{
    if (m_db.inTransaction()) {
        try {
            m_db.commitTran();
        } catch (const std::exception &error) {
            qDebug().noquote() << "file cache" << m_path << "not committed:" << error.what();
        }
    }
    m_db.close();
}

void FileCacheDb::ensureOpen()
{
    if (m_db.isOpen())
        return;
    const bool exists = QFileInfo::exists(m_path);
    m_db.openThrow(m_path, exists ? Sqlite3DB::ReadWrite : Sqlite3DB::ReadWriteCreate);
    // An existing file without any table is what an interrupted creation leaves behind.
    bool empty = !exists;
    if (exists) {
        try {
            Sqlite3Cursor tables = m_db.queryThrow("select count(*) from sqlite_master");
            empty = tables.moveNext() && tables.getInt(0) == 0;
        } catch (...) {
            m_db.close();   // the next use tries again
            throw;
        }
    }
    if (empty)
        createTableThrow();
    try {
        m_db.beginTran();
    } catch (const std::exception &error) {
        // Without the transaction every change is committed on its own: slower, still correct.
        qDebug().noquote() << "file cache" << m_path << "without transaction:" << error.what();
    }
}

void FileCacheDb::createTableThrow()
{
    QFile resource(QStringLiteral(":res/cache_db.sql"));
    try {
        if (!resource.open(QIODevice::ReadOnly))
            failWith(resource.errorString());
        const QByteArray script = resource.readAll();
        m_db.beginTran();
        m_db.execScriptThrow(script);
        m_db.commitTran();
    } catch (...) {
        // Leave no half-made cache behind, so the next open starts clean.
        m_db.close();
        QFile::remove(m_path);
        throw;
    }
}

qint64 FileCacheDb::lastDate(const QString &devicePath)
{
    try {
        ensureOpen();
        Sqlite3Cursor rows = m_db.queryThrow(Sqlite3Sql(kSelectSql).addTextParam(devicePath));
        return rows.moveNext() ? rows.getInt64(0) : 0;
    } catch (const std::exception &error) {
        qDebug().noquote() << "file cache lookup of" << devicePath << "failed:" << error.what();
        return 0;
    }
}

void FileCacheDb::setLastDate(const QString &devicePath, qint64 date)
{
    try {
        ensureOpen();
        Sqlite3Cursor rows = m_db.queryThrow(Sqlite3Sql(kSelectSql).addTextParam(devicePath));
        if (rows.moveNext()) {
            const qint64 stored = rows.getInt64(0);
            rows = Sqlite3Cursor();   // release the statement before writing
            if (stored != date)
                m_db.executeThrow(Sqlite3Sql(kUpdateSql).addInt64Param(date).addTextParam(devicePath));
        } else {
            rows = Sqlite3Cursor();
            m_db.executeThrow(Sqlite3Sql(kInsertSql).addTextParam(devicePath).addInt64Param(date));
        }
    } catch (const std::exception &error) {
        qDebug().noquote() << "file cache update of" << devicePath << "failed:" << error.what();
    }
}

void FileCacheDb::removeEntry(const QString &devicePath)
{
    try {
        ensureOpen();
        m_db.executeThrow(Sqlite3Sql(kDeleteSql).addTextParam(devicePath));
    } catch (const std::exception &error) {
        qDebug().noquote() << "file cache removal of" << devicePath << "failed:" << error.what();
    }
}

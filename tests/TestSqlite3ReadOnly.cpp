#include "TestEnv.h"

#include "KikDbTestKit.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3ReadOnly.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString firstValue(Sqlite3DB &db)
{
    Sqlite3Cursor cursor = db.queryThrow("select v from t where id = 1");
    return cursor.moveNext() ? cursor.getText(0) : QString();
}

QMap<QString, QByteArray> folderBytes(const QString &folder)
{
    QMap<QString, QByteArray> bytes;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(QDir(folder).filePath(name));
        bytes.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable"));
    }
    return bytes;
}

}   // namespace

// Databases opened for reading leave their folder exactly as it was.
class TestSqlite3ReadOnly : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void aHotJournalIsUndoneInACopy()
    {
        // A writer stopped in the middle of a transaction that had already written pages into
        // the file: the copy of its folder holds those pages and the journal that undoes them.
        const QString live = m_env.path(QStringLiteral("live"));
        const QString stopped = m_env.path(QStringLiteral("stopped"));
        QVERIFY(QDir().mkpath(live) && QDir().mkpath(stopped));
        Sqlite3DB writer;
        writer.openThrow(live + QStringLiteral("/data.db"), Sqlite3DB::ReadWriteCreate);
        writer.execScriptThrow("PRAGMA cache_size=10; create table t(id integer primary key, v text);"
                               "with recursive n(i) as (select 1 union all select i + 1 from n where i < 2000) "
                               "insert into t select i, 'old' || printf('%.500c', 'x') from n");
        const QByteArray committed = folderBytes(live).value(QStringLiteral("data.db"));
        writer.beginTran();
        writer.executeThrow("update t set v = 'new' || printf('%.500c', 'y')");
        for (const QString &name : {QStringLiteral("data.db"), QStringLiteral("data.db-journal")})
            QVERIFY(QFile::copy(live + QLatin1Char('/') + name, stopped + QLatin1Char('/') + name));
        writer.rollbackTran();
        QVERIFY2(folderBytes(stopped).value(QStringLiteral("data.db")) != committed, "no page reached the file");

        const QMap<QString, QByteArray> before = folderBytes(stopped);
        {
            Sqlite3DB reader;
            const std::unique_ptr<QTemporaryDir> copy =
                openReadOnlyThrow(reader, stopped + QStringLiteral("/data.db"), privateTemporaryFolderThrow);
            QVERIFY(copy);
            QVERIFY(firstValue(reader).startsWith(QLatin1String("old")));
            QCOMPARE(KikDbTestKit::scalar(reader, QStringLiteral("select count(*) from t where v like 'old%'")), 2000);
        }
        QCOMPARE(folderBytes(stopped), before);
    }

    void aCleanDatabaseIsReadInPlace()
    {
        // Write-ahead mode: even a read-only connection would make -wal and -shm files.
        const QString folder = m_env.path(QStringLiteral("clean"));
        QVERIFY(QDir().mkpath(folder));
        {
            Sqlite3DB writer;
            writer.openThrow(folder + QStringLiteral("/data.db"), Sqlite3DB::ReadWriteCreate);
            writer.execScriptThrow("PRAGMA journal_mode=wal; create table t(id integer primary key, v text);"
                                   "insert into t values(1, 'old')");
        }
        const QMap<QString, QByteArray> before = folderBytes(folder);
        QCOMPARE(before.keys(), QStringList{QStringLiteral("data.db")});
        Sqlite3DB reader;
        QVERIFY(!openReadOnlyThrow(reader, folder + QStringLiteral("/data.db"), privateTemporaryFolderThrow));
        QCOMPARE(firstValue(reader), QStringLiteral("old"));
        QVERIFY(!KikDbTestKit::errorText([&] { reader.executeThrow("delete from t"); }).isEmpty());
        reader.close();
        QCOMPARE(folderBytes(folder), before);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3ReadOnly)
#include "TestSqlite3ReadOnly.moc"

#include "TestEnv.h"

#include "db/FileCacheDb.h"
#include "db/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestFileCacheDb : public QObject
{
    Q_OBJECT
    TestEnv env;
    int counter = 0;

    QString freshPath() { return env.path(QStringLiteral("cache%1/com.kik.manifest.db").arg(++counter)); }

    // Rows as another connection (or the next run of the program) sees them.
    static QMap<QString, qint64> committedRows(const QString &path)
    {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        QMap<QString, qint64> rows;
        Sqlite3Cursor cursor = db.queryThrow("select file_name, last_date from manifest");
        while (cursor.moveNext())
            rows.insert(cursor.getText(0), cursor.getInt64(1));
        return rows;
    }

private slots:
    void missingFileIsCreatedWithItsTable()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        {
            FileCacheDb cache(path);
            QVERIFY(!QFile::exists(path));   // nothing happens before the first use
            QCOMPARE(cache.lastDate(QStringLiteral("Documents/kik.sqlite")), 0);
            QVERIFY(QFile::exists(path));
        }
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        const QList<Sqlite3Column> columns = db.tbCols(QStringLiteral("manifest"));
        QCOMPARE(columns.size(), 2);
        QCOMPARE(columns.at(0).name, QStringLiteral("file_name"));
        QCOMPARE(columns.at(0).type, QStringLiteral("VARCHAR"));
        QVERIFY(columns.at(0).primaryKey);
        QCOMPARE(columns.at(1).name, QStringLiteral("last_date"));
        QCOMPARE(columns.at(1).type, QStringLiteral("INTEGER"));
        QVERIFY(columns.at(1).notNull);
    }

    void datesAreStoredUpdatedAndRemoved()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        {
            FileCacheDb cache(path);
            cache.setLastDate(QStringLiteral("Documents/kik.sqlite"), 1700000000);
            cache.setLastDate(QStringLiteral("Documents/kik.sqlite"), 1700000000);
            cache.setLastDate(QStringLiteral("Library/a.jpg"), 5);
            QCOMPARE(cache.lastDate(QStringLiteral("Documents/kik.sqlite")), 1700000000);
            cache.setLastDate(QStringLiteral("Documents/kik.sqlite"), 1800000000);
            QCOMPARE(cache.lastDate(QStringLiteral("Documents/kik.sqlite")), 1800000000);
            cache.removeEntry(QStringLiteral("Library/a.jpg"));
            QCOMPARE(cache.lastDate(QStringLiteral("Library/a.jpg")), 0);
        }
        const QMap<QString, qint64> rows = committedRows(path);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.value(QStringLiteral("Documents/kik.sqlite")), 1800000000);
    }

    void lookupsIgnoreLetterCaseButNotWildcards()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        {
            FileCacheDb cache(path);
            cache.setLastDate(QStringLiteral("Documents/Kik.SQLITE"), 10);
            QCOMPARE(cache.lastDate(QStringLiteral("documents/kik.sqlite")), 10);
            cache.setLastDate(QStringLiteral("DOCUMENTS/kik.sqlite"), 11);   // the same row

            // "%" and "_" are parts of a name: they neither find nor overwrite other files.
            cache.setLastDate(QStringLiteral("files/axb"), 20);
            cache.setLastDate(QStringLiteral("files/a%20b"), 30);
            QCOMPARE(cache.lastDate(QStringLiteral("files/a_b")), 0);
            QCOMPARE(cache.lastDate(QStringLiteral("files/%")), 0);
            cache.setLastDate(QStringLiteral("files/%"), 40);
            cache.setLastDate(QStringLiteral("files/a_b"), 50);
            QCOMPARE(cache.lastDate(QStringLiteral("files/axb")), 20);
            QCOMPARE(cache.lastDate(QStringLiteral("files/a%20b")), 30);

            // Removal matches exactly.
            cache.removeEntry(QStringLiteral("documents/kik.sqlite"));
            QCOMPARE(cache.lastDate(QStringLiteral("Documents/Kik.SQLITE")), 11);
        }
        const QMap<QString, qint64> rows = committedRows(path);
        QCOMPARE(rows,
                 (QMap<QString, qint64>{
                     {"Documents/Kik.SQLITE", 11}, {"files/axb", 20}, {"files/a%20b", 30}, {"files/%", 40}, {"files/a_b", 50}}));
    }

    void changesBecomeDurableOnlyWhenTheCacheIsDestroyed()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        {
            FileCacheDb(path).setLastDate(QStringLiteral("old"), 1);
        }

        const QString crashed = path + QLatin1String(".crashed");
        {
            FileCacheDb cache(path);
            cache.setLastDate(QStringLiteral("old"), 2);
            cache.setLastDate(QStringLiteral("new"), 3);
            // What is on disk at this moment is what a crash would leave.
            QVERIFY(QFile::copy(path, crashed));
        }
        QCOMPARE(committedRows(crashed), (QMap<QString, qint64>{{"old", 1}}));
        QCOMPARE(committedRows(path), (QMap<QString, qint64>{{"old", 2}, {"new", 3}}));
    }

    void anEmptyFileLeftByAnInterruptedCreationIsRepaired()
    {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        QFile empty(path);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        {
            FileCacheDb(path).setLastDate(QStringLiteral("a"), 7);
        }
        QCOMPARE(committedRows(path), (QMap<QString, qint64>{{"a", 7}}));
    }

    void unusableCacheMeansEveryFileIsCopied()
    {
        // Not a database: lookups fail quietly and the file is left as it was.
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).path());
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        const QByteArray bytes(4096, 'x');
        junk.write(bytes);
        junk.close();
        {
            FileCacheDb cache(path);
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, cache.ensureOpen());
            cache.setLastDate(QStringLiteral("a"), 7);
            cache.removeEntry(QStringLiteral("a"));
            QCOMPARE(cache.lastDate(QStringLiteral("a")), 0);
        }
        QVERIFY(junk.open(QIODevice::ReadOnly));
        QCOMPARE(junk.readAll(), bytes);

        // A folder that does not exist: nothing is created anywhere.
        const QString nowhere = env.path(QStringLiteral("missing/folder/cache.db"));
        {
            FileCacheDb cache(nowhere);
            cache.setLastDate(QStringLiteral("a"), 7);
            QCOMPARE(cache.lastDate(QStringLiteral("a")), 0);
        }
        QVERIFY(!QFile::exists(nowhere));
    }
};

QTEST_GUILESS_MAIN(TestFileCacheDb)
#include "TestFileCacheDb.moc"

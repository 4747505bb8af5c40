#include "TestEnv.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3Prepared.h"
#include "db/Sqlite3Statement.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QUrl>
#include <QtTest>

#include <sqlite3.h>

#include <memory>
#include <thread>

namespace {

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

qint64 countRows(Sqlite3DB &db, const char *table)
{
    Sqlite3Cursor cursor = db.queryThrow(QStringLiteral("select count(*) from %1").arg(table));
    return cursor.moveNext() ? cursor.getInt64(0) : -1;
}

// While it lives, connections opened use SQLite's default file system with its sleep noted: a
// connection that sleeps is waiting for a lock (the busy timeout).
class SleepWatch
{
public:
    SleepWatch()
    {
        s_base = sqlite3_vfs_find(nullptr);
        s_slept = false;
        m_vfs = *s_base;
        m_vfs.zName = "sleepwatch";
        m_vfs.xSleep = [](sqlite3_vfs *, int microseconds) {
            s_slept = true;
            return s_base->xSleep(s_base, microseconds);
        };
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~SleepWatch()
    {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(s_base, 1);
    }
    SleepWatch(const SleepWatch &) = delete;
    SleepWatch &operator=(const SleepWatch &) = delete;

    static bool slept() { return s_slept; }

private:
    static inline sqlite3_vfs *s_base = nullptr;
    static inline std::atomic<bool> s_slept{false};
    sqlite3_vfs m_vfs{};
};

}

class TestSqlite3 : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    int m_fileNumber = 0;

    QString newPath() { return m_env.path(QStringLiteral("db%1.sqlite").arg(++m_fileNumber)); }
    void openWithTable(Sqlite3DB &db, const QString &path)
    {
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.execScriptThrow("create table t(a INTEGER, b TEXT)");
    }

private slots:
    void openFlags();
    void corruptFiles();
    void engineErrors();
    void statementReuse();
    void preparedStatements();
    void cursorsSharingSql();
    void cursorLifetime();
    void valuesAndTypes();
    void transactions();
    void busyConnectionWaits();
    void failuresInTheProgramsWords();
    void scripts();
    void tableColumns();
    void rowInsertSql();
    void workLimitOfFilesFromOutside();
};

void TestSqlite3::openFlags()
{
    const QString missing = newPath();
    Sqlite3DB db;
    const QString error = errorText([&] { db.openThrow(missing, Sqlite3DB::ReadWrite); });
    QVERIFY2(error.contains("cannot be opened"), qPrintable(error));
    QVERIFY2(error.contains(missing), qPrintable(error));
    QVERIFY(!db.isOpen());
    QVERIFY(!QFile::exists(missing));

    db.openThrow(missing, Sqlite3DB::ReadWriteCreate);
    QVERIFY(db.isOpen());
    QCOMPARE(db.filePath(), missing);
    db.executeThrow("create table t(a)");
    db.close();
    QVERIFY(!db.isOpen());
    QVERIFY(QFile::exists(missing));

    db.openThrow(missing, Sqlite3DB::ReadWrite);
    QCOMPARE(countRows(db, "t"), 0);

    QVERIFY(!errorText([&] { db.openThrow(missing, 5); }).isEmpty());
    QVERIFY(!errorText([&] { db.openThrow(m_env.home(), Sqlite3DB::ReadWriteCreate); }).isEmpty());
}

void TestSqlite3::corruptFiles()
{
    const QString garbage = newPath();
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray noise(8192, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 31 + 7);
    file.write(noise);
    file.close();
    Sqlite3DB db;
    const QString error = errorText([&] { db.openThrow(garbage, Sqlite3DB::ReadWrite); });
    QCOMPARE(error, QStringLiteral("The file %1 is damaged or is not a database.").arg(garbage));
    QVERIFY(!db.isOpen());

    // A real database cut in half opens, but reading it reports the damage.
    const QString cut = TestEnv::copyFixture("kik_ios.sqlite", m_env.path("cut"));
    QVERIFY(!cut.isEmpty());
    QFile cutFile(cut);
    QVERIFY(cutFile.resize(cutFile.size() / 2));
    QString readError;
    try {
        db.openThrow(cut, Sqlite3DB::ReadWrite);
        Sqlite3Cursor tables = db.queryThrow("select name from sqlite_master where type='table'");
        QStringList names;
        while (tables.moveNext())
            names << tables.getText("name");
        for (const QString &name : names) {
            Sqlite3Cursor rows = db.queryThrow(QStringLiteral("select * from \"%1\"").arg(name));
            while (rows.moveNext())
                rows.getRow();
        }
    } catch (const std::runtime_error &e) {
        readError = QString::fromUtf8(e.what());
    }
    QCOMPARE(readError, QStringLiteral("The file %1 is damaged or is not a database.").arg(cut));
}

void TestSqlite3::engineErrors()
{
    Sqlite3DB db;
    QVERIFY(errorText([&] { db.executeThrow("create table x(a)"); }).contains("not open"));
    QVERIFY(errorText([&] { db.queryThrow("select 1"); }).contains("not open"));
    QString message;
    QVERIFY(db.exec("select 1", &message) != 0);

    openWithTable(db, newPath());
    db.executeThrow("create unique index t_a on t(a)");

    // The engine's text; the statement goes only to the log.
    QCOMPARE(errorText([&] { db.queryThrow("select * from nowhere"); }), QString("no such table: nowhere"));
    QCOMPARE(errorText([&] { db.executeThrow("selec 1"); }), QString("near \"selec\": syntax error"));
    QVERIFY(!errorText([&] { db.queryThrow("select * from t where a<nothing"); }).contains("a<nothing"));

    db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(1));
    QVERIFY(errorText([&] {
                db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(1));
            }).startsWith("UNIQUE constraint failed: t.a"));

    // Wrong parameter counts and types are errors, not crashes or silent NULLs.
    QVERIFY(errorText([&] { db.executeThrow("insert into t(a) values(?)"); }).contains("1 parameters but 0"));
    QVERIFY(errorText([&] {
                db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(2).addIntParam(3));
            }).contains("1 parameters but 2"));
    QVERIFY(errorText([&] {
                db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addParam(QDateTime::currentDateTime()));
            }).contains("unsupported type"));
    // The statement is reusable after a failed bind.
    db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(4));
    QCOMPARE(countRows(db, "t"), 2);

    // One statement only: the second must not be silently skipped.
    QVERIFY(errorText([&] {
                db.executeThrow("insert into t(a) values(10); insert into t(a) values(11)");
            }).contains("Only one SQL statement"));
    QCOMPARE(countRows(db, "t"), 2);
    db.executeThrow("insert into t(a) values(12); -- trailing comment");
    QVERIFY(!errorText([&] { db.executeThrow(""); }).isEmpty());

    QCOMPARE(db.exec("insert into nowhere values(1)", &message), 1);
    QCOMPARE(message, QString("no such table: nowhere"));
    QCOMPARE(db.exec("insert into t(a) values(20); insert into t(a) values(21)", &message), 0);
    QVERIFY(message.isEmpty());
    QCOMPARE(db.changes(), 1);
    QCOMPARE(countRows(db, "t"), 5);
}

void TestSqlite3::statementReuse()
{
    Sqlite3DB db;
    openWithTable(db, newPath());
    const qint64 before = db.statementsPrepared();
    db.beginTran();
    for (int i = 0; i < 1000; ++i)
        db.executeThrow(Sqlite3Sql("insert into t(a, b) values(?, ?)").addIntParam(i).addTextParam(QString::number(i * 2)));
    db.commitTran();
    QCOMPARE(db.lastInsertId(), qint64(1000));
    for (int i = 0; i < 1000; i += 37) {
        Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql("select b from t where a=?").addIntParam(i));
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getText("b"), QString::number(i * 2));
        QVERIFY(!cursor.moveNext());
    }
    QCOMPARE(db.statementsPrepared() - before, 2);

    // Past the cache's capacity the oldest statements are dropped and prepared again.
    for (int i = 0; i < 100; ++i)
        db.queryThrow(QStringLiteral("select %1").arg(i)).moveNext();
    const qint64 afterMany = db.statementsPrepared();
    db.queryThrow(Sqlite3Sql("select b from t where a=?").addIntParam(0)).moveNext();
    QCOMPARE(db.statementsPrepared(), afterMany + 1);
    db.queryThrow("select 99").moveNext();
    QCOMPARE(db.statementsPrepared(), afterMany + 1);
}

void TestSqlite3::preparedStatements()
{
    const QString path = newPath();
    Sqlite3DB db;
    openWithTable(db, path);
    db.execScriptThrow("alter table t add column c BLOB");
    Sqlite3Prepared insert(db, "insert into t(a, b, c) values(?, ?, ?)");
    Sqlite3Prepared find(db, "select a from t where b=?");
    const qint64 before = db.statementsPrepared();
    db.beginTran();
    const QByteArray blobs[] = {QByteArray(), QByteArray(""), QByteArray("\0x", 2)};
    for (int i = 0; i < 30; ++i) {
        Sqlite3Statement &statement = insert.startThrow();
        statement.bindInt64Throw(1, i);
        statement.bindTextThrow(2, QStringLiteral("r\u00e9%1").arg(i));
        statement.bindBlobThrow(3, blobs[i % 3]);
        insert.runThrow();
    }
    db.commitTran();
    QCOMPARE(db.statementsPrepared() - before, 1);
    // A null array binds NULL, an empty one an empty blob; text goes in as UTF-8.
    Sqlite3Cursor types = db.queryThrow("select typeof(c), length(c), hex(b) from t where a < 3 order by a");
    QStringList seen;
    while (types.moveNext())
        seen << types.getText(0) + QLatin1Char(' ') + types.getText(1) + QLatin1Char(' ') + types.getText(2);
    QCOMPARE(seen, (QStringList{"null  72C3A930", "blob 0 72C3A931", "blob 2 72C3A932"}));

    find.startThrow().bindTextThrow(1, QStringLiteral("r\u00e97"));
    QCOMPARE(find.int64Throw(), 7);
    find.startThrow().bindTextThrow(1, QStringLiteral("none"));
    QCOMPARE(find.int64Throw(), 0);
    // A finished query holds no read lock: another connection can write at once.
    find.startThrow().bindTextThrow(1, QStringLiteral("r\u00e92"));
    QCOMPARE(find.int64Throw(), 2);
    Sqlite3DB other;
    other.openThrow(path, Sqlite3DB::ReadWrite);
    QElapsedTimer waited;
    waited.start();
    other.executeThrow("insert into t(a) values(100)");
    QVERIFY(waited.elapsed() < 5000);

    // A new run starts without the last run's values.
    insert.startThrow().bindInt64Throw(1, 101);
    insert.runThrow();
    QCOMPARE(countRows(db, "t where a=101 and b is null and c is null"), 1);

    // After the connection closed and opened again, the statements are prepared anew.
    db.close();
    QVERIFY(errorText([&] { insert.startThrow(); }).contains("not open"));
    db.openThrow(path, Sqlite3DB::ReadWrite);
    find.startThrow().bindTextThrow(1, QStringLiteral("r\u00e95"));
    QCOMPARE(find.int64Throw(), 5);
}

void TestSqlite3::cursorsSharingSql()
{
    Sqlite3DB db;
    openWithTable(db, newPath());
    for (int i = 1; i <= 5; ++i)
        db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(i));

    const Sqlite3Sql inRange = Sqlite3Sql("select a from t where a>=? and a<100 order by a");
    Sqlite3Cursor outer = db.queryThrow(Sqlite3Sql(inRange).addIntParam(1));
    QList<int> pairs;
    while (outer.moveNext()) {
        // The same SQL again while the outer cursor is in the middle of its rows.
        Sqlite3Cursor inner = db.queryThrow(Sqlite3Sql(inRange).addIntParam(outer.getInt("a")));
        int count = 0;
        while (inner.moveNext())
            ++count;
        pairs << outer.getInt("a") * 10 + count;
        db.executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(100 + outer.getInt("a")));
    }
    QCOMPARE(pairs, (QList<int>{15, 24, 33, 42, 51}));
    QCOMPARE(countRows(db, "t"), 10);

    // Replacing a cursor by a new one on the same SQL does not prepare every time.
    const qint64 before = db.statementsPrepared();
    Sqlite3Cursor kept;
    for (int i = 1; i <= 50; ++i) {
        kept = db.queryThrow(Sqlite3Sql("select a from t where a=?").addIntParam(i % 5 + 1));
        QVERIFY(kept.moveNext());
        QCOMPARE(kept.getInt(0), i % 5 + 1);
    }
    QVERIFY(db.statementsPrepared() - before <= 2);
}

void TestSqlite3::cursorLifetime()
{
    auto db = std::make_unique<Sqlite3DB>();
    openWithTable(*db, newPath());
    for (int i = 1; i <= 3; ++i)
        db->executeThrow(Sqlite3Sql("insert into t(a) values(?)").addIntParam(i));

    // A copy keeps the statement and its position after the original is gone.
    Sqlite3Cursor copy;
    {
        Sqlite3Cursor original = db->queryThrow("select a from t order by a");
        QVERIFY(original.moveNext());
        copy = original;
    }
    QCOMPARE(copy.getInt("a"), 1);
    QVERIFY(copy.moveNext());
    QCOMPARE(copy.getInt("a"), 2);
    QVERIFY(copy.moveNext());
    QVERIFY(!copy.moveNext());
    QVERIFY(!copy.moveNext());   // stays at the end instead of starting over
    QCOMPARE(copy.getInt("a"), 0);

    // Cursors outliving their connection raise instead of crashing.
    Sqlite3Cursor open = db->queryThrow("select a from t order by a");
    QVERIFY(open.moveNext());
    Sqlite3Cursor unstarted = db->queryThrow("select count(*) from t");
    db.reset();
    QCOMPARE(open.getInt("a"), 0);
    QCOMPARE(open.columnCount(), 0);
    QVERIFY(errorText([&] { open.moveNext(); }).contains("closed"));
    QVERIFY(errorText([&] { unstarted.moveNext(); }).contains("closed"));
    QVERIFY(!Sqlite3Cursor().moveNext());
}

void TestSqlite3::valuesAndTypes()
{
    Sqlite3DB db;
    db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
    db.executeThrow("create table v(i INTEGER, r REAL, s TEXT, b BLOB, e BLOB, n BLOB)");
    const QString text = QString::fromUtf8("Grüße 😀 中文");
    const QByteArray blob("\x00\x01\xff\x00", 4);
    db.executeThrow(Sqlite3Sql("insert into v values(?,?,?,?,?,?)")
                        .addInt64Param(qint64(1) << 40)
                        .addDoubleParam(2.5)
                        .addTextParam(text)
                        .addBlobParam(blob)
                        .addBlobParam(QByteArray(""))
                        .addNullParam());
    db.executeThrow(Sqlite3Sql("insert into v(i, s) values(?,?)").addParam(true).addParam(QString()));

    Sqlite3Cursor cursor = db.queryThrow("select * from v order by rowid");
    QCOMPARE(cursor.getInt64("i"), 0);   // before the first row
    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.columnCount(), 6);
    QCOMPARE(cursor.columnName(3), QString("b"));
    QCOMPARE(cursor.columnIndex("S"), 2);   // names ignore case
    QCOMPARE(cursor.columnIndex("missing"), -1);
    QCOMPARE(cursor.getInt64("i"), qint64(1) << 40);
    QCOMPARE(cursor.getDouble("r"), 2.5);
    QCOMPARE(cursor.getText("s"), text);
    QCOMPARE(cursor.getBlob("b"), blob);
    QVERIFY(!cursor.isNull("e"));
    QVERIFY(!cursor.getBlob("e").isNull());
    QVERIFY(cursor.getBlob("e").isEmpty());
    QVERIFY(cursor.isNull("n"));
    QVERIFY(cursor.getBlob("n").isNull());
    QCOMPARE(cursor.getInt("missing"), 0);
    QCOMPARE(cursor.getText(17), QString());

    const Sqlite3Row row = cursor.getRow();
    QCOMPARE(row.columns(), (QStringList{"i", "r", "s", "b", "e", "n"}));
    QCOMPARE(row.value("i").typeId(), int(QMetaType::LongLong));
    QCOMPARE(row.value("r").typeId(), int(QMetaType::Double));
    QCOMPARE(row.value("s"), QVariant(text));
    QCOMPARE(row.value("b"), QVariant(blob));
    QCOMPARE(row.value("e").typeId(), int(QMetaType::QByteArray));
    QVERIFY(!row.value("n").isValid());

    QVERIFY(cursor.moveNext());
    QCOMPARE(cursor.getInt("i"), 1);
    QVERIFY(!cursor.isNull("s"));   // a null string is stored as empty text
    QVERIFY(!cursor.moveNext());
}

void TestSqlite3::transactions()
{
    const QString path = newPath();
    auto db = std::make_unique<Sqlite3DB>();
    openWithTable(*db, path);
    QVERIFY(!db->inTransaction());

    db->beginTran();
    QVERIFY(db->inTransaction());
    QVERIFY(!errorText([&] { db->beginTran(); }).isEmpty());
    db->executeThrow("insert into t(a) values(1)");
    db->commitTran();
    QVERIFY(!db->inTransaction());
    QVERIFY(!errorText([&] { db->commitTran(); }).isEmpty());

    db->beginTran();
    db->executeThrow("insert into t(a) values(2)");
    db->rollbackTran();
    QVERIFY(!db->inTransaction());
    db->rollbackTran();   // harmless outside a transaction

    // A connection that goes away mid-job keeps what was committed and nothing else.
    db->beginTran();
    db->executeThrow("insert into t(a) values(3)");
    Sqlite3Cursor pending = db->queryThrow("select a from t");
    QVERIFY(pending.moveNext());
    db.reset();

    Sqlite3DB reader;
    reader.openThrow(path, Sqlite3DB::ReadWrite);
    Sqlite3Cursor rows = reader.queryThrow("select group_concat(a) from t");
    QVERIFY(rows.moveNext());
    QCOMPARE(rows.getText(0), QString("1"));
    QVERIFY(!QFile::exists(path + "-journal"));
}

void TestSqlite3::busyConnectionWaits()
{
    const QString path = newPath();
    SleepWatch watch;
    Sqlite3DB first;
    openWithTable(first, path);
    first.beginTran();
    first.executeThrow("insert into t(a) values(1)");

    QString otherError = "not run";
    std::thread other([&] {
        otherError = errorText([&] {
            Sqlite3DB second;
            second.openThrow(path, Sqlite3DB::ReadWrite);
            second.beginTran();   // waits for the first connection's commit
            second.executeThrow("insert into t(a) values(2)");
            second.commitTran();
        });
    });
    QTRY_VERIFY_WITH_TIMEOUT(SleepWatch::slept(), 10000);   // the other one waits
    first.commitTran();
    other.join();
    QVERIFY2(otherError.isEmpty(), qPrintable(otherError));
    QCOMPARE(countRows(first, "t"), 2);
}

// The common failures name the file and say what is wrong, without the engine's text or the SQL.
void TestSqlite3::failuresInTheProgramsWords()
{
    const QString path = newPath();
    Sqlite3DB db;
    openWithTable(db, path);
    db.executeThrow("pragma max_page_count = 4");   // a disk that fills up at once
    const QString full = errorText([&] { db.executeThrow("insert into t(a) values(zeroblob(100000))"); });
    QVERIFY2(full.startsWith(QStringLiteral("The disk is full: %1 could not be written.").arg(path)), qPrintable(full));
    db.close();

    Sqlite3DB reader;
    reader.openThrow(path, SQLITE_OPEN_READONLY);
    QCOMPARE(errorText([&] { reader.executeThrow("insert into t(a) values(1)"); }),
             QStringLiteral("The database %1 is read-only and cannot be changed.").arg(path));
    QCOMPARE(errorText([&] { reader.execScriptThrow("delete from t;"); }),
             QStringLiteral("The database %1 is read-only and cannot be changed.").arg(path));
    reader.close();

    // Opened by URI, it is still named by its path.
    const QString uri = QUrl::fromLocalFile(path).toString() + QStringLiteral("?mode=ro");
    reader.openThrow(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    const QString viaUri = errorText([&] { reader.executeThrow("delete from t"); });
    QVERIFY2(viaUri.contains(path) && !viaUri.contains(QLatin1String("file:")) && !viaUri.contains(QLatin1String("delete")),
             qPrintable(viaUri));
}

void TestSqlite3::scripts()
{
    Sqlite3DB db;
    db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
    db.execScriptThrow("create table a(x);\ncreate index a_x on a(x);\ninsert into a values(1);\n"
                       "insert into a values(2);");
    QCOMPARE(countRows(db, "a"), 2);

    // The script ends at its first NUL byte.
    db.execScriptThrow(QByteArray("insert into a values(3);\0insert into a values(4);", 48));
    QCOMPARE(countRows(db, "a"), 3);

    const QString error = errorText(
        [&] { db.execScriptThrow("insert into a values(5); insert into missing values(1); insert into a values(6);"); });
    QCOMPARE(error, QString("no such table: missing"));
    QCOMPARE(countRows(db, "a"), 4);   // statements before the failing one stay
}

void TestSqlite3::tableColumns()
{
    Sqlite3DB db;
    db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
    db.executeThrow("create table \"odd \"\"name\"(_id INTEGER PRIMARY KEY AUTOINCREMENT, "
                    "ts LONG NOT NULL DEFAULT 0, body TEXT, data BLOB)");
    const QList<Sqlite3Column> columns = db.tbCols("odd \"name");
    QCOMPARE(columns.size(), 4);
    QCOMPARE(columns[0].name, QString("_id"));
    QCOMPARE(columns[0].type, QString("INTEGER"));
    QVERIFY(columns[0].primaryKey);
    QCOMPARE(columns[1].name, QString("ts"));
    QCOMPARE(columns[1].type, QString("LONG"));
    QVERIFY(columns[1].notNull);
    QCOMPARE(columns[1].defaultValue, QString("0"));
    QVERIFY(!columns[2].primaryKey && !columns[2].notNull);
    QCOMPARE(columns[3].name, QString("data"));
    QVERIFY(db.tbCols("missing").isEmpty());
}

void TestSqlite3::rowInsertSql()
{
    Sqlite3DB db;
    db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
    db.executeThrow("create table \"my table\"(_id INTEGER PRIMARY KEY, \"order\" INTEGER, "
                    "\"say \"\"hi\"\"\" TEXT, data BLOB, other BLOB, r REAL)");

    Sqlite3Row row;
    row.setVal("order", 1);
    row.setVal("say \"hi\"", QString::fromUtf8("héllo"));
    row.setVal("data", QByteArray("\x00\x7f\x00", 3));
    row.setVal("other", QVariant());
    row.setVal("r", 0.25);
    row.setVal("ORDER", 7);   // the same column: replaced, not doubled
    QCOMPARE(row.size(), 5);
    QCOMPARE(row.value("order"), QVariant(7));

    const Sqlite3Sql sql = row.insertSql("my table");
    QCOMPARE(sql.params().size(), 5);
    db.executeThrow(sql);
    const qint64 id = db.lastInsertId();
    QCOMPARE(id, 1);

    db.executeThrow(row.insertSql("my table", {"order", "r"}));
    db.executeThrow(Sqlite3Row().insertSql("my table"));

    Sqlite3Cursor cursor = db.queryThrow("select * from \"my table\" order by _id");
    QVERIFY(cursor.moveNext());
    Sqlite3Row back = cursor.getRow();
    QCOMPARE(back.value("order"), QVariant(qint64(7)));
    QCOMPARE(back.value("say \"hi\""), QVariant(QString::fromUtf8("héllo")));
    QCOMPARE(back.value("data"), QVariant(QByteArray("\x00\x7f\x00", 3)));
    QVERIFY(!back.value("other").isValid());
    QCOMPARE(back.value("r"), QVariant(0.25));
    QVERIFY(cursor.moveNext());
    QVERIFY(cursor.isNull("say \"hi\""));
    QVERIFY(cursor.isNull("data"));
    QCOMPARE(cursor.getInt("order"), 7);
    QVERIFY(cursor.moveNext());
    QVERIFY(cursor.isNull("order"));
    QCOMPARE(cursor.getInt64("_id"), 3);

    // A row read back inserts as an identical copy.
    back.setVal("_id", QVariant());
    db.executeThrow(back.insertSql("my table"));
    Sqlite3Cursor copy = db.queryThrow(Sqlite3Sql("select * from \"my table\" where _id=?").addInt64Param(db.lastInsertId()));
    QVERIFY(copy.moveNext());
    Sqlite3Row copied = copy.getRow();
    copied.setVal("_id", QVariant());
    QCOMPARE(copied.columns(), back.columns());
    for (const QString &column : back.columns())
        QCOMPARE(copied.value(column), back.value(column));
}

void TestSqlite3::workLimitOfFilesFromOutside()
{
    // A view that never ends, as a hostile file may hold one.
    const QString path = newPath();
    Sqlite3DB db;
    openWithTable(db, path);
    db.execScriptThrow("insert into t values (1, 'one'), (2, 'two');"
                       "create view endless as with recursive n(i) as (select 1 union all select i + 1 from n) select i from n;");
    db.limitWorkToFileSizeThrow();
    const QString expected = QStringLiteral("The file %1 is damaged: it asks for work that never comes to an end.").arg(path);
    QCOMPARE(errorText([&] { db.queryThrow("select count(*) from endless").moveNext(); }), expected);
    QCOMPARE(errorText([&] {
                 Sqlite3Cursor rows = db.queryThrow("select i from endless");
                 while (rows.moveNext()) { }
             }),
             expected);
    QCOMPARE(errorText([&] { db.execScriptThrow("select max(i) from endless"); }), expected);
    // Each run has its own allowance: ordinary statements still run, again and again.
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(countRows(db, "t"), 2);
}

QTEST_GUILESS_MAIN(TestSqlite3)
#include "TestSqlite3.moc"

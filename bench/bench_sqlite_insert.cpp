// Inserting rows one statement at a time through the access layer, beside the sqlite3 shell
// doing the same work in the same run: once as a script of single inserts (each parsed by
// the shell) and once as a single set-based statement (the engine's floor).
#include "db/Sqlite3DB.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const char *kCreate = "create table t(a INTEGER, b TEXT, c REAL);";

qint64 countRows(const QString &path)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWrite);
    Sqlite3Cursor cursor = db.queryThrow("select count(*) from t");
    return cursor.moveNext() ? cursor.getInt64(0) : -1;
}

double insertThroughLayer(const QString &path, qint64 rows)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWriteCreate);
    db.execScriptThrow(kCreate);
    QElapsedTimer timer;
    timer.start();
    db.beginTran();
    for (qint64 i = 1; i <= rows; ++i) {
        db.executeThrow(Sqlite3Sql("insert into t(a,b,c) values(?,?,?)")
                            .addInt64Param(i)
                            .addTextParam(QStringLiteral("row ") + QString::number(i))
                            .addDoubleParam(i * 0.5));
    }
    db.commitTran();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("  statements prepared: %lld\n", static_cast<long long>(db.statementsPrepared()));
    return seconds;
}

// Seconds the shell needs for the script, or a negative value when it fails.
double runShell(const QString &shell, const QString &path, const QString &scriptFile)
{
    QProcess process;
    process.setStandardInputFile(scriptFile);
    QElapsedTimer timer;
    timer.start();
    process.start(shell, {path});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::printf("  sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

void report(const char *what, double seconds, qint64 rows, double layerSeconds)
{
    std::printf("%-44s %8.3f s  %10.0f rows/s", what, seconds, rows / seconds);
    if (layerSeconds > 0 && seconds > 0)
        std::printf("  layer/this = %.2f", layerSeconds / seconds);
    std::printf("\n");
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 rows = 1000000;
    if (argc > 1 && QByteArray(argv[1]).toLongLong() > 0)
        rows = QByteArray(argv[1]).toLongLong();

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString layerDb = dir.filePath("layer.sqlite");
    std::printf("Inserting %lld rows (integer, text, real) in one transaction\n", static_cast<long long>(rows));
    double layerSeconds = 0;
    try {
        layerSeconds = insertThroughLayer(layerDb, rows);
        if (countRows(layerDb) != rows) {
            std::fprintf(stderr, "layer stored a wrong number of rows\n");
            return 1;
        }
    } catch (const std::runtime_error &e) {
        std::fprintf(stderr, "layer failed: %s\n", e.what());
        return 1;
    }
    report("Sqlite3DB::executeThrow, one insert per row", layerSeconds, rows, 0);

    const QString shell = QStandardPaths::findExecutable("sqlite3");
    if (shell.isEmpty()) {
        std::printf("sqlite3 shell not found: no baseline\n");
        return 0;
    }

    QByteArray script = QByteArray(kCreate) + "\nbegin;\n";
    script.reserve(int(rows) * 56);
    for (qint64 i = 1; i <= rows; ++i) {
        const QByteArray n = QByteArray::number(i);
        script += "insert into t(a,b,c) values(" + n + ",'row " + n + "'," + QByteArray::number(i * 0.5, 'g', 17) + ");\n";
    }
    script += "commit;\n";
    const QString singleScript = dir.filePath("single.sql");
    const QString setScript = dir.filePath("set.sql");
    const QByteArray setBased = QByteArray(kCreate)
                                + "\nbegin;\nwith recursive seq(x) as (select 1 union all "
                                  "select x+1 from seq where x<"
                                + QByteArray::number(rows)
                                + ")\n"
                                  "insert into t(a,b,c) select x, 'row ' || x, x*0.5 from seq;\ncommit;\n";
    if (!writeFile(singleScript, script) || !writeFile(setScript, setBased)) {
        std::fprintf(stderr, "cannot write the shell scripts\n");
        return 1;
    }
    script.clear();

    const QString singleDb = dir.filePath("shell_single.sqlite");
    const double singleSeconds = runShell(shell, singleDb, singleScript);
    if (singleSeconds > 0 && countRows(singleDb) == rows)
        report("sqlite3 shell, script of single inserts", singleSeconds, rows, layerSeconds);

    const QString setDb = dir.filePath("shell_set.sqlite");
    const double setSeconds = runShell(shell, setDb, setScript);
    if (setSeconds > 0 && countRows(setDb) == rows)
        report("sqlite3 shell, one set-based insert", setSeconds, rows, layerSeconds);
    return 0;
}

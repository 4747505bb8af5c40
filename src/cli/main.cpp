#include "app/AppFolders.h"
#include "app/LogHandler.h"
#include "cli/CliOutput.h"
#include "cli/CliRunner.h"
#include "db/Sqlite3DB.h"

#include <QCoreApplication>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    if (sqlite_qt_version() != 7) {
        printErr(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    // The program's own log, but stdout stays for results.
    setupLogging(logFolder(), 10, false);
    return runCli(QCoreApplication::arguments().mid(1));
}

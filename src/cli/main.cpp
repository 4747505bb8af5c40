#include "app/AppFolders.h"
#include "app/LogHandler.h"
#include "app/PrivateCacheSweep.h"
#include "app/ProcessSetup.h"
#include "app/TimeZoneSetup.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliRunner.h"
#include "db/Sqlite3DB.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTranslator>

#include <memory>

int main(int argc, char *argv[])
{
    prepareProcess();
    pinSystemTimeZone();
    // Commands that draw pages need Qt's fonts, which come with the GUI side; no display is used.
    const CliCommand *command = argc > 1 ? CliRegistry::find(QString::fromLocal8Bit(argv[1])) : nullptr;
    const bool gui = command && command->needsGuiApplication();
    if (gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app(gui ? new QGuiApplication(argc, argv) : new QCoreApplication(argc, argv));

    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    if (sqlite_qt_version() != 7) {
        printErr(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    // The program's own log, but stdout stays for results.
    setupLogging(logFolder(), 10, false);
    removeLeftWorkFolders();
    return runCli(QCoreApplication::arguments().mid(1));
}

#include "TestEnv.h"

#include "CliRun.h"
#include "TestFiles.h"

#include "StreamCapture.h"
#include "app/AppConstants.h"
#include "cli/BackupPassword.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliRunner.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace {

// A command that fails the way later commands may: with a usage error or a rich-text error.
class FailCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("zz-fail"); }
    QString summary() const override { return QStringLiteral("Fails on purpose."); }
    QString arguments() const override { return QStringLiteral("HOW"); }
    QList<QCommandLineOption> options() const override { return {passwordFileOption()}; }
    int run(const QCommandLineParser &args) override
    {
        if (args.positionalArguments() == QStringList{QStringLiteral("usage")})
            throw CliUsageError(QStringLiteral("HOW is missing"));
        throw std::runtime_error("Cannot open x.db:\ndisk & more");
    }
};
const CliRegistration<FailCommand> registration;

}   // namespace

class TestCli : public QObject
{
    Q_OBJECT
    TestEnv env;

    static QString password(const QStringList &arguments)
    {
        QCommandLineParser parser;
        parser.addOption(passwordFileOption());
        parser.parse(QStringList{QStringLiteral("parlewick-cli")} + arguments);
        return QString::fromUtf8(readBackupPasswordThrow(parser).bytes());
    }

    QString writeFile(const QString &name, const QByteArray &bytes) { return writtenFile(env.path(name), bytes); }

private slots:
    void versionPrintsOnlyTheVersionAndLogsToTheDataFolder()
    {
        const CliRun run = runCliTool({QStringLiteral("version")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("Parlewick 3.1.01\n"));
        QCOMPARE(run.err, QString());
        const QString logs = env.path(QStringLiteral(".local/share/Talvora/%1/qlogs").arg(AppConstants::ProductId));
        QVERIFY2(logsText(logs).contains(QLatin1String("parlewick-cli version")), qPrintable(logs));
    }

    void helpListsTheCommands()
    {
        const CliRun run = runCliTool({QStringLiteral("--help")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.startsWith("Usage: parlewick-cli COMMAND"));
        QVERIFY(run.out.contains("\n  version   Print the program's name and version.\n"));
        QCOMPARE(run.err, QString());

        const CliRun command = runCliTool({QStringLiteral("version"), QStringLiteral("-h")});
        QCOMPARE(command.code, 0);
        QVERIFY(command.out.startsWith("Usage: parlewick-cli version\n"));
    }

    void wrongCommandLinesExitWithUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("nothing") << QStringList{} << QByteArray("no command given");
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << QByteArray("unknown command 'frobnicate'");
        QTest::newRow("unknown option") << QStringList{"version", "--fast"} << QByteArray("Unknown option 'fast'");
        QTest::newRow("extra argument") << QStringList{"version", "now"} << QByteArray("version takes no arguments");
    }

    void wrongCommandLinesExitWithUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        const CliRun run = runCliTool(arguments);
        QCOMPARE(run.code, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith(QString::fromUtf8("parlewick-cli: " + message)), qPrintable(run.err));
        QVERIFY(run.err.contains("\nUsage: parlewick-cli "));
    }

    void commandFailuresBecomeExitCodes()
    {
        QVERIFY(CliRegistry::find(QStringLiteral("version")));
        QCOMPARE(CliRegistry::commands().back()->name(), QStringLiteral("zz-fail"));   // sorted by name
        {
            StreamCapture err(STDERR_FILENO);
            QCOMPARE(runCli({QStringLiteral("zz-fail"), QStringLiteral("usage")}), 2);
            QCOMPARE(err.text(), QByteArray("parlewick-cli: HOW is missing\n"
                                            "Usage: parlewick-cli zz-fail [options] HOW (see --help)\n"));
        }
        {
            StreamCapture err(STDERR_FILENO);
            QCOMPARE(runCli({QStringLiteral("zz-fail"), QStringLiteral("other")}), 1);
            QCOMPARE(err.text(), QByteArray("Cannot open x.db:\ndisk & more\n"));
        }
        {
            StreamCapture out(STDOUT_FILENO);
            QCOMPARE(runCli({QStringLiteral("zz-fail"), QStringLiteral("--help")}), 0);
            const QByteArray help = out.text();
            QVERIFY(help.contains("--password-file FILE  Read the backup password from FILE."));
            QVERIFY(help.contains("-h, --help"));
        }
    }

    void passwordComesFromFileThenEnvironment()
    {
        qunsetenv("PARLEWICK_BACKUP_PASSWORD");
        const QString file = writeFile(QStringLiteral("pw.txt"), QByteArray(" secret pass \xc3\xa9\r\n"));
        QCOMPARE(password({QStringLiteral("--password-file"), file}), QStringLiteral(" secret pass \u00e9"));

        // Taken out of the environment once read: no program started later inherits it.
        qputenv("PARLEWICK_BACKUP_PASSWORD", "from-env");
        QCOMPARE(password({}), QStringLiteral("from-env"));
        QVERIFY(!qEnvironmentVariableIsSet("PARLEWICK_BACKUP_PASSWORD"));
        QProcess child;
        child.start(QStringLiteral("/usr/bin/env"), {});
        QVERIFY(child.waitForFinished());
        QVERIFY(!child.readAllStandardOutput().contains("PARLEWICK_BACKUP_PASSWORD"));
        QCOMPARE(password({}), QStringLiteral("from-env"));
        QCOMPARE(password({QStringLiteral("--password-file=") + file}), QStringLiteral(" secret pass \u00e9"));
    }

    void unusablePasswordSourcesAreRefused()
    {
        qunsetenv("PARLEWICK_BACKUP_PASSWORD");
        const QString empty = writeFile(QStringLiteral("empty.txt"), QByteArray("\n"));
        const QString huge = writeFile(QStringLiteral("huge.txt"), QByteArray(100000, 'p'));
        for (const QString &path : {empty, huge, env.path(QStringLiteral("none.txt"))})
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, password({"--password-file", path}));

        // No file, no variable and no terminal to ask on.
        StreamCapture in(STDIN_FILENO, QByteArray("typed\n"));
        qputenv("PARLEWICK_BACKUP_PASSWORD", "");
        QVERIFY_THROWS_EXCEPTION(CliUsageError, password({}));
        qunsetenv("PARLEWICK_BACKUP_PASSWORD");
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "TestCli.moc"

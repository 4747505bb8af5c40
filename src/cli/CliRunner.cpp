#include "cli/CliRunner.h"

#include "cli/CliCommand.h"
#include "cli/CliDevice.h"
#include "cli/CliOutput.h"

#include <QDebug>

#include <algorithm>

namespace {

const char kToolUsage[] = "Usage: parlewick-cli COMMAND [options] [arguments]";

QString toolHelp()
{
    QString text = QStringLiteral("%1\n\nWorks with the Kik chat history that Parlewick keeps in its local databases, "
                                  "iTunes backups and connected iPhones.\n\nCommands:\n")
                       .arg(QLatin1String(kToolUsage));
    qsizetype width = 0;
    for (const auto &command : CliRegistry::commands())
        width = std::max(width, command->name().size());
    for (const auto &command : CliRegistry::commands())
        text += QStringLiteral("  %1  %2\n").arg(command->name().leftJustified(width), command->summary());
    text += QStringLiteral("\nRun \"parlewick-cli COMMAND --help\" for the options of a command.\n"
                           "\nExit codes: 0 done, 1 failed (the message is on stderr), 2 wrong command line, "
                           "130 stopped with Ctrl-C.\n");
    return text;
}

int usageError(const QString &message, const QString &usage)
{
    printErr(QStringLiteral("parlewick-cli: ") + message);
    printErr(usage + QStringLiteral(" (see --help)"));
    return CliExitUsage;
}

bool isHelp(const QString &argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

int runCommand(CliCommand &command, const QStringList &arguments)
{
    const QString usage = QStringLiteral("Usage: ") + command.usageLine();
    QCommandLineParser parser;
    parser.addOptions(command.options());
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOption(help);
    if (!parser.parse(QStringList{QStringLiteral("parlewick-cli")} + arguments))
        return usageError(parser.errorText(), usage);
    if (parser.isSet(help)) {
        printOut(command.helpText().chopped(1));
        return CliExitOk;
    }
    try {
        useBackupDirOption(command.options(), parser);
        return command.run(parser);
    } catch (const CliUsageError &error) {
        return usageError(QString::fromUtf8(error.what()), usage);
    } catch (const CliCanceled &canceled) {
        printErr(QString::fromUtf8(canceled.what()));
        return CliExitCanceled;
    } catch (const std::exception &error) {
        const QString message = QString::fromUtf8(error.what());
        qDebug().noquote() << command.name() << "failed:" << message;
        printErr(message.trimmed());
        return CliExitFailed;
    }
}

}   // namespace

int runCli(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return usageError(QStringLiteral("no command given"), QLatin1String(kToolUsage));
    const QString &first = arguments.first();
    if (isHelp(first)) {
        printOut(toolHelp().chopped(1));
        return CliExitOk;
    }
    CliCommand *command = CliRegistry::find(first);
    if (!command)
        return usageError(QStringLiteral("unknown command '%1'").arg(first), QLatin1String(kToolUsage));
    qDebug().noquote() << "parlewick-cli" << command->name();
    return runCommand(*command, arguments.mid(1));
}

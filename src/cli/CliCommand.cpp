#include "cli/CliCommand.h"

#include <algorithm>

namespace {

std::vector<std::unique_ptr<CliCommand>> &registry()
{
    static std::vector<std::unique_ptr<CliCommand>> commands;
    return commands;
}

QString optionSynopsis(const QCommandLineOption &option)
{
    QStringList forms;
    for (const QString &name : option.names())
        forms << (name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name;
    QString synopsis = forms.join(QLatin1String(", "));
    if (!option.valueName().isEmpty())
        synopsis += QLatin1Char(' ') + option.valueName();
    return synopsis;
}

}   // namespace

CliUsageError::CliUsageError(const QString &message)
    : AppError(message)
{
}

QString CliCommand::usageLine() const
{
    QString line = QStringLiteral("parlewick-cli ") + name();
    if (!options().isEmpty())
        line += QLatin1String(" [options]");
    if (!arguments().isEmpty())
        line += QLatin1Char(' ') + arguments();
    return line;
}

QString CliCommand::helpText() const
{
    QString text = QStringLiteral("Usage: %1\n\n%2\n").arg(usageLine(), summary());
    if (!description().isEmpty())
        text += QLatin1Char('\n') + description() + QLatin1Char('\n');
    QList<QCommandLineOption> all = options();
    all.append(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")));
    qsizetype width = 0;
    for (const QCommandLineOption &option : all)
        width = std::max(width, optionSynopsis(option).size());
    text += QLatin1String("\nOptions:\n");
    for (const QCommandLineOption &option : all)
        text += QStringLiteral("  %1  %2\n").arg(optionSynopsis(option).leftJustified(width), option.description());
    return text;
}

void CliRegistry::add(std::unique_ptr<CliCommand> command)
{
    auto &commands = registry();
    const auto place = std::lower_bound(commands.begin(), commands.end(), command->name(),
                                        [](const auto &existing, const QString &name) { return existing->name() < name; });
    if (place != commands.end() && (*place)->name() == command->name())
        *place = std::move(command);
    else
        commands.insert(place, std::move(command));
}

const std::vector<std::unique_ptr<CliCommand>> &CliRegistry::commands()
{
    return registry();
}

CliCommand *CliRegistry::find(const QString &name)
{
    for (const auto &command : registry()) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}

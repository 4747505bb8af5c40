#include "BashCompletion.h"

#include <functional>

namespace {

QStringList optionNames(const CliCommandHelp &command)
{
    QStringList names;
    for (const CliOptionHelp &option : command.options)
        names << option.names;
    return names;
}

// Options whose value is one of valueNames in some command's help.
QStringList optionsTaking(const CliHelp &help, const std::function<bool(const QString &)> &valueNames)
{
    QStringList names;
    for (const CliCommandHelp &command : help.commands) {
        for (const CliOptionHelp &option : command.options) {
            if (valueNames(option.valueName))
                names << option.names;
        }
    }
    names.removeDuplicates();
    names.sort();
    return names;
}

QStringList without(QStringList names, const QStringList &others)
{
    for (const QString &other : others)
        names.removeAll(other);
    return names;
}

}   // namespace

QString bashCompletion(const CliHelp &help)
{
    QStringList commands;
    QString perCommand;
    for (const CliCommandHelp &command : help.commands) {
        commands << command.name;
        perCommand +=
            QStringLiteral("        %1) words=\"%2\" ;;\n").arg(command.name, optionNames(command).join(QLatin1Char(' ')));
    }
    // A value that is a file in one command and a folder in another completes as a file.
    const QStringList files = optionsTaking(
        help, [](const QString &value) { return value == QLatin1String("FILE") || value == QLatin1String("PATH"); });
    const QStringList folders =
        without(optionsTaking(help, [](const QString &value) { return value == QLatin1String("DIR"); }), files);
    const QStringList valued =
        without(optionsTaking(help, [](const QString &value) { return !value.isEmpty(); }), files + folders);

    return QStringLiteral("# bash completion for parlewick-cli, written from its help when it was built.\n"
                          "_parlewick_cli()\n"
                          "{\n"
                          "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} words\n"
                          "    COMPREPLY=()\n"
                          "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
                          "        COMPREPLY=($(compgen -W \"%1 --help\" -- \"$cur\"))\n"
                          "        return\n"
                          "    fi\n"
                          "    case $prev in\n"
                          "        %2) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
                          "        %3) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
                          "        %4) return ;;\n"
                          "    esac\n"
                          "    case ${COMP_WORDS[1]} in\n"
                          "%5"
                          "        *) return ;;\n"
                          "    esac\n"
                          "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
                          "}\n"
                          "complete -F _parlewick_cli parlewick-cli\n")
        .arg(commands.join(QLatin1Char(' ')), folders.join(QLatin1Char('|')), files.join(QLatin1Char('|')),
             valued.join(QLatin1Char('|')), perCommand);
}

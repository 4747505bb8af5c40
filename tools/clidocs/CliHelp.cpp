#include "CliHelp.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

QStringList helpLines(const QString &program, const QStringList &arguments)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw std::runtime_error(("no help from " + program + ' ' + arguments.join(' ')).toStdString());
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
}

QString usageOf(const QStringList &lines)
{
    static const QString prefix = QStringLiteral("Usage: ");
    if (lines.isEmpty() || !lines.first().startsWith(prefix))
        throw std::runtime_error("help without a usage line");
    return lines.first().mid(prefix.size());
}

// "  name  text": an indented name, two spaces or more, the text.
bool splitEntry(const QString &line, QString *name, QString *text)
{
    static const QRegularExpression entry(QStringLiteral("^  (\\S.*?)  +(\\S.*)$"));
    const QRegularExpressionMatch match = entry.match(line);
    if (!match.hasMatch())
        return false;
    *name = match.captured(1);
    *text = match.captured(2);
    return true;
}

CliOptionHelp optionOf(const QString &synopsis, const QString &description)
{
    CliOptionHelp option;
    option.description = description;
    for (const QString &form : synopsis.split(QStringLiteral(", "))) {
        const QStringList parts = form.split(QLatin1Char(' '));
        option.names << parts.first();
        if (parts.size() > 1)
            option.valueName = parts.at(1);
    }
    return option;
}

CliCommandHelp commandHelp(const QString &program, const QString &name, const QString &summary)
{
    const QStringList lines = helpLines(program, {name, QStringLiteral("--help")});
    CliCommandHelp command;
    command.name = name;
    command.summary = summary;
    command.usage = usageOf(lines);
    const qsizetype options = lines.indexOf(QStringLiteral("Options:"));
    if (options < 0)
        throw std::runtime_error(("no options in the help of " + name).toStdString());
    // Usage, blank, summary, blank, then the description up to the blank before "Options:".
    command.description = lines.mid(4, options - 4).join(QLatin1Char('\n')).trimmed();
    for (const QString &line : lines.mid(options + 1)) {
        QString synopsis;
        QString description;
        if (splitEntry(line, &synopsis, &description))
            command.options << optionOf(synopsis, description);
    }
    return command;
}

}   // namespace

CliHelp readCliHelp(const QString &program)
{
    const QStringList lines = helpLines(program, {QStringLiteral("--help")});
    CliHelp help;
    help.usage = usageOf(lines);
    bool inCommands = false;
    QString paragraph;
    for (const QString &line : lines.mid(1)) {
        if (line == QLatin1String("Commands:")) {
            inCommands = true;
            continue;
        }
        QString name;
        QString summary;
        if (inCommands && splitEntry(line, &name, &summary)) {
            help.commands << commandHelp(program, name, summary);
            continue;
        }
        inCommands = false;
        if (line.trimmed().isEmpty()) {
            if (!paragraph.isEmpty())
                help.paragraphs << paragraph;
            paragraph.clear();
        } else {
            paragraph += (paragraph.isEmpty() ? QString() : QStringLiteral(" ")) + line.trimmed();
        }
    }
    if (!paragraph.isEmpty())
        help.paragraphs << paragraph;
    if (help.commands.isEmpty())
        throw std::runtime_error("the help lists no commands");
    help.version = helpLines(program, {QStringLiteral("version")}).value(0);
    return help;
}

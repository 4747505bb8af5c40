#include "ManPage.h"

namespace {

// Text as roff shows it: backslashes written out, no line taken for a request.
QString roff(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    QStringList lines = escaped.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            line.prepend(QStringLiteral("\\&"));
    }
    return lines.join(QLatin1Char('\n'));
}

// Options and the tool's name are typed as they stand: their hyphens are minus signs.
QString literal(const QString &text)
{
    return roff(text).replace(QLatin1Char('-'), QStringLiteral("\\-"));
}

QString optionTerm(const CliOptionHelp &option)
{
    QStringList forms;
    for (const QString &name : option.names) {
        QString form = QStringLiteral("\\fB") + literal(name) + QStringLiteral("\\fR");
        if (!option.valueName.isEmpty())
            form += QStringLiteral(" \\fI") + roff(option.valueName) + QStringLiteral("\\fR");
        forms << form;
    }
    return forms.join(QStringLiteral(", "));
}

QString commandSection(const CliCommandHelp &command)
{
    QString text = QStringLiteral(".SS \"%1\"\n%2\n").arg(literal(command.usage), roff(command.summary));
    if (!command.description.isEmpty())
        text += QStringLiteral(".PP\n.nf\n%1\n.fi\n").arg(roff(command.description));
    for (const CliOptionHelp &option : command.options)
        text += QStringLiteral(".TP\n%1\n%2\n").arg(optionTerm(option), roff(option.description));
    return text;
}

}   // namespace

QString manPage(const CliHelp &help)
{
    QString text = QStringLiteral(".TH PARLEWICK\\-CLI 1 \"\" \"%1\" \"User Commands\"\n").arg(roff(help.version));
    text += QStringLiteral(".SH NAME\nparlewick\\-cli \\- %1\n").arg(roff(help.paragraphs.value(0)));
    text += QStringLiteral(".SH SYNOPSIS\n.B %1\n.br\n.B parlewick\\-cli \\-\\-help\n.br\n"
                           ".B parlewick\\-cli \\fICOMMAND\\fB \\-\\-help\n")
                .arg(literal(help.usage));
    text += QStringLiteral(".SH DESCRIPTION\n");
    for (const QString &paragraph : help.paragraphs.mid(1))
        text += QStringLiteral(".PP\n%1\n").arg(roff(paragraph));
    text += QStringLiteral(".SH COMMANDS\n");
    for (const CliCommandHelp &command : help.commands)
        text += commandSection(command);
    return text;
}

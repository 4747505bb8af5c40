#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The help of parlewick-cli as its --help answers print it, taken apart.
struct CliOptionHelp
{
    QStringList names;   // "--db", or "-h" and "--help"
    QString valueName;   // "NAME", empty for a switch
    QString description;
};

struct CliCommandHelp
{
    QString name;
    QString usage;   // "parlewick-cli export [options] SOURCE"
    QString summary;
    QString description;   // the text between the summary and the options, its layout kept
    QList<CliOptionHelp> options;
};

struct CliHelp
{
    QString version;          // "Parlewick 3.1.01", as the version command prints it
    QString usage;            // "parlewick-cli COMMAND [options] [arguments]"
    QStringList paragraphs;   // the tool's text around its list of commands
    QList<CliCommandHelp> commands;
};

// Runs the tool (with a temporary HOME: it logs) for its help, each command's help and its
// version.
// Raises std::runtime_error when the tool fails or prints what cannot be read.
CliHelp readCliHelp(const QString &program);

#pragma once

#include "cli/CliCommand.h"
#include "kik/KikDataSet.h"

#include <functional>

// parlewick-cli export: writes the messages of a source, or of one of its chats, to files with
// the program's export worker and the path rules of its Export command.
class ExportCommand : public CliCommand
{
public:
    // What the messages come from: the options that name a source, and the loader that turns
    // a parsed command line into the source's data (raising its own error when it cannot);
    // help tells what the options name.
    struct Source
    {
        QList<QCommandLineOption> options;
        std::function<KikDataSetPtr(const QCommandLineParser &)> load;
        QString help;
    };

    ExportCommand();   // the sources of the command line (CliSource)
    explicit ExportCommand(Source source);

    QString name() const override { return QStringLiteral("export"); }
    QString summary() const override { return QStringLiteral("Export messages to text, Word, CSV, PDF or HTML files."); }
    QString arguments() const override { return QStringLiteral("SOURCE"); }
    QString description() const override;
    QList<QCommandLineOption> options() const override;
    bool needsGuiApplication() const override { return true; }   // PDF pages are drawn with fonts
    int run(const QCommandLineParser &args) override;

private:
    Source m_source;
};

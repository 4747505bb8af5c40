#pragma once

#include "app/AppError.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

// Exit codes of parlewick-cli.
enum CliExitCode {
    CliExitOk = 0,
    CliExitFailed = 1,      // the operation failed; the message is on stderr
    CliExitUsage = 2,       // the command line was wrong
    CliExitCanceled = 130   // Ctrl-C
};

// A command line the tool cannot use (missing argument, unknown option...): exit code 2.
class CliUsageError : public AppError
{
public:
    explicit CliUsageError(const QString &message);
};

// The user stopped a task with Ctrl-C: "Canceled." and exit code 130.
class CliCanceled : public std::exception
{
public:
    const char *what() const noexcept override { return "Canceled."; }
};

// One command of parlewick-cli. The frame parses the options a command declares, answers
// --help for it, and turns exceptions into exit codes: CliUsageError -> 2, any other
// std::exception (its UTF-8 plain text) -> 1, CliCanceled -> 130.
class CliCommand
{
public:
    virtual ~CliCommand() = default;

    virtual QString name() const = 0;
    virtual QString summary() const = 0;                        // one line in the tool's help
    virtual QString arguments() const { return QString(); }     // positional part of the usage line
    virtual QString description() const { return QString(); }   // more text for the command's help
    virtual QList<QCommandLineOption> options() const { return {}; }
    // Commands that draw (PDF pages need fonts) run under a QGuiApplication, offscreen.
    virtual bool needsGuiApplication() const { return false; }
    virtual int run(const QCommandLineParser &args) = 0;

    QString usageLine() const;
    QString helpText() const;
};

// Every command of the tool, sorted by name. A command registers itself from its own file:
//     const CliRegistration<ShowCommand> registration;
// A command added under a name already taken replaces the earlier one (tests give a command
// their own data this way).
class CliRegistry
{
public:
    static void add(std::unique_ptr<CliCommand> command);
    static const std::vector<std::unique_ptr<CliCommand>> &commands();
    static CliCommand *find(const QString &name);
};

template <typename Command>
struct CliRegistration
{
    CliRegistration() { CliRegistry::add(std::make_unique<Command>()); }
};

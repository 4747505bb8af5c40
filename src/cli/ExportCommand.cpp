#include "cli/ExportCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "cli/ConsoleInteraction.h"
#include "flows/ExportMessages.h"
#include "workers/ExportTarget.h"

#include <QFileInfo>

namespace {

const QString FormatOption = QStringLiteral("format");
const QString OutOption = QStringLiteral("out");
const QString ChatOption = QStringLiteral("chat");
const QString EmojiOption = QStringLiteral("emoji");
const QString CsvRawOption = QStringLiteral("csv-raw");

const CliRegistration<ExportCommand> registration;

}   // namespace

ExportCommand::ExportCommand()
    : ExportCommand(Source{CliSource::options(), &CliSource::loadThrow, CliSource::optionsHelp()})
{
}

ExportCommand::ExportCommand(Source source)
    : m_source(std::move(source))
{
}

QString ExportCommand::description() const
{
    return (m_source.help.isEmpty() ? QString() : m_source.help + QStringLiteral("\n\n"))
           + QStringLiteral("Text, Word (a text file named .doc) and CSV go into the file PATH, which gets the format's\n"
                            "suffix when it has none. PDF and HTML give one file per chat in the folder named after PATH\n"
                            "without its suffix, followed by \"-pdf\" or \"-html\". Names the chat NAME to export only\n"
                            "that chat (its shown name or its Kik address).\n\n"
                            "CSV quotes a value that holds a comma, a double quote or a line break, and puts a ' before\n"
                            "a value that begins with = + - @, a tab or a carriage return, so that spreadsheets show it\n"
                            "instead of running it as a formula; --csv-raw leaves out the ' (for scripts).");
}

QList<QCommandLineOption> ExportCommand::options() const
{
    QList<QCommandLineOption> options = m_source.options;
    options << QCommandLineOption(FormatOption, QStringLiteral("txt, doc, csv, pdf or html."), QStringLiteral("FORMAT"))
            << QCommandLineOption(OutOption, QStringLiteral("Where the export goes (see above)."), QStringLiteral("PATH"))
            << QCommandLineOption(ChatOption, QStringLiteral("Export only the chat NAME."), QStringLiteral("NAME"))
            << QCommandLineOption(EmojiOption,
                                  QStringLiteral("How text, CSV and PDF write emoji: placeholder (\"[EMOJI]\", the default) "
                                                 "or keep (the emoji themselves)."),
                                  QStringLiteral("HOW"), QStringLiteral("placeholder"))
            << QCommandLineOption(CsvRawOption,
                                  QStringLiteral("CSV for scripts: values that begin with = + - @, a tab or a carriage return "
                                                 "are written as they are, without the ' that keeps spreadsheets from "
                                                 "running them as formulas."));
    return options;
}

int ExportCommand::run(const QCommandLineParser &args)
{
    if (!args.positionalArguments().isEmpty())
        throw CliUsageError(QStringLiteral("export takes no arguments"));
    if (!args.isSet(FormatOption) || !args.isSet(OutOption) || args.value(OutOption).isEmpty())
        throw CliUsageError(QStringLiteral("export needs --format and --out"));
    const QString kind = args.value(FormatOption).toLower();
    ExportTarget target;
    try {
        target = ExportTarget::forChosenPath(QFileInfo(args.value(OutOption)).absoluteFilePath(), kind);
    } catch (const std::runtime_error &) {
        throw CliUsageError(QStringLiteral("unknown export format '%1'").arg(args.value(FormatOption)));
    }

    const QString emoji = args.value(EmojiOption).toLower();
    if (emoji != QLatin1String("placeholder") && emoji != QLatin1String("keep"))
        throw CliUsageError(QStringLiteral("--emoji is placeholder or keep, not '%1'").arg(args.value(EmojiOption)));

    if (args.isSet(CsvRawOption) && target.format != ExportMessagesThread::FormatCsv)
        throw CliUsageError(QStringLiteral("--csv-raw is for --format csv only"));

    const KikDataSetPtr data = m_source.load(args);
    KikMessageList messages;
    if (args.isSet(ChatOption)) {
        for (const KikChat *chat : CliSource::chatsNamedThrow(*data, args.value(ChatOption)))
            messages += chat->messages;
    } else {
        messages = data->allMessages();
    }
    ConsoleInteraction interaction(args);
    ExportChoice choice;
    choice.path = QFileInfo(args.value(OutOption)).absoluteFilePath();
    choice.kind = kind;
    choice.emoji = emoji == QLatin1String("keep") ? EmojiStyle::Characters : EmojiStyle::Placeholder;
    choice.csvGuard = args.isSet(CsvRawOption) ? ExportMessagesCsv::FormulaGuard::Off : ExportMessagesCsv::FormulaGuard::On;
    interaction.setExportChoice(choice);
    ConsoleInteraction::requireDone(exportMessages(interaction, messages, QString()));
    return CliExitOk;
}

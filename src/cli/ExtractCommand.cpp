#include "cli/BackupPassword.h"
#include "cli/CliBackup.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include <QDir>

namespace {

class ExtractCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("extract"); }
    QString summary() const override { return QStringLiteral("Copy Kik's files out of an iTunes backup."); }
    QString description() const override
    {
        return QStringLiteral(
            "Writes Kik's store (Documents/kik.sqlite and its side files) and the folders attachments,\n"
            "content_manager and profpix into OUT/com.kik.chat, decrypting an encrypted backup. A\n"
            "Documents folder already there is replaced. Prints the folder written. When the backup\n"
            "holds several Kik accounts, --account ID picks one (without it the accounts are listed).");
    }
    QList<QCommandLineOption> options() const override
    {
        return {QCommandLineOption(QStringLiteral("backup"), QStringLiteral("The iTunes backup folder."), QStringLiteral("DIR")),
                QCommandLineOption(QStringLiteral("out"), QStringLiteral("Where to write com.kik.chat."), QStringLiteral("DIR")),
                accountOption(), passwordFileOption()};
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("extract takes no arguments"));
        if (!args.isSet(QStringLiteral("backup")) || !args.isSet(QStringLiteral("out")))
            throw CliUsageError(QStringLiteral("extract needs --backup DIR and --out DIR"));
        const auto backup = openBackupThrow(args.value(QStringLiteral("backup")), args);
        printOut(QDir::toNativeSeparators(extractKikThrow(backup, args.value(QStringLiteral("out")), args.value(QStringLiteral("account")))));
        return CliExitOk;
    }
};

const CliRegistration<ExtractCommand> registration;

} // namespace

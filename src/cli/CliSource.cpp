#include "cli/CliSource.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "cli/BackupPassword.h"
#include "cli/CliCommand.h"
#include "cli/CliDevice.h"
#include "cli/CliOutput.h"
#include "cli/ConsoleInteraction.h"
#include "flows/BackupReading.h"
#include "flows/LoadPhone.h"
#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"
#include "kik/KikRules.h"
#include "kik/LocalDbCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>

namespace {

// Constant-initialised: commands built during static initialisation ask for the options.
constexpr QLatin1StringView kDb("db");
constexpr QLatin1StringView kDbPath("db-path");
constexpr QLatin1StringView kKik("kik");
constexpr QLatin1StringView kBackup("backup");
constexpr QLatin1StringView kDevice("device");
constexpr QLatin1StringView kAccount("account");

void requireFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        failWith(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder)));
}

KikDataSetPtr loadLocalDbThrow(const QString &folder)
{
    requireFolder(folder);
    KikLocalDb db(folder);
    db.setReadOnly(true);
    const KikDataSetPtr data = KikDataSetPtr::create();
    db.load(data);
    return data;
}

// The store of a copy of Kik's app container at root, read without writing into it; the
// pictures of attachment descriptions go to thumbsFolder.
KikDataSetPtr loadKikFolderThrow(const QString &root, const QString &thumbsFolder)
{
    requireFolder(root);
    if (!QFileInfo(QDir(root).filePath(QLatin1String(IOSKikDb::StoreFile))).isFile())
        failWith(
            QStringLiteral("Found no Kik data in %1: there is no Documents/kik.sqlite.").arg(QDir::toNativeSeparators(root)));
    IOSKikDb db(root, thumbsFolder);
    db.setOpenMode(IOSKikDb::ReadOnlyMode);
    const KikDataSetPtr data = KikDataSetPtr::create();
    db.load(data);
    return data;
}

// The pictures of a Kik folder's attachment descriptions go to a cache of the program's, one
// folder per source folder (beside the cache of iTunes backups): pages exported from the
// source keep pointing at them after the command has ended. The cache is private: the pictures
// are the user's.
QString kikPicturesFolder(const QString &root)
{
    const QFileInfo folder(root);
    const QString key = md5Hex(folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath() : folder.canonicalFilePath());
    return QDir(privateCacheFolderThrow(QStringLiteral("talvora-kik_cache"))).filePath(key + QStringLiteral("/thumbs"));
}

KikDataSetPtr loadBackupThrow(const QString &folder, const QString &account, const QCommandLineParser &args)
{
    ConsoleInteraction interaction(args);
    interaction.setBackupFolder(folder);
    interaction.setKikAccount(account);
    // The program's own cache of the backup, as the program itself uses it; the pictures
    // go to that cache too.
    KikExtraction kik;
    ConsoleInteraction::requireDone(openAndExtractKik(interaction, interaction.chooseBackup(FlowInteraction::BackupUse::Read),
                                                      QString(), kikNotFoundText(), &kik));
    return loadKikFolderThrow(kik.appFolder, QString());
}

KikDataSetPtr loadDeviceThrow(const QString &udid, const QString &account, const QCommandLineParser &args)
{
    ConsoleInteraction interaction(args);
    interaction.setKikAccount(account);
    // The mirror lies in the program's own cache of the phone; so do the pictures.
    ConsoleInteraction::requireDone(LoadPhone(interaction, connectedDeviceThrow(udid)).run());
    return interaction.phoneData();
}

// The source the options name, once they are checked.
KikDataSetPtr loadSourceThrow(const QCommandLineParser &args, QLatin1StringView accountOption)
{
    if (args.isSet(kDb)) {
        const QString folder = localDatabaseFolderThrow(args.value(kDb));
        if (!QFileInfo(folder).isDir())
            failWith(QStringLiteral("There is no local database named %1.").arg(args.value(kDb)));
        return loadLocalDbThrow(folder);
    }
    if (args.isSet(kDbPath))
        return loadLocalDbThrow(args.value(kDbPath));
    if (args.isSet(kKik))
        return loadKikFolderThrow(args.value(kKik), kikPicturesFolder(args.value(kKik)));
    if (args.isSet(kDevice))
        return loadDeviceThrow(args.value(kDevice), args.value(accountOption), args);
    return loadBackupThrow(args.value(kBackup), args.value(accountOption), args);
}

}   // namespace

QList<QCommandLineOption> CliSource::options()
{
    return {
        QCommandLineOption(kDb, QStringLiteral("Read the local database NAME."), QStringLiteral("NAME")),
        QCommandLineOption(kDbPath, QStringLiteral("Read the local database in folder DIR."), QStringLiteral("DIR")),
        QCommandLineOption(kKik, QStringLiteral("Read Kik's store in DIR (DIR/Documents/kik.sqlite)."), QStringLiteral("DIR")),
        QCommandLineOption(kBackup, QStringLiteral("Read Kik's files in the iTunes backup DIR."), QStringLiteral("DIR")),
        QCommandLineOption(kDevice, QStringLiteral("Read Kik's files on the connected iPhone UDID."), QStringLiteral("UDID")),
        backupDirOption(),
        accountOption(),
        passwordFileOption()};
}

QCommandLineOption accountOption()
{
    return QCommandLineOption(
        QStringLiteral("account"),
        QStringLiteral("The Kik account to read when the backup holds several (its Kik user name or its id)."),
        QStringLiteral("NAME"));
}

QString CliSource::optionsHelp()
{
    return QStringLiteral("SOURCE is one of:\n"
                          "  --db NAME      a local database in the data folder\n"
                          "  --db-path DIR  a local database folder anywhere\n"
                          "  --kik DIR      a folder holding Documents/kik.sqlite (a copy of Kik's app folder)\n"
                          "  --backup DIR   an iTunes backup (an encrypted one asks for its password); with several\n"
                          "                 Kik accounts in it, --account NAME (user name or id) picks one\n"
                          "  --device UDID  the connected iPhone UDID: Kik's container when the iPhone serves it, else\n"
                          "                 a device backup of the iPhone (an encrypted one asks for its password;\n"
                          "                 --account NAME as with --backup)\n"
                          "Folders named here are only read, never written.");
}

KikDataSetPtr CliSource::loadThrow(const QCommandLineParser &args)
{
    return loadWithAccountOptionThrow(args, kAccount);
}

QString CliSource::backupFolderThrow(const QCommandLineParser &args)
{
    checkThrow(args, kAccount);
    return args.isSet(kBackup) ? args.value(kBackup) : QString();
}

void CliSource::checkThrow(const QCommandLineParser &args, QLatin1StringView accountOption)
{
    QStringList given;
    for (const QLatin1StringView option : {kDb, kDbPath, kKik, kBackup, kDevice}) {
        if (args.isSet(option))
            given << QStringLiteral("--") + option;
    }
    if (given.size() != 1)
        throw CliUsageError(given.isEmpty() ? QStringLiteral("no source given (--db, --db-path, --kik, --backup or --device)")
                                            : QStringLiteral("more than one source given: ") + given.join(QLatin1Char(' ')));
    if (args.isSet(accountOption) && !args.isSet(kBackup) && !args.isSet(kDevice))
        throw CliUsageError(QStringLiteral("--%1 goes only with --backup or --device").arg(accountOption));
}

KikDataSetPtr CliSource::loadWithAccountOptionThrow(const QCommandLineParser &args, QLatin1StringView accountOption)
{
    checkThrow(args, accountOption);
    // Ctrl-C at any moment of the loading, also between its tasks, ends with "Canceled.".
    KikDataSetPtr data;
    runStepsThrow([&] { data = loadSourceThrow(args, accountOption); });
    return data;
}

QList<KikChat *> CliSource::chatsNamedThrow(const KikDataSet &data, const QString &name)
{
    QList<KikChat *> chats = data.allChats();
    chats.removeIf([&](const KikChat *chat) {
        return chatDisplayName(chat).compare(name, Qt::CaseInsensitive) != 0
               && (!chat->user || chat->user->jid.compare(name, Qt::CaseInsensitive) != 0);
    });
    if (chats.isEmpty())
        failWith(QStringLiteral("There is no chat named %1.").arg(name));
    return chats;
}

QString localDatabaseFolderThrow(const QString &name)
{
    if (const QString problem = LocalDbCatalogue::nameProblem(name); !problem.isEmpty())
        throw CliUsageError(problem);
    return LocalDbCatalogue().folderForThrow(name);
}

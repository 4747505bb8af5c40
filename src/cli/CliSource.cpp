#include "cli/CliSource.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "cli/BackupPassword.h"
#include "cli/CliBackup.h"
#include "cli/CliCommand.h"
#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

#include <stdexcept>

namespace {

const QString kDb = QStringLiteral("db");
const QString kDbPath = QStringLiteral("db-path");
const QString kKik = QStringLiteral("kik");
const QString kBackup = QStringLiteral("backup");

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

// A local database opened for reading only: no folders are made, no journal is rolled back,
// nothing in its folder changes.
class ReadOnlyKikLocalDb : public KikLocalDb
{
public:
    using KikLocalDb::KikLocalDb;

    void open() override
    {
        if (isOpen())
            return;
        if (!QFileInfo(databasePath()).isFile())
            fail(QStringLiteral("There is no local database in %1.").arg(QDir::toNativeSeparators(folder())));
        const QString uri = QUrl::fromLocalFile(databasePath()).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=ro");
        openThrow(uri, ReadOnly | UriFileName);
    }
};

} // namespace

CliSource::CliSource() : m_dataSet(KikDataSetPtr::create()) {}
CliSource::~CliSource() = default;

QList<QCommandLineOption> CliSource::options()
{
    return {QCommandLineOption(kDb, QStringLiteral("Read the local database NAME."), QStringLiteral("NAME")),
            QCommandLineOption(kDbPath, QStringLiteral("Read the local database in folder DIR."), QStringLiteral("DIR")),
            QCommandLineOption(kKik, QStringLiteral("Read Kik's store in DIR (DIR/Documents/kik.sqlite)."), QStringLiteral("DIR")),
            QCommandLineOption(kBackup, QStringLiteral("Read Kik's files in the iTunes backup DIR."), QStringLiteral("DIR")),
            passwordFileOption()};
}

QString CliSource::optionsHelp()
{
    return QStringLiteral(
        "SOURCE is one of:\n"
        "  --db NAME      a local database in the data folder\n"
        "  --db-path DIR  a local database folder anywhere\n"
        "  --kik DIR      a folder holding Documents/kik.sqlite (a copy of Kik's app folder)\n"
        "  --backup DIR   an iTunes backup (an encrypted one asks for its password)\n"
        "Folders named here are only read, never written.");
}

std::unique_ptr<CliSource> CliSource::loadThrow(const QCommandLineParser &args)
{
    QStringList given;
    for (const QString &option : {kDb, kDbPath, kKik, kBackup}) {
        if (args.isSet(option))
            given << QStringLiteral("--") + option;
    }
    if (given.size() != 1)
        throw CliUsageError(given.isEmpty() ? QStringLiteral("no source given (--db, --db-path, --kik or --backup)")
                                            : QStringLiteral("more than one source given: ") + given.join(QLatin1Char(' ')));
    std::unique_ptr<CliSource> source(new CliSource);
    if (args.isSet(kDb)) {
        const QString folder = localDatabaseFolderThrow(args.value(kDb));
        if (!QFileInfo(folder).isDir())
            fail(QStringLiteral("There is no local database named %1.").arg(args.value(kDb)));
        source->loadLocalDbThrow(folder);
    } else if (args.isSet(kDbPath)) {
        source->loadLocalDbThrow(args.value(kDbPath));
    } else if (args.isSet(kKik)) {
        source->m_scratch = std::make_unique<QTemporaryDir>();
        if (!source->m_scratch->isValid())
            fail(QStringLiteral("Cannot create a temporary folder: %1").arg(source->m_scratch->errorString()));
        source->loadKikFolderThrow(args.value(kKik), source->m_scratch->filePath(QStringLiteral("thumbs")));
    } else {
        // The program's own cache of the backup, as the program itself uses it.
        const QString appFolder = extractKikThrow(openBackupThrow(args.value(kBackup), args));
        source->loadKikFolderThrow(appFolder, QString());
    }
    return source;
}

void CliSource::loadLocalDbThrow(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        fail(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder)));
    ReadOnlyKikLocalDb db(folder);
    db.load(m_dataSet);
}

void CliSource::loadKikFolderThrow(const QString &root, const QString &thumbsFolder)
{
    if (!QFileInfo(root).isDir())
        fail(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(root)));
    if (!QFileInfo(QDir(root).filePath(QLatin1String(IOSKikDb::StoreFile))).isFile())
        fail(QStringLiteral("Found no Kik data in %1: there is no Documents/kik.sqlite.").arg(QDir::toNativeSeparators(root)));
    IOSKikDb db(root, thumbsFolder);
    db.setOpenMode(IOSKikDb::ReadOnlyMode);
    db.load(m_dataSet);
}

QString localDatabaseFolderThrow(const QString &name)
{
    if (name.trimmed().isEmpty())
        throw CliUsageError(QObject::tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
    if (!isValidLocalDbName(name))
        throw CliUsageError(QObject::tr("IDS_INVALID_LOCALDB_NAME"));
    return QDir(localDatabasesFolder()).filePath(name);
}

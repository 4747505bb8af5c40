// make-itunes-backup: writes an iTunes backup folder from folder trees, one per domain.
#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

namespace {

void addKikOptions(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("kik"),
                      QStringLiteral("A Kik container mirror (a folder holding Documents/kik.sqlite) "
                                     "to put into the backup; may be repeated, one per account."),
                      QStringLiteral("folder")});
    parser.addOption({QStringLiteral("kik-place"),
                      QStringLiteral("documents: AppDomain-com.kik.chat/Documents (older phones); "
                                     "group: AppDomainGroup-group.com.kik.chat/cores/private/ID."),
                      QStringLiteral("documents|group"), QStringLiteral("documents")});
    parser.addOption({QStringLiteral("account"),
                      QStringLiteral("Account id of the --kik folder in the same position "
                                     "(group place; 32 hex digits made up when missing)."),
                      QStringLiteral("id")});
    parser.addOption({QStringLiteral("kik-wal-messages"),
                      QStringLiteral("Messages added to each Kik store that exist only "
                                     "in its kik.sqlite-wal (changes the given folders)."),
                      QStringLiteral("count"), QStringLiteral("0")});
}

// Puts the --kik folders into the backup. Throws std::runtime_error.
void addKikFolders(const QCommandLineParser &parser, ItunesBackupBuilder &builder)
{
    const QString placeName = parser.value(QStringLiteral("kik-place"));
    if (placeName != QLatin1String("documents") && placeName != QLatin1String("group"))
        throw std::runtime_error("--kik-place takes documents or group");
    const KikFixturePlace place = placeName == QLatin1String("group") ? KikFixturePlace::Group : KikFixturePlace::Documents;
    const QStringList folders = parser.values(QStringLiteral("kik"));
    const QStringList accounts = parser.values(QStringLiteral("account"));
    const int walMessages = parser.value(QStringLiteral("kik-wal-messages")).toInt();
    for (int i = 0; i < folders.size(); ++i) {
        if (walMessages > 0)
            addWalOnlyMessages(folders.at(i) + QStringLiteral("/Documents/kik.sqlite"), walMessages);
        addKikToBackup(builder, folders.at(i), place, i < accounts.size() ? accounts.at(i) : kikFixtureAccountId(i + 1));
    }
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes an iTunes backup folder from folder trees."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Backup folder to write."), QStringLiteral("folder")});
    parser.addOption(
        {QStringLiteral("password"), QStringLiteral("Encrypt the backup with this password."), QStringLiteral("password")});
    parser.addOption({QStringLiteral("iterations"), QStringLiteral("Key derivation rounds (default 1000)."),
                      QStringLiteral("count"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("keybag"),
                      QStringLiteral("Keybag of an encrypted backup: new (iOS 10.2 and later, the default) or old."),
                      QStringLiteral("new|old"), QStringLiteral("new")});
    parser.addOption({QStringLiteral("dpic"),
                      QStringLiteral("SHA-256 rounds of a new keybag (default 1000; phones use 10000000)."),
                      QStringLiteral("count"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("udid"), QStringLiteral("Unique device id."), QStringLiteral("id")});
    parser.addOption({QStringLiteral("name"), QStringLiteral("Device name."), QStringLiteral("name")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("File list: mbdb (Manifest.mbdb, the default) or db (Manifest.db, iOS 10 and later; "
                                     "with --password an iOS 10.0/10.1 backup)."),
                      QStringLiteral("mbdb|db"), QStringLiteral("mbdb")});
    parser.addOption({QStringLiteral("ios"),
                      QStringLiteral("iOS version of the phone (default 9.3.5, or 17.5 for db; an encrypted db of 10.0 or 10.1 "
                                     "keeps Manifest.db plain)."),
                      QStringLiteral("version")});
    parser.addOption({QStringLiteral("unfinished"), QStringLiteral("Write a backup the phone did not finish.")});
    parser.addPositionalArgument(QStringLiteral("domain=folder"),
                                 QStringLiteral("Files of folder go into domain, e.g. AppDomain-com.kik.chat=./kik"));
    addKikOptions(parser);
    parser.process(app);

    if (!parser.isSet(QStringLiteral("out")) || (parser.positionalArguments().isEmpty() && !parser.isSet(QStringLiteral("kik"))))
        parser.showHelp(1);

    const QString format = parser.value(QStringLiteral("format"));
    if (format != QLatin1String("mbdb") && format != QLatin1String("db")) {
        std::fprintf(stderr, "--format is mbdb or db, not %s\n", qPrintable(format));
        return 1;
    }
    const bool filesDb = format == QLatin1String("db");
    ItunesBackupBuilder::Device device;
    if (filesDb)
        device.productVersion = QStringLiteral("17.5");
    if (parser.isSet(QStringLiteral("ios")))
        device.productVersion = parser.value(QStringLiteral("ios"));
    if (parser.isSet(QStringLiteral("udid")))
        device.uniqueDeviceId = parser.value(QStringLiteral("udid"));
    if (parser.isSet(QStringLiteral("name")))
        device.deviceName = parser.value(QStringLiteral("name"));
    ItunesBackupBuilder builder(device);
    builder.setFormat(filesDb ? BackupFormat::FilesDb : BackupFormat::Mbdb);
    builder.setFinished(!parser.isSet(QStringLiteral("unfinished")));
    if (parser.isSet(QStringLiteral("password")))
        builder.setPassword(parser.value(QStringLiteral("password")), parser.value(QStringLiteral("iterations")).toUInt());
    const QString keybag = parser.value(QStringLiteral("keybag"));
    if (keybag != QLatin1String("new") && keybag != QLatin1String("old")) {
        std::fprintf(stderr, "--keybag takes new or old, not %s\n", qPrintable(keybag));
        return 1;
    }
    builder.setKeybagFormat(keybag == QLatin1String("new") ? ItunesBackupBuilder::KeybagFormat::Modern
                                                           : ItunesBackupBuilder::KeybagFormat::Old,
                            parser.value(QStringLiteral("dpic")).toUInt());
    for (const QString &argument : parser.positionalArguments()) {
        const qsizetype eq = argument.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            std::fprintf(stderr, "not domain=folder: %s\n", qPrintable(argument));
            return 1;
        }
        builder.addFolder(argument.left(eq), argument.mid(eq + 1));
    }
    try {
        addKikFolders(parser, builder);
        builder.build(parser.value(QStringLiteral("out")));
    } catch (const std::runtime_error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

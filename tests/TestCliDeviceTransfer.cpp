// parlewick-cli with --device (show, import, extract) and transfer --to-device, run as the built
// tool against simulated iPhones: one that serves Kik's container (a development app) and ones
// that keep it closed, whose Kik data comes through a real device backup made by Debian's
// idevicebackup2, one of them encrypted.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "CliRun.h"
#include "KikBackupFixture.h"
#include "KikDataBuilder.h"
#include "PhoneKikStore.h"
#include "PhoneLog.h"
#include "SimulatedPhones.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/PrivateCache.h"
#include "device/TempBackupFolder.h"
#include "kikstore/KikStoreGenerator.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString kOpen = QStringLiteral("00008030-001A2B3C4D5E6F80");     // serves Kik's container
const QString kClosed = QStringLiteral("00008110-000A1B2C3D4E5F81");   // iOS 17.5, Kik from the App Store
const QString kTarget = QStringLiteral("00008030-001A2B3C4D5E6F82");   // serves Kik's container
const QString kSealed = QStringLiteral("00008120-000A1B2C3D4E5F83");   // closed, encrypts its backups
const QString kKik = QStringLiteral("com.kik.chat");

KikStoreOptions storeOptions(quint32 seed)
{
    KikStoreOptions options;
    options.contacts = 4;
    options.chats = 3;
    options.groups = 1;
    options.messagesPerChat = 6;
    options.seed = seed;
    return options;
}

QProcessEnvironment withPassword(const QString &password)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PARLEWICK_BACKUP_PASSWORD"), password);
    return environment;
}

int shownMessages(const CliRun &run)
{
    int count = 0;
    for (const QJsonValue chat : QJsonDocument::fromJson(run.out).object().value("chats").toArray())
        count += int(chat.toObject().value("messages").toArray().size());
    return count;
}

// Every message shown, in order, but those that name skippedUid.
QJsonArray shownMessagesWithout(const CliRun &run, const QString &skippedUid)
{
    QJsonArray kept;
    for (const QJsonValue chat : QJsonDocument::fromJson(run.out).object().value("chats").toArray())
        for (const QJsonValue message : chat.toObject().value("messages").toArray())
            if (!QJsonDocument(message.toObject()).toJson().contains(skippedUid.toUtf8()))
                kept.append(message);
    return kept;
}

}   // namespace

class TestCliDeviceTransfer : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    GeneratedKikStore openStore;
    GeneratedKikStore closedStore;
    GeneratedKikStore targetStore;
    GeneratedKikStore sealedStore;
    QStringList walOnly;

    QString targetStorePath() const { return kikStorePath(sim.phone(kTarget)); }

private slots:
    void initTestCase()
    {
        QVERIFY(env.isValid());
        qputenv("TMPDIR", env.path("tmp").toUtf8());
        QVERIFY(QDir().mkpath(env.path("tmp")));
        // Device backups go below the test's folder.
        QVERIFY(QDir().mkpath(dataFolder()) && QDir().mkpath(env.path("backuproot")));
        keepDeviceBackupsIn(env.path("backuproot/__talvora_iosbk_temp"));

        PhoneSetup open(kOpen, PhoneKik::Development);
        open.kikStore = storeOptions(1);
        openStore = sim.add(open).kikStore;
        open.udid = kTarget;
        open.kikStore = storeOptions(3);
        targetStore = sim.add(open).kikStore;

        // Today's phone: Kik's store in an account folder of the App Group container, with
        // messages only in its write-ahead log.
        PhoneSetup closed(kClosed, PhoneKik::AppStoreGroup);
        closed.kikStore = storeOptions(2);
        closedStore = sim.add(closed).kikStore;
        walOnly = addWalOnlyMessages(closedStore.storePath, 3);
        closed.udid = kSealed;
        closed.kikStore = storeOptions(4);
        closed.backupPassword = QStringLiteral("phone-pw");
        sealedStore = sim.add(closed).kikStore;
        writeFileBytes(env.path("pw.txt"), "phone-pw\n");
        sim.start();
    }

    void showReadsTheContainerOfAPhoneThatServesIt()
    {
        const CliRun run = runCliTool({"show", "--device", kOpen, "--json"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(shownMessages(run), int(openStore.messages));
        // No device backup was needed.
        QVERIFY(!QFileInfo::exists(env.path("backuproot/__talvora_iosbk_temp/" + kOpen)));
    }

    void showReadsAClosedPhoneThroughADeviceBackup()
    {
        const CliRun run = runCliTool({"show", "--device", kClosed, "--json"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY(run.err.contains("device backup"));
        // An iOS 17 phone waits for its passcode: stderr says so even when it is no terminal.
        QVERIFY2(run.err.contains("Unlock your iPhone and type its passcode on the iPhone"), qPrintable(run.err));
        QCOMPARE(shownMessages(run), int(closedStore.messages) + walOnly.size());
        for (const QString &uid : walOnly)
            QVERIFY(run.out.contains(uid.toUtf8()));
        QVERIFY(QFileInfo::exists(env.path("backuproot/__talvora_iosbk_temp/" + kClosed + "/Manifest.db")));
    }

    // An encrypted device backup takes its password as an encrypted --backup does.
    void anEncryptedDeviceBackupTakesItsPassword()
    {
        const CliRun none = runCliTool({"show", "--device", kSealed});
        QCOMPARE(none.code, 2);
        QVERIFY2(none.err.contains("no password was given"), qPrintable(none.err));
        const CliRun wrong = runCliTool({"import", "--device", kSealed, "--into", "Sealed"}, withPassword("wrong"));
        QCOMPARE(wrong.code, 1);
        QVERIFY2(wrong.err.contains("Invalid password."), qPrintable(wrong.err));
        QVERIFY(!QFileInfo::exists(QDir(localDatabasesFolder()).filePath("Sealed")));

        const CliRun shown = runCliTool({"show", "--device", kSealed, "--json"}, withPassword("phone-pw"));
        QVERIFY2(shown.code == 0, qPrintable(shown.err));
        QCOMPARE(shownMessages(shown), int(sealedStore.messages));
        const CliRun import =
            runCliTool({"import", "--device", kSealed, "--into", "Sealed", "--password-file", env.path("pw.txt")});
        QVERIFY2(import.code == 0, qPrintable(import.err));
        QCOMPARE(shownMessages(runCliTool({"show", "--db", "Sealed", "--json"})), int(sealedStore.messages));
    }

    void extractTakesKikOutOfADeviceBackup()
    {
        const QString out = env.path("extracted");
        const CliRun run = runCliTool({"extract", "--device", kClosed, "--out", out});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.outText(), out + "/com.kik.chat\n");
        // The store with its log: the log's messages are there too.
        QVERIFY(QFileInfo(out + "/com.kik.chat/Documents/kik.sqlite-wal").size() > 0);
        const CliRun shown = runCliTool({"show", "--kik", out + "/com.kik.chat", "--json"});
        QCOMPARE(shownMessages(shown), int(closedStore.messages) + walOnly.size());

        QCOMPARE(runCliTool({"extract", "--device", kClosed, "--backup", out, "--out", out}).code, 2);
        QCOMPARE(runCliTool({"extract", "--device", kClosed}).code, 2);
        const CliRun missing = runCliTool({"extract", "--device", "00000000-0000000000000000", "--out", out});
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.err.startsWith("No iPhone with the UDID 00000000-0000000000000000 is connected."));
    }

    void aPhoneThatIsNotConnectedIsNamedWithThoseThatAre()
    {
        const CliRun run = runCliTool({"show", "--device", "00000000-0000000000000000"});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith("No iPhone with the UDID 00000000-0000000000000000 is connected. Connected iPhones:"),
                 qPrintable(run.err));
        for (const QString &udid : {kOpen, kClosed, kTarget})
            QVERIFY(run.err.contains("\n  " + udid));
        const CliRun account = runCliTool({"show", "--device", kOpen, "--account", kikFixtureAccountId(1)});
        QCOMPARE(account.code, 1);
        QVERIFY(account.err.contains("leave out --account"));
    }

    void transferAsksFirstAndTakesOneTarget()
    {
        const QMap<QString, QByteArray> before = treeOf(sim.phone(kTarget).containerPath(kKik));
        // No terminal and no --yes: the notes, then a refusal before anything is read or written.
        const CliRun refused = runCliTool({"transfer", "--device", kOpen, "--to-device", kTarget});
        QCOMPARE(refused.code, 2);
        QVERIFY2(refused.err.contains("please close Kik on your iPhone first"), qPrintable(refused.err));
        QVERIFY(refused.err.contains("add --yes"));
        const CliRun both =
            runCliTool({"transfer", "--device", kOpen, "--to-device", kTarget, "--to-backup", env.path("nowhere"), "--yes"});
        QCOMPARE(both.code, 2);
        const CliRun same = runCliTool({"transfer", "--device", kOpen, "--to-device", kOpen, "--yes"});
        QCOMPARE(same.code, 2);
        QCOMPARE(treeOf(sim.phone(kTarget).containerPath(kKik)), before);
    }

    void fullRoundTripFromAClosedPhoneToAnother()
    {
        // Phone -> local database (through its device backup, the log's messages included).
        const CliRun import = runCliTool({"import", "--device", kClosed, "--into", "Round trip"});
        QVERIFY2(import.code == 0, qPrintable(import.err));
        const CliRun again = runCliTool({"import", "--device", kClosed, "--into", "Round trip"});
        QVERIFY2(again.code == 0, qPrintable(again.err));

        // Local database -> another phone, straight into its container, twice.
        for (int run = 0; run < 2; ++run) {
            const CliRun transfer = runCliTool({"transfer", "--db", "Round trip", "--to-device", kTarget, "--yes"});
            QVERIFY2(transfer.code == 0, qPrintable(transfer.err));
            QVERIFY(transfer.err.contains("please close Kik on your iPhone first"));
            if (run == 0)
                QCOMPARE(transfer.outText(), QStringLiteral("Successfully transferred %1 messages to iPhone.\n")
                                                 .arg(closedStore.messages + walOnly.size()));
        }
        QString integrity;
        const QMap<QString, int> uids = shownMessageUids(targetStorePath(), &integrity);
        QCOMPARE(integrity, QStringLiteral("ok"));
        QCOMPARE(qint64(uids.size()), targetStore.messages + closedStore.messages + walOnly.size());
        for (const QStringList &set : {targetStore.messageUids, closedStore.messageUids, walOnly}) {
            for (const QString &uid : set)
                QCOMPARE(uids.value(uid), 1);
        }
    }

    // The round trip's last leg onto a phone that keeps the container closed and encrypts its
    // backups: a wrong password stops before anything reaches the phone, the right one goes
    // with the restore.
    void roundTripEndsOnAnEncryptedClosedPhone()
    {
        const SimPhoneFolder sealed = sim.phone(kSealed);
        const QMap<QString, QByteArray> before = treeOf(sealed.path() + "/groups");
        const CliRun wrong =
            runCliTool({"transfer", "--db", "Round trip", "--to-device", kSealed, "--yes"}, withPassword("wrong"));
        QCOMPARE(wrong.code, 1);
        QVERIFY2(wrong.err.contains("Invalid password."), qPrintable(wrong.err));
        QCOMPARE(treeOf(sealed.path() + "/groups"), before);
        QVERIFY(PhoneLog::entries(sealed, {{"kind", "restored"}}).isEmpty());

        const CliRun run = runCliTool(
            {"transfer", "--db", "Round trip", "--to-device", kSealed, "--yes", "--password-file", env.path("pw.txt")});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.outText(),
                 QStringLiteral("Successfully transferred %1 messages to iPhone.\n").arg(closedStore.messages + walOnly.size()));
        QCOMPARE(PhoneLog::entries(sealed, {{"kind", "restored"}}).size(), 1);
        QString integrity;
        const QMap<QString, int> uids = shownMessageUids(kikStorePath(sealed), &integrity);
        QCOMPARE(integrity, QStringLiteral("ok"));
        QCOMPARE(qint64(uids.size()), sealedStore.messages + closedStore.messages + walOnly.size());
        for (const QStringList &set : {sealedStore.messageUids, closedStore.messageUids, walOnly}) {
            for (const QString &uid : set)
                QCOMPARE(uids.value(uid), 1);
        }
    }

    void transferToAClosedPhoneGoesThroughBackupAndRestore()
    {
        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat = builder.addChat(builder.addUser("Restored Friend", "restored_q@talk.kik.com"));
        builder.addMessage(chat, QDateTime(QDate(2020, 1, 2), QTime(3, 4), Qt::UTC), "through the backup", true);
        WindowTestKit::writeLocalDb(QDir(localDatabasesFolder()).filePath("One"), set);
        const QString store = kikStorePath(sim.phone(kClosed));
        const QByteArray before = readFileBytes(store);

        const CliRun run = runCliTool({"transfer", "--db", "One", "--to-device", kClosed, "--yes"});
        QVERIFY(run.err.contains("Find My iPhone"));
        QVERIFY(run.err.contains("iCloud Backup"));
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.outText(), QStringLiteral("Successfully transferred 1 messages to iPhone.\n"));
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(store) != before, 20000);
        QString integrity;
        QCOMPARE(shownMessageUids(store, &integrity).size(), closedStore.messages + walOnly.size() + 1);
        QCOMPARE(integrity, QStringLiteral("ok"));
    }

    // --backup-dir keeps the device backup in the folder named, owner-only, and nowhere else; the
    // second load there takes only what changed on the phone and shows exactly one more message.
    void aChosenBackupFolderIsKeptAndLoadedIncrementally()
    {
        const QString chosen = env.path("chosen/backups");
        const QMap<QString, QByteArray> elsewhere = treeOf(env.path("backuproot"));
        const QStringList args{"show", "--device", kClosed, "--json", "--backup-dir", chosen};
        const CliRun first = runCliTool(args);
        QVERIFY2(first.code == 0, qPrintable(first.err));
        struct stat info
        { };
        QCOMPARE(::stat(QFile::encodeName(chosen + '/' + kClosed).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
        QVERIFY(QFileInfo::exists(chosen + '/' + kClosed + "/Manifest.db"));
        QCOMPARE(treeOf(env.path("backuproot")), elsewhere);
        QVERIFY(!QFileInfo::exists(privateCachePath("device-backups")));

        const QString added = addWalOnlyMessages(kikStorePath(sim.phone(kClosed)), 1).first();
        sim.phone(kClosed).clearReceived();
        const CliRun second = runCliTool(args);
        QVERIFY2(second.code == 0, qPrintable(second.err));
        QCOMPARE(shownMessages(second), shownMessages(first) + 1);
        QVERIFY(second.out.contains(added.toUtf8()));
        QCOMPARE(shownMessagesWithout(second, added), shownMessagesWithout(first, added));
        const QList<QJsonObject> made = PhoneLog::entries(sim.phone(kClosed), {{"kind", "backup"}});
        QCOMPARE(made.size(), 1);
        QVERIFY(made.first().value("incremental").toBool());
        QVERIFY(made.first().value("files").toInt() <= 2);   // the store's log and its index
        QCOMPARE(treeOf(env.path("backuproot")), elsewhere);
    }
};

QTEST_GUILESS_MAIN(TestCliDeviceTransfer)
#include "TestCliDeviceTransfer.moc"

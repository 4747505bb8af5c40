// Merging messages into a simulated iPhone's Kik store: what arrives on the phone, what is not
// written twice, and what a failed upload leaves there.

#include "TestEnv.h"
#include "TestFiles.h"

#include "KikDataBuilder.h"
#include "PhoneLog.h"
#include "RecordingProgress.h"
#include "SimulatedPhones.h"
#include "db/Sqlite3DB.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "kik/IOSKikDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "simiphone/AfcPacket.h"
#include "workers/IOSLoadKikMessagesThread.h"
#include "workers/IOSRestoreKikMsgThread.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F71");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kHouseArrest = QStringLiteral("com.apple.mobile.house_arrest");
const QDateTime kBase(QDate(2020, 5, 1), QTime(10, 0), Qt::UTC);

struct Outcome
{
    QStringList errors;
    QStringList successes;
    int transferred = 0;
    QList<RecordingProgress::Report> reports;
};

}   // namespace

class TestIOSRestoreKikMsgThread : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};
    GeneratedKikStore store;
    DeviceDescription description;

    QString phoneDocuments() const { return phone.containerPath(kKik) + "/Documents"; }

    bool mirror()
    {
        RecordingProgress progress;
        IOSLoadKikMessagesThread loader(description, &progress);
        progress.run(loader);
        return progress.errors().isEmpty() && !loader.useBackup();
    }

    Outcome transfer(const KikMessageList &messages)
    {
        RecordingProgress progress;
        IOSRestoreKikMsgThread worker(description, messages, &progress);
        progress.run(worker);
        return {progress.errors(), progress.successes(), worker.transferred(), progress.reports()};
    }

    // The phone's store as the program reads it, from a copy so that SQLite leaves no files
    // of its own in the phone's folder.
    QString copyOfPhoneStore(const QString &name)
    {
        QString folder = env.path(name);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder + "/Documents");
        QFile::copy(phoneDocuments() + "/kik.sqlite", folder + "/Documents/kik.sqlite");
        return folder;
    }

    QStringList stagingLeftOnPhone() const
    {
        return QDir(phoneDocuments()).entryList({"*.parlewick-*", "*.upload*"}, QDir::Files);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        PhoneSetup setup(kUdid, PhoneKik::Development);
        KikStoreOptions &kik = setup.kikStore.emplace();
        kik.contacts = 5;
        kik.chats = 3;
        kik.groups = 1;
        kik.messagesPerChat = 10;
        const AddedPhone added = sim.add(setup);
        phone = added.folder;
        store = added.kikStore;
        sim.start();
        QVERIFY(!store.messageUids.isEmpty());
        description.udid = kUdid;
        description.deviceName = QStringLiteral("Simulated iPhone");
        description.handle = MobileDeviceHandle::attach(kUdid);
    }

    void init()
    {
        phone.setFaults({});
        phone.clearReceived();
        // Logs of the store the transfer replaces: they must never end up beside the new one.
        writeFileBytes(phoneDocuments() + "/kik.sqlite-wal", "old log");
        writeFileBytes(phoneDocuments() + "/kik.sqlite-shm", "old index");
        QVERIFY(mirror());
    }

    void messagesArriveOnThePhoneOnceEach()
    {
        KikDataSet set;
        KikDataBuilder builder(set);
        KikUser *friendUser = builder.addUser(QStringLiteral("New Friend"), QStringLiteral("newfriend_x@talk.kik.com"));
        KikChat *chat = builder.addChat(friendUser);
        KikMessageList messages;
        messages << builder.addMessage(chat, kBase, QStringLiteral("hello again"), true);
        messages << builder.addMessage(chat, kBase.addSecs(90), QStringLiteral("how are you"), false);
        KikMessage *known = builder.addMessage(chat, kBase.addSecs(200), QStringLiteral("already there"), false);
        known->uid = store.messageUids.first();
        messages << known;
        KikMessage *picture = builder.addMessage(chat, kBase.addSecs(300), QString(), true);
        picture->content_id = QStringLiteral("c0ffee00-new-picture");
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->attachment.insert(QStringLiteral("file-name"), QStringLiteral("photo.jpg"));
        const QString content = env.path(QStringLiteral("photo.jpg"));
        writeFileBytes(content, "JPEG bytes");
        picture->content_path = content;
        messages << picture;
        messages << builder.addLooseMessage(kBase, QStringLiteral("no chat"));

        const Outcome outcome = transfer(messages);
        QCOMPARE(outcome.errors, QStringList());
        QCOMPARE(outcome.successes, QStringList(QString()));
        QCOMPARE(outcome.transferred, 4);
        QCOMPARE(outcome.reports.first().status, QStringLiteral("Writing the messages into Kik's store..."));
        QStringList counts;
        for (const RecordingProgress::Report &report : outcome.reports)
            if (report.text.startsWith("Messages:"))
                counts << QStringLiteral("%1 %2").arg(report.text).arg(report.value);
        QCOMPARE(counts, QStringList({"Messages: 1/5 20", "Messages: 2/5 40", "Messages: 3/5 60", "Messages: 4/5 80",
                                      "Messages: 5/5 100"}));

        // The phone reads the new messages; the known one is there once, in both its chats.
        IOSKikDb db(copyOfPhoneStore(QStringLiteral("read-back")));
        db.open();
        const KikDataSetPtr loaded = KikDataSetPtr::create();
        QVERIFY(db.load(loaded));
        QCOMPARE(qint64(loaded->allMessages().size()), store.messages + 3);
        QStringList bodies;
        for (const KikMessage *message : loaded->allMessages())
            if (message->chat && message->chat->user && message->chat->user->jid == friendUser->jid)
                bodies << message->body;
        QVERIFY2(bodies.contains("hello again") && bodies.contains("how are you"), qPrintable(bodies.join('|')));
        Sqlite3Cursor rows =
            db.queryThrow(Sqlite3Sql("select count(*) from ZKIKMESSAGE where ZSTANZAID=?").addTextParam(known->uid));
        QVERIFY(rows.moveNext());
        QCOMPARE(rows.getInt(0), 1);
        const IOSKikJoinTable &join = db.chatMessagesTable();
        Sqlite3Cursor links = db.queryThrow(
            Sqlite3Sql(QStringLiteral("select count(*) from %1 where %2=(select Z_PK from ZKIKMESSAGE where ZSTANZAID=?)")
                           .arg(join.table, join.second))
                .addTextParam(known->uid));
        QVERIFY(links.moveNext());
        QCOMPARE(links.getInt(0), 2);

        // The picture's side files went to their places; the old logs are gone, nothing staged stays.
        QVERIFY(QFileInfo(phoneDocuments() + "/attachments/" + picture->content_id).size() > 0);
        QCOMPARE(readFileBytes(phoneDocuments() + "/content_manager/data_cache/" + picture->content_id),
                 QByteArray("JPEG bytes"));
        QVERIFY(QFileInfo(phoneDocuments() + "/content_manager/metadata_cache/" + picture->content_id).size() > 0);
        QVERIFY(!QFileInfo::exists(phoneDocuments() + "/kik.sqlite-wal"));
        QVERIFY(!QFileInfo::exists(phoneDocuments() + "/kik.sqlite-shm"));
        QCOMPARE(stagingLeftOnPhone(), QStringList());
    }

    void messagesWithoutChatsStillReplaceTheStore()
    {
        const QByteArray before = readFileBytes(phoneDocuments() + "/kik.sqlite");
        KikDataSet set;
        KikDataBuilder builder(set);
        const Outcome outcome =
            transfer({builder.addLooseMessage(kBase, "one"), builder.addLooseMessage(kBase.addSecs(5), "two")});
        QCOMPARE(outcome.errors, QStringList());
        QCOMPARE(outcome.transferred, 0);
        const QByteArray after = readFileBytes(phoneDocuments() + "/kik.sqlite");
        QCOMPARE(after, readFileBytes(deviceCacheFolder(description) + "/com.kik.chat/Documents/kik.sqlite"));
        QVERIFY(!PhoneLog::entries(
                     phone, {{"service", kHouseArrest}, {"kind", "afc"}, {"name", "RenamePath"}, {"to", "/Documents/kik.sqlite"}})
                     .isEmpty());
        QVERIFY(after != before);   // consolidated and compacted
    }

    // However far the swap got, a failure leaves the phone's store with its own logs.
    void aFailedUploadLeavesThePhoneAsItWas_data()
    {
        QTest::addColumn<int>("renamesBefore");
        QTest::newRow("sending the store") << 0;
        QTest::newRow("moving the old log aside") << 1;
        QTest::newRow("moving the store into place") << 3;
    }

    void aFailedUploadLeavesThePhoneAsItWas()
    {
        QFETCH(int, renamesBefore);
        const QMap<QString, QByteArray> before = treeOf(phoneDocuments());
        phone.setFaults(PhoneLog::answerFault(kHouseArrest, int(AfcRenamePath), QStringLiteral("Status"),
                                              {{"Skip", renamesBefore}, {"Count", 1}}));
        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("Someone"), QStringLiteral("someone_q@talk.kik.com")));
        const Outcome outcome = transfer({builder.addMessage(chat, kBase, QStringLiteral("lost?"), true)});
        QCOMPARE(outcome.successes, QStringList());
        QCOMPARE(outcome.errors.size(), 1);
        QVERIFY2(outcome.errors.first().startsWith("Please restart your phone to try again.\n\n"),
                 qPrintable(outcome.errors.first()));
        QCOMPARE(treeOf(phoneDocuments()), before);
    }

    void aCancelChangesNothingOnThePhone()
    {
        const QMap<QString, QByteArray> before = treeOf(phoneDocuments());
        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("Late"), QStringLiteral("late_c@talk.kik.com")));
        RecordingProgress progress;
        progress.cancelWhen([](const RecordingProgress::Report &report) { return report.text == "Messages: 1/2"; });
        IOSRestoreKikMsgThread worker(
            description, {builder.addMessage(chat, kBase, "a", true), builder.addMessage(chat, kBase, "b", true)}, &progress);
        progress.run(worker);
        QCOMPARE(progress.errors() + progress.successes(), QStringList());
        QCOMPARE(progress.cancels(), 1);
        QCOMPARE(treeOf(phoneDocuments()), before);
    }

    void aPhoneWithoutKikSaysSo()
    {
        phone.setFault(QStringLiteral("ContainerRefused"), true);
        const Outcome outcome = transfer({});
        QCOMPARE(outcome.errors.size(), 1);
        QVERIFY2(outcome.errors.first().startsWith("Can't find Kik installed on iPhone. Error:"),
                 qPrintable(outcome.errors.first()));
    }
};

QTEST_GUILESS_MAIN(TestIOSRestoreKikMsgThread)
#include "TestIOSRestoreKikMsgThread.moc"

// Mirroring Kik's container from a simulated iPhone: what the mirror holds afterwards, what a
// second load copies, and what refusals, failures and cancels leave behind.

#include "TestEnv.h"
#include "TestFiles.h"

#include "PhoneLog.h"
#include "RecordingProgress.h"
#include "SimulatedPhones.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "kik/IOSKikDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "simiphone/AfcPacket.h"
#include "workers/IOSLoadKikMessagesThread.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kHouseArrest = QStringLiteral("com.apple.mobile.house_arrest");
const QStringList kStoreFiles = {"kik.sqlite", "kik.sqlite-shm", "kik.sqlite-wal"};

struct Run
{
    bool useBackup = false;
    QStringList errors;
    QStringList successes;
};

}   // namespace

class TestIOSLoadKikMessagesThread : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};
    GeneratedKikStore store;
    DeviceDescription description;

    QString phoneDocuments() const { return phone.containerPath(kKik) + "/Documents"; }
    QString mirrorDocuments() const { return deviceCacheFolder(description) + "/com.kik.chat/Documents"; }

    Run load(std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        RecordingProgress progress;
        if (cancelWhen)
            progress.cancelWhen(std::move(cancelWhen));
        IOSLoadKikMessagesThread worker(description, &progress);
        progress.run(worker);
        [&] { QCOMPARE(worker.appFolder(), deviceCacheFolder(description) + "/com.kik.chat"); }();
        return {worker.useBackup(), progress.errors(), progress.successes()};
    }

    QStringList openedOnPhone() const
    {
        QStringList paths;
        for (const QJsonObject &open :
             PhoneLog::entries(phone, {{"service", kHouseArrest}, {"kind", "afc"}, {"name", "FileOpen"}}))
            paths << open.value("path").toString();
        paths.sort();
        return paths;
    }

    // Every file in the mirror is a whole copy of the phone's file of that name.
    void verifyMirrorHoldsOnlyWholeFiles()
    {
        const QMap<QString, QByteArray> onPhone = treeOf(phoneDocuments());
        const QMap<QString, QByteArray> mirrored = treeOf(mirrorDocuments());
        for (auto it = mirrored.cbegin(); it != mirrored.cend(); ++it) {
            QVERIFY2(onPhone.contains(it.key()), qPrintable(it.key()));
            QVERIFY2(onPhone.value(it.key()) == it.value(), qPrintable(it.key()));
        }
    }

    void removeMirror() { removeFolder(deviceCacheFolder(description)); }
    static void removeFolder(const QString &path) { QDir(path).removeRecursively(); }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        PhoneSetup setup(kUdid, PhoneKik::Development);
        KikStoreOptions &kik = setup.kikStore.emplace();
        kik.contacts = 6;
        kik.chats = 4;
        kik.groups = 1;
        kik.messagesPerChat = 30;
        kik.attachmentShare = 0.3;
        const AddedPhone added = sim.add(setup);
        phone = added.folder;
        store = added.kikStore;
        sim.start();
        QVERIFY(store.messages > 0);
        QVERIFY(store.attachments > 0);
        writeFileBytes(phoneDocuments() + "/kik.sqlite-wal", {});   // as after a checkpoint
        writeFileBytes(phoneDocuments() + "/notes.txt", "not Kik's data");
        description.udid = kUdid;
        description.deviceName = QStringLiteral("Simulated iPhone");
        description.handle = MobileDeviceHandle::attach(kUdid);
    }

    void init()
    {
        phone.setFaults({});
        phone.clearReceived();
    }

    void aReadableContainerIsMirroredAndLoads()
    {
        const Run run = load();
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.successes, QStringList(QString()));
        QVERIFY(!run.useBackup);

        QMap<QString, QByteArray> expected = treeOf(phoneDocuments());
        expected.remove("notes.txt");
        QCOMPARE(treeOf(mirrorDocuments()), expected);
        QVERIFY(QFileInfo(deviceCacheFolder(description) + "/com.kik.manifest.db").isFile());
        // No device backup was needed: only the container was asked for.
        QCOMPARE(PhoneLog::entries(phone, {{"service", "com.apple.mobilebackup2"}}).size(), 0);

        IOSKikDb db(deviceCacheFolder(description) + "/com.kik.chat");
        db.setOpenMode(IOSKikDb::ReadOnlyMode);
        db.open();
        const KikDataSetPtr dataSet = KikDataSetPtr::create();
        QVERIFY(db.load(dataSet));
        QCOMPARE(qint64(dataSet->allMessages().size()), store.messages);
    }

    void aSecondLoadCopiesOnlyWhatChanged()
    {
        load();
        phone.clearReceived();
        const Run run = load();
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(openedOnPhone(), QStringList({"/Documents/kik.sqlite", "/Documents/kik.sqlite-wal"}));

        // A picture changed on the phone is the one side file copied again.
        const QString picture = "/Documents/attachments/" + store.contentIds.first();
        QFile changed(phone.containerPath(kKik) + picture);
        QVERIFY(changed.exists());
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.setFileTime(QDateTime::currentDateTimeUtc().addDays(1), QFileDevice::FileModificationTime));
        changed.close();
        phone.clearReceived();
        load();
        QCOMPARE(openedOnPhone(), QStringList({picture, "/Documents/kik.sqlite", "/Documents/kik.sqlite-wal"}));
    }

    void aPhoneWithoutKiksStoreSaysSoAndLeavesNoStaleStore()
    {
        load();
        const QString aside = env.path("aside");
        QVERIFY(QDir().mkpath(aside));
        QVERIFY(QFile::rename(phoneDocuments() + "/kik.sqlite", aside + "/kik.sqlite"));
        const Run run = load();
        QCOMPARE(run.errors,
                 QStringList("Failded to load messages, please reinstall and verify Kik on your iPhone to try again."));
        QCOMPARE(run.successes, QStringList());
        for (const QString &name : kStoreFiles)
            QVERIFY2(!QFileInfo::exists(mirrorDocuments() + "/" + name), qPrintable(name));

        // An empty store is no store either.
        writeFileBytes(phoneDocuments() + "/kik.sqlite", {});
        QCOMPARE(load().errors.size(), 1);
        QVERIFY(!QFileInfo::exists(mirrorDocuments() + "/kik.sqlite"));
        QVERIFY(QFile::remove(phoneDocuments() + "/kik.sqlite"));
        QVERIFY(QFile::rename(aside + "/kik.sqlite", phoneDocuments() + "/kik.sqlite"));
    }

    void aFailedReadIsReported()
    {
        load();
        phone.setFaults(PhoneLog::answerFault(kHouseArrest, int(AfcFileRead), "Status"));
        const Run run = load();
        QCOMPARE(run.errors, QStringList("Please restart your phone to try again.\n\ncan not read /Documents/kik.sqlite: "
                                         "the iPhone broke off sending it."));
        QCOMPARE(run.successes, QStringList());
        QVERIFY(!QFileInfo::exists(mirrorDocuments() + "/kik.sqlite"));

        // The log's details unreadable: no mirror of the store without its log.
        writeFileBytes(phoneDocuments() + "/kik.sqlite-wal", QByteArray(4096, 'w'));
        phone.setFaults(PhoneLog::answerFault(kHouseArrest, int(AfcGetFileInfo), "Status", {{"Skip", 2}, {"Count", 1}}));
        const Run unreadableLog = load();
        QCOMPARE(unreadableLog.successes, QStringList());
        QCOMPARE(unreadableLog.errors.size(), 1);
        QVERIFY2(unreadableLog.errors.first().contains("/Documents/kik.sqlite-wal"), qPrintable(unreadableLog.errors.first()));
        QVERIFY(!QFileInfo::exists(mirrorDocuments() + "/kik.sqlite"));
        phone.setFaults({});
        QVERIFY(QFile::remove(phoneDocuments() + "/kik.sqlite-wal"));
    }

    void aRefusedContainerAsksForTheBackupRoadWithoutAnError()
    {
        load();
        phone.clearReceived();
        phone.setFault("ContainerRefused", true);
        const Run run = load();
        QVERIFY(run.useBackup);
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.successes, QStringList(QString()));
        QVERIFY(!QFileInfo::exists(mirrorDocuments() + "/kik.sqlite"));
        QCOMPARE(openedOnPhone(), QStringList());
    }

    void aCancelLeavesOnlyWholeFiles_data()
    {
        QTest::addColumn<QString>("during");
        QTest::newRow("store") << "Loading kik.sqlite,";
        QTest::newRow("side files") << "Loading ";
    }

    void aCancelLeavesOnlyWholeFiles()
    {
        QFETCH(QString, during);
        removeMirror();
        const bool inStore = during.contains("kik.sqlite");
        const Run run = load([during, inStore](const RecordingProgress::Report &report) {
            return report.text.startsWith(during) && (inStore || !report.text.startsWith("Loading kik.sqlite"));
        });
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.successes, QStringList());
        verifyMirrorHoldsOnlyWholeFiles();
        if (inStore) {
            for (const QString &name : kStoreFiles)
                QVERIFY2(!QFileInfo::exists(mirrorDocuments() + "/" + name), qPrintable(name));
        } else {
            QVERIFY(QFileInfo::exists(mirrorDocuments() + "/kik.sqlite"));
            QVERIFY(treeOf(mirrorDocuments()).size() < treeOf(phoneDocuments()).size() - 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestIOSLoadKikMessagesThread)
#include "TestIOSLoadKikMessagesThread.moc"

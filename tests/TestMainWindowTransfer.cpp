// Moving a local database's messages into Kik: onto a plugged-in simulated iPhone, onto one
// that keeps Kik's container closed (through its device backup, with a stand-in for the backup
// tool), into a plain iTunes backup, the refusal of an encrypted backup, and the checks made
// before a device backup is restored onto a phone.

#include "TestEnv.h"
#include "TestFiles.h"

#include "BoxRecorder.h"
#include "FakeBackupTool.h"
#include "ItunesBackupBuilder.h"
#include "KikDataBuilder.h"
#include "ModalKeys.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "device/MobileDeviceFrameworks.h"
#include "device/IOSRestorePreflight.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "db/Sqlite3DB.h"
#include "itunes/BackupManifest.h"
#include "itunes/ManifestDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "simiphone/SimulatedIPhone.h"
#include "ui/DataSourceSelForm.h"
#include "ui/MainWindow.h"
#include "views/ItemModelMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F72");
const QString kClosedUdid = QStringLiteral("00008101-000A11B22C33D44F");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kDomain = QStringLiteral("AppDomain-com.kik.chat");
const QString kBackupSettings = QStringLiteral("com.apple.mobile.backup");

} // namespace

class TestMainWindowTransfer : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedIPhone sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<MainWindow> window;
    GeneratedKikStore phoneStore;
    int sourceMessages = 0;
    QString chosenBackup;
    QString chosenDevice = QStringLiteral("Target iPhone");

    ItemModelMain *model() const { return window->mainModel(); }

    QString writtenText(const QString &backupFolder) const
    {
        BackupManifest backup(backupFolder);
        backup.readInfo();
        return QStringLiteral("Successfully transferred %1 messages into the iTunes backup<br/>\"%2\" (made %3, in %4).")
            .arg(sourceMessages)
            .arg(backup.displayName(), QLocale::system().toString(backup.backupDate().toLocalTime(), QLocale::ShortFormat),
                 QDir::toNativeSeparators(backupFolder));
    }

    void selectSource()
    {
        _ItemNode *source = child(model()->localDbRoot(), QStringLiteral("Source"));
        QVERIFY(source);
        select(*window, source);
    }

private slots:
    void initTestCase()
    {
        prepareApplication();
        qputenv("TMPDIR", env.path("tmp").toUtf8());
        QVERIFY(QDir().mkpath(env.path("tmp")));
        QString error;
        QVERIFY2(loadMobileDeviceFrameworks(&error), qPrintable(error));

        KikDataSet set;
        KikDataBuilder builder(set);
        _KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("Old Friend"), QStringLiteral("oldfriend_z@talk.kik.com")));
        const QDateTime base(QDate(2019, 7, 8), QTime(9, 0), Qt::UTC);
        for (int i = 0; i < 6; ++i)
            builder.addMessage(chat, base.addSecs(i * 70), QStringLiteral("kept %1").arg(i), i % 2 == 0);
        sourceMessages = 6;
        writeLocalDb(QDir(localDatabasesFolder()).filePath("Source"), set);

        KikStoreOptions kik;
        kik.contacts = 4;
        kik.chats = 3;
        kik.groups = 1;
        kik.messagesPerChat = 5;
        SimPhoneOptions options;
        options.developmentApps = {kKik};
        options.deviceName = QStringLiteral("Target iPhone");
        phone = sim.createPhone(kUdid, options);
        phoneStore = KikStoreGenerator(kik).generate(phone.containerPath(kKik));
        sim.start();

        const GeneratedKikStore backupStore = KikStoreGenerator(kik).generate(env.path("backup-kik"));
        ItunesBackupBuilder plain;
        plain.addFolder(kDomain, backupStore.rootFolder);
        plain.build(env.path("backups/plain"));
        ItunesBackupBuilder encrypted;
        encrypted.setPassword(QStringLiteral("secret"), 10);
        encrypted.addFolder(kDomain, backupStore.rootFolder);
        encrypted.build(env.path("backups/encrypted"));

        boxes = std::make_unique<BoxRecorder>();
        window = std::make_unique<MainWindow>();
        window->dialogs().chooseBackupToWrite = [this] {
            auto backup = QSharedPointer<BackupManifest>::create(chosenBackup);
            backup->readInfo();
            return backup;
        };
        window->dialogs().chooseDevice = [this](const QString &, const QList<ChoiceEntry> &entries) -> void * {
            for (const ChoiceEntry &entry : entries) {
                if (entry.text == chosenDevice)
                    return entry.node;
            }
            return nullptr;
        };
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(model()->deviceRoot()), QStringList("Target iPhone"), 20000);
    }

    void init() { boxes->clear(); }

    void anEncryptedBackupIsWrittenOnceItsPasswordIsGiven()
    {
        selectSource();
        chosenBackup = env.path("backups/encrypted");
        const QMap<QString, QByteArray> before = treeOf(chosenBackup);
        window->dialogs().unlockBackup = [](const QSharedPointer<BackupManifest> &) { return false; };
        window->miExport2ITunesBKAll();
        QCOMPARE(boxes->texts(QMessageBox::Information), QStringList());
        QCOMPARE(treeOf(chosenBackup), before);

        window->dialogs().unlockBackup = [](const QSharedPointer<BackupManifest> &backup) {
            return backup->unlock(QStringLiteral("secret"));
        };
        selectSource();  // the phone's node, loaded meanwhile, may have taken the selection
        boxes->clear();
        window->miExport2ITunesBKAll();
        QCOMPARE(boxes->texts(QMessageBox::Information), QStringList(writtenText(chosenBackup)));
        const QString storeName = backupFileName(kDomain, QStringLiteral("Documents/kik.sqlite"));
        QVERIFY(treeOf(chosenBackup).value(storeName) != before.value(storeName));
        QCOMPARE(treeOf(chosenBackup).value("Manifest.plist"), before.value("Manifest.plist"));
    }

    void messagesGoIntoAPlainBackup()
    {
        selectSource();
        chosenBackup = env.path("backups/plain");
        const QString storeName = backupFileName(kDomain, QStringLiteral("Documents/kik.sqlite"));
        const QByteArray before = readFileBytes(chosenBackup + "/" + storeName);
        window->miExport2ITunesBKAll();
        // Asked first, naming the backup that changes; told afterwards which one it was.
        QCOMPARE(boxes->texts(QMessageBox::Question).size(), 1);
        QVERIFY(boxes->texts(QMessageBox::Question).first().contains(QDir::toNativeSeparators(chosenBackup)));
        QCOMPARE(boxes->texts(QMessageBox::Information), QStringList(writtenText(chosenBackup)));
        const QByteArray after = readFileBytes(chosenBackup + "/" + storeName);
        QVERIFY(after != before);
        const MbdbIndex index = readManifestDb(chosenBackup + "/Manifest.mbdb");
        QCOMPARE(index.value(storeName).dataHash.bytes, QCryptographicHash::hash(after, QCryptographicHash::Sha1));
        // The mirror made for the backup goes again.
        const QString key = BackupManifest(chosenBackup).identityKey();
        QVERIFY(!QFileInfo::exists(QDir(iosCacheFolder()).filePath("virtual_" + key)));
    }

    void escapeBeforeAWriteStopsIt()
    {
        selectSource();
        const QString phoneKik = phone.containerPath(kKik);
        const QMap<QString, QByteArray> phoneBefore = treeOf(phoneKik);
        chosenBackup = env.path("backups/plain");
        const QMap<QString, QByteArray> backupBefore = treeOf(chosenBackup);
        boxes.reset();
        for (const ModalKeys::Answer answer : {ModalKeys::Escape, ModalKeys::Close}) {
            ModalKeys keys(answer);
            window->miDb2iAll();
            window->miExport2ITunesBKAll();
            QCOMPARE(keys.texts().size(), 2);
            QVERIFY2(keys.texts().at(0).contains("please close Kik on your iPhone first"), qPrintable(keys.texts().at(0)));
            QVERIFY2(keys.texts().at(1).contains(QDir::toNativeSeparators(chosenBackup)), qPrintable(keys.texts().at(1)));
        }
        boxes = std::make_unique<BoxRecorder>();
        QCOMPARE(treeOf(phoneKik), phoneBefore);
        QCOMPARE(treeOf(chosenBackup), backupBefore);
        const QString key = BackupManifest(chosenBackup).identityKey();
        QVERIFY(!QFileInfo::exists(QDir(iosCacheFolder()).filePath("virtual_" + key)));
    }

    void messagesGoOntoAPluggedInPhone()
    {
        selectSource();
        window->miDb2iAll();
        QTRY_COMPARE_WITH_TIMEOUT(boxes->texts().size(), 2, 20000);
        QVERIFY(boxes->texts().first().startsWith("To transfer Kik messages to iPhone successfully"));
        QCOMPARE(boxes->texts().last(),
                 QStringLiteral("Successfully transferred %1 messages to iPhone.").arg(sourceMessages));
        settle();
        // The phone's node shows its store as it is now.
        const _ItemNode *device = model()->deviceRoot()->children.value(0);
        QVERIFY(device);
        QCOMPARE(qint64(static_cast<const _IOSDeviceItemNode *>(device)->dataSet->allMessages().size()),
                 phoneStore.messages + sourceMessages);
    }

    void messagesGoOntoAClosedPhoneThroughItsDeviceBackup()
    {
        // The phone's device backup is a prepared one, copied into place by the tool's stand-in;
        // a restore is only noted.
        KikStoreOptions kik;
        kik.chats = 2;
        kik.messagesPerChat = 4;
        const GeneratedKikStore closedStore = KikStoreGenerator(kik).generate(env.path("closed-kik"));
        ItunesBackupBuilder prepared;
        prepared.addFolder(kDomain, closedStore.rootFolder);
        prepared.build(env.path("prepared/" + kClosedUdid));
        QFile remembered(QDir(dataFolder()).filePath(TempBackupRootFileName));
        QVERIFY(remembered.open(QIODevice::WriteOnly));
        remembered.write(env.path("backuproot").toUtf8());
        remembered.close();
        QVERIFY(QDir().mkpath(env.path("backuproot")));
        FakeBackupTool tool(env.path("bin"));
        tool.write("case \"$*\" in *restore*) echo restored > \"$NOTE\";; *) mkdir -p \"$ROOT\" && cp -R '" +
                   env.path("prepared/" + kClosedUdid) + "' \"$ROOT/\";; esac");

        SimPhoneOptions options;
        options.developmentApps = {kKik};
        options.deviceName = QStringLiteral("Closed iPhone");
        sim.createPhone(kClosedUdid, options).setFault("ContainerRefused", true);
        sim.plugIn(kClosedUdid);
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(model()->deviceRoot()).size(), 2, 20000);
        settle();
        boxes->clear();

        selectSource();
        chosenDevice = QStringLiteral("Closed iPhone");
        window->miDb2iAll();
        QTRY_VERIFY_WITH_TIMEOUT(boxes->texts().filter("Successfully transferred").size() == 1, 20000);
        QVERIFY(boxes->texts(QMessageBox::Critical).isEmpty());
        QVERIFY(boxes->texts().filter("Notes:<br/>1) If your iPhone is protected with a passcode").size() == 1);
        QCOMPARE(boxes->texts().last(),
                 QStringLiteral("Successfully transferred %1 messages to iPhone.").arg(sourceMessages));
        QCOMPARE(tool.note(), QStringLiteral("restored\n"));
        QVERIFY(tool.arguments().contains(kClosedUdid));

        // The backup that went back onto the phone holds the phone's messages and the new ones.
        const QString backupFolder = QDir(rememberedTempBackupFolder()).filePath(kClosedUdid);
        const MbdbIndex index = readManifestDb(backupFolder + "/Manifest.mbdb");
        const QString storeName = backupFileName(kDomain, QStringLiteral("Documents/kik.sqlite"));
        QVERIFY(index.contains(storeName));
        Sqlite3DB store;
        store.openThrow(backupFolder + "/" + storeName, Sqlite3DB::ReadOnly);
        Sqlite3Cursor count = store.queryThrow("select count(*) from ZKIKMESSAGE");
        QVERIFY(count.moveNext());
        QCOMPARE(count.getInt64(0), closedStore.messages + closedStore.statusLines + sourceMessages);
        // The phone restarts after a restore: it is dropped until it comes back.
        QCOMPARE(childTexts(model()->deviceRoot()), QStringList("Target iPhone"));
        chosenDevice = QStringLiteral("Target iPhone");
    }

    void aPhoneThatBacksUpToICloudOrEncryptsIsStopped()
    {
        auto *handle = MobileDeviceHandle::attach(kUdid);
        const IOSRestorePreflight both(true, true);
        QCOMPARE(both.warning(handle), QString());   // no backup settings at all
        phone.setLockdownValue(kBackupSettings, QStringLiteral("CloudBackupEnabled"), true);
        const QString cloud = both.warning(handle);
        phone.setLockdownValue(kBackupSettings, QStringLiteral("CloudBackupEnabled"), false);
        phone.setLockdownValue(kBackupSettings, QStringLiteral("WillEncrypt"), true);
        const QString encrypted = both.warning(handle);
        QCOMPARE(IOSRestorePreflight(true, false).warning(handle), QString());
        QCOMPARE((QStringList{cloud, encrypted}),
                 QStringList({"Failed to transfer data to device. Please turn off iCloud backup on your iPhone to try "
                              "again.<br/><br/><img src=\":res/close_icloudbk.jpg\"/>",
                              "Failed to transfer data to device. Your iTunes backup is encrypted. Please run iTunes "
                              "on computer and then uncheck \"Encrypt iPhone backup\" option to try again.<br/><br/>"
                              "<img src=\":res/close_itunesbkenc.jpg\"/>"}));
    }
};

QTEST_MAIN(TestMainWindowTransfer)
#include "TestMainWindowTransfer.moc"

// Moving a local database's messages into Kik: onto a plugged-in simulated iPhone, onto phones
// that keep Kik's container closed (through a device backup and restore by Debian's
// idevicebackup2, an encrypted one with its password), into a plain iTunes backup, the refusal of
// an encrypted backup without its password, and the check made before a device backup is
// restored onto a phone.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "BoxRecorder.h"
#include "ItunesBackupBuilder.h"
#include "KikDataBuilder.h"
#include "ModalKeys.h"
#include "PhoneKikStore.h"
#include "PhoneLog.h"
#include "SimulatedPhones.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/PrivateCache.h"
#include "device/IOSRestorePreflight.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "itunes/ManifestDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/DataSourceSelForm.h"
#include "ui/MainWindow.h"
#include "ui/PasscodeDlg.h"
#include "views/ItemModelMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F72");
const QString kClosedUdid = QStringLiteral("00008101-000A11B22C33D44F");
const QString kSealedUdid = QStringLiteral("00008120-000B22C33D44E55A");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kDomain = QStringLiteral("AppDomain-com.kik.chat");
const QString kBackupSettings = QStringLiteral("com.apple.mobile.backup");

}   // namespace

class TestMainWindowTransfer : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<MainWindow> window;
    GeneratedKikStore phoneStore;
    int sourceMessages = 0;
    QString chosenBackup;
    QString chosenDevice = QStringLiteral("Target iPhone");
    QStringList passwords;   // typed into the password dialog, one a try; none left: Cancel
    QStringList prompts;     // what each password dialog said

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
        ItemNode *source = child(model()->localDbRoot(), QStringLiteral("Source"));
        QVERIFY(source);
        select(*window, source);
    }

    // A phone of today that keeps Kik's store in its App Group container; the window loads it
    // through a device backup made by Debian's idevicebackup2 once it is plugged in.
    GeneratedKikStore plugInClosedPhone(const QString &udid, const QString &name, const QString &password = QString())
    {
        PhoneSetup setup(udid, PhoneKik::AppStoreGroup);
        setup.deviceName = name;
        setup.backupPassword = password;
        KikStoreOptions &kik = setup.kikStore.emplace();
        kik.chats = 2;
        kik.messagesPerChat = 4;
        kik.seed = quint32(qHash(udid));
        const qsizetype phonesBefore = model()->deviceRoot()->children.size();
        GeneratedKikStore store = sim.add(setup).kikStore;
        [&] { QTRY_COMPARE_WITH_TIMEOUT(model()->deviceRoot()->children.size(), phonesBefore + 1, 120000); }();
        settle();
        return store;
    }

    // Sends the source's messages to the named phone, which restarts after the restore and is
    // loaded again: its node then holds more messages than before. (On a busy computer the
    // phone may be back before the transfer has ended; its node is never left with what was read
    // before the restore.)
    void transferAndWaitForTheRestart(const QString &name)
    {
        boxes->clear();
        selectSource();
        const auto shownMessages = [&] {
            const auto *node = static_cast<const PhoneItemNode *>(child(model()->deviceRoot(), name));
            return node ? node->dataSet->allMessages().size() : -1;
        };
        const qsizetype before = shownMessages();
        QVERIFY(before >= 0);
        chosenDevice = name;
        window->commands().transferToPhone(MessageVariant::All);
        chosenDevice = QStringLiteral("Target iPhone");
        QTRY_VERIFY_WITH_TIMEOUT(shownMessages() > before, 120000);
        settle();
    }

    // Once each: the phone's messages and the source's, in a sound store.
    void checkPhoneStore(const QString &name, const SimPhoneFolder &target, const GeneratedKikStore &before)
    {
        const auto *node = static_cast<const PhoneItemNode *>(child(model()->deviceRoot(), name));
        QVERIFY(node);
        QCOMPARE(qint64(node->dataSet->allMessages().size()), before.messages + sourceMessages);
        QString integrity;
        const QMap<QString, int> uids = shownMessageUids(kikStorePath(target), &integrity);
        QCOMPARE(integrity, QStringLiteral("ok"));
        QCOMPARE(qint64(uids.size()), before.messages + sourceMessages);
        QCOMPARE(QSet<int>(uids.begin(), uids.end()), QSet<int>{1});
        for (const QString &uid : before.messageUids)
            QVERIFY(uids.contains(uid));
    }

private slots:
    void initTestCase()
    {
        const QString error = preparePhoneApplication(env.path("tmp"));
        QVERIFY2(error.isEmpty(), qPrintable(error));

        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat =
            builder.addChat(builder.addUser(QStringLiteral("Old Friend"), QStringLiteral("oldfriend_z@talk.kik.com")));
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
        PhoneSetup target(kUdid, PhoneKik::Development);
        target.deviceName = QStringLiteral("Target iPhone");
        target.kikStore = kik;
        const AddedPhone added = sim.add(target);
        phone = added.folder;
        phoneStore = added.kikStore;
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
        // Device backups go below the test's folder.
        keepDeviceBackupsIn(env.path("backuproot"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(model()->deviceRoot()), QStringList("Target iPhone"), 20000);
    }

    void init()
    {
        boxes->clear();
        // The password dialog itself, typed into: a wrong password keeps it open.
        window->dialogs().unlockBackup = [this](const QSharedPointer<BackupManifest> &backup, Secret *password) {
            PasscodeDlg dialog(backup, window.get());
            dialog.setKeepPassword(password != nullptr);
            prompts << dialog.findChild<QLabel *>(QStringLiteral("lbTitle2"))->text();
            while (!passwords.isEmpty() && dialog.result() != QDialog::Accepted) {
                dialog.findChild<QLineEdit *>(QStringLiteral("txtPasscode"))->setText(passwords.takeFirst());
                dialog.btnOKPressed();
            }
            if (dialog.result() != QDialog::Accepted)
                return false;
            if (password)
                *password = dialog.takePassword();
            return true;
        };
    }

    void anEncryptedBackupIsWrittenOnceItsPasswordIsGiven()
    {
        selectSource();
        chosenBackup = env.path("backups/encrypted");
        const QMap<QString, QByteArray> before = treeOf(chosenBackup);
        window->dialogs().unlockBackup = [](const QSharedPointer<BackupManifest> &, Secret *) { return false; };
        window->commands().transferToBackup(MessageVariant::All);
        QCOMPARE(boxes->texts(QMessageBox::Information), QStringList());
        QCOMPARE(treeOf(chosenBackup), before);

        window->dialogs().unlockBackup = [](const QSharedPointer<BackupManifest> &backup, Secret *) {
            return backup->unlock(Secret::fromUtf8("secret"));
        };
        selectSource();   // the phone's node, loaded meanwhile, may have taken the selection
        boxes->clear();
        window->commands().transferToBackup(MessageVariant::All);
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
        // Another writer has it: the window says so and changes nothing.
        {
            const QMap<QString, QByteArray> untouched = treeOf(chosenBackup);
            BackupWriteLock other(chosenBackup);
            other.acquireOrBusyThrow();
            window->commands().transferToBackup(MessageVariant::All);
            QCOMPARE(boxes->texts(QMessageBox::Critical).size(), 1);
            QVERIFY2(boxes->texts(QMessageBox::Critical).first().contains("is being written by another task"),
                     qPrintable(boxes->texts(QMessageBox::Critical).first()));
            QCOMPARE(treeOf(chosenBackup).size(), untouched.size() + 1);   // the other's lock
        }
        boxes->clear();
        window->commands().transferToBackup(MessageVariant::All);
        // Asked first, naming the backup that changes; told afterwards which one it was.
        QCOMPARE(boxes->texts(QMessageBox::Question).size(), 1);
        QVERIFY(boxes->texts(QMessageBox::Question).first().contains(QDir::toNativeSeparators(chosenBackup)));
        QCOMPARE(boxes->texts(QMessageBox::Information), QStringList(writtenText(chosenBackup)));
        const QByteArray after = readFileBytes(chosenBackup + "/" + storeName);
        QVERIFY(after != before);
        const MbdbIndex index = readManifestDb(chosenBackup + "/Manifest.mbdb");
        QCOMPARE(index.value(storeName).dataHash.bytes, QCryptographicHash::hash(after, QCryptographicHash::Sha1));
        // The run's mirror and its lock go again.
        QCOMPARE(QDir(privateCachePath()).entryList({"work-*"}, QDir::Dirs), QStringList());
        QVERIFY(!QFileInfo::exists(BackupWriteLock::lockPathFor(chosenBackup)));
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
            window->commands().transferToPhone(MessageVariant::All);
            window->commands().transferToBackup(MessageVariant::All);
            QCOMPARE(keys.texts().size(), 2);
            QVERIFY2(keys.texts().at(0).contains("please close Kik on your iPhone first"), qPrintable(keys.texts().at(0)));
            QVERIFY2(keys.texts().at(1).contains(QDir::toNativeSeparators(chosenBackup)), qPrintable(keys.texts().at(1)));
        }
        boxes = std::make_unique<BoxRecorder>();
        QCOMPARE(treeOf(phoneKik), phoneBefore);
        QCOMPARE(treeOf(chosenBackup), backupBefore);
        QCOMPARE(QDir(privateCachePath()).entryList({"work-*"}, QDir::Dirs), QStringList());
    }

    void messagesGoOntoAPluggedInPhone()
    {
        selectSource();
        window->commands().transferToPhone(MessageVariant::All);
        QTRY_COMPARE_WITH_TIMEOUT(boxes->texts().size(), 2, 20000);
        QVERIFY(boxes->texts().first().startsWith("To transfer Kik messages to iPhone successfully"));
        QCOMPARE(boxes->texts().last(), QStringLiteral("Successfully transferred %1 messages to iPhone.").arg(sourceMessages));
        settle();
        // The phone's node shows its store as it is now.
        const ItemNode *device = model()->deviceRoot()->children.value(0);
        QVERIFY(device);
        QCOMPARE(qint64(static_cast<const PhoneItemNode *>(device)->dataSet->allMessages().size()),
                 phoneStore.messages + sourceMessages);
    }

    void messagesGoOntoAClosedPhoneThroughItsDeviceBackup()
    {
        const GeneratedKikStore closedStore = plugInClosedPhone(kClosedUdid, QStringLiteral("Closed iPhone"));
        transferAndWaitForTheRestart(QStringLiteral("Closed iPhone"));
        QVERIFY(boxes->texts(QMessageBox::Critical).isEmpty());
        QVERIFY(boxes->texts().filter("Notes:<br/>1) If your iPhone is protected with a passcode").size() == 1);
        QCOMPARE(boxes->texts().filter("Successfully transferred").size(), 1);
        // The phone's store, restored by idevicebackup2, holds its messages and the new ones.
        checkPhoneStore(QStringLiteral("Closed iPhone"), sim.phone(kClosedUdid), closedStore);
    }

    // The phone encrypts its backups: its password is asked once, naming the phone, and reused
    // for the transfer and for the load after the restart. One that no longer unlocks (changed on
    // the phone) is asked for again; a wrong one is said so and nothing reaches the phone.
    void anEncryptedPhoneIsRestoredWithItsPassword()
    {
        passwords = {QStringLiteral("wrong"), QStringLiteral("phone-pw")};   // for the load when it is plugged in
        prompts.clear();
        const GeneratedKikStore sealedStore =
            plugInClosedPhone(kSealedUdid, QStringLiteral("Sealed iPhone"), QStringLiteral("phone-pw"));
        QVERIFY(passwords.isEmpty());
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts.first().startsWith(QStringLiteral("Sealed iPhone keeps its backups encrypted.")),
                 qPrintable(prompts.first()));
        const QMap<QString, QByteArray> before = treeOf(sim.phone(kSealedUdid).path() + "/groups");

        sim.phone(kSealedUdid).setBackupPassword(QStringLiteral("new-pw"), 10);
        passwords = {QStringLiteral("wrong")};   // then the dialog is cancelled
        boxes->clear();
        selectSource();
        chosenDevice = QStringLiteral("Sealed iPhone");
        window->commands().transferToPhone(MessageVariant::All);
        QVERIFY(passwords.isEmpty());
        QCOMPARE(prompts.size(), 2);
        QCOMPARE(boxes->texts(QMessageBox::Warning).filter("Invalid password.").size(), 1);
        QVERIFY(boxes->texts().filter("Successfully transferred").isEmpty());
        QCOMPARE(treeOf(sim.phone(kSealedUdid).path() + "/groups"), before);
        QVERIFY(PhoneLog::entries(sim.phone(kSealedUdid), {{"kind", "restored"}}).isEmpty());

        // Asked for the transfer only: the load after the restart reuses it.
        passwords = {QStringLiteral("new-pw")};
        transferAndWaitForTheRestart(QStringLiteral("Sealed iPhone"));
        QVERIFY(passwords.isEmpty());
        QCOMPARE(prompts.size(), 3);
        QVERIFY(boxes->texts(QMessageBox::Critical).isEmpty());
        QCOMPARE(boxes->texts().filter("Successfully transferred").size(), 1);
        checkPhoneStore(QStringLiteral("Sealed iPhone"), sim.phone(kSealedUdid), sealedStore);
    }

    void aPhoneThatBacksUpToICloudIsStopped()
    {
        auto *handle = MobileDeviceHandle::attach(kUdid);
        const IOSRestorePreflight preflight;
        QCOMPARE(preflight.warning(handle), QString());   // no backup settings at all
        phone.setLockdownValue(kBackupSettings, QStringLiteral("CloudBackupEnabled"), true);
        const QString cloud = preflight.warning(handle);
        phone.setLockdownValue(kBackupSettings, QStringLiteral("CloudBackupEnabled"), false);
        // Encrypted backups are restored with their password.
        phone.setLockdownValue(kBackupSettings, QStringLiteral("WillEncrypt"), true);
        QCOMPARE(preflight.warning(handle), QString());
        QCOMPARE(cloud, QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on your "
                                       "iPhone to try again."));
    }
};

QTEST_MAIN(TestMainWindowTransfer)
#include "TestMainWindowTransfer.moc"

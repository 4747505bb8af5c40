// Plugging in a simulated iPhone: its Kik chats appear under a device node of its own; a phone
// that keeps Kik's container closed is read through a device backup (a stand-in for the backup
// tool copies a prepared one) into the same mirror.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"

#include "BoxRecorder.h"
#include "ItunesBackupBuilder.h"
#include "SimulatedPhones.h"
#include "TestFiles.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "device/DeviceCacheFolder.h"
#include "device/MobileDeviceHandle.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupManifest.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainMenus.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "ui/WindowFlows.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "workers/AbsDeviceBackupThread.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

const QString kOpen = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kClosed = QStringLiteral("00008101-000A11B22C33D44E");
const QString kKik = QStringLiteral("com.kik.chat");

// Every phone holds the same Kik data: the same options make the same store.
PhoneSetup phoneWithKik(const QString &udid, const QString &name)
{
    PhoneSetup setup(udid, PhoneKik::Development);
    setup.deviceName = name;
    KikStoreOptions &kik = setup.kikStore.emplace();
    kik.contacts = 6;
    kik.chats = 4;
    kik.groups = 1;
    kik.messagesPerChat = 10;
    return setup;
}

}   // namespace

class TestMainWindowDevice : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<MainWindow> window;
    GeneratedKikStore store;

    ItemModelMain *model() const { return window->mainModel(); }

private slots:
    void initTestCase()
    {
        const QString error = preparePhoneApplication(env.path("tmp"));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        store = sim.add(phoneWithKik(kOpen, QStringLiteral("Ann's iPhone"))).kikStore;
        // The closed phone holds the same Kik data; Debian's idevicebackup2 backs it up.
        PhoneSetup closed = phoneWithKik(kClosed, QStringLiteral("Locked iPhone"));
        closed.faults = {{"ContainerRefused", true}};
        sim.add(closed);
        keepDeviceBackupsIn(env.path("backuproot") + '/' + TempBackupFolderName);
        sim.start();

        boxes = std::make_unique<BoxRecorder>();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void aPluggedInPhoneShowsItsChats()
    {
        // Both phones come in, the closed one through its device backup.
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(model()->deviceRoot()).size(), 2, 20000);
        QCOMPARE(childTexts(model()->deviceRoot()), QStringList({"Ann's iPhone", "Locked iPhone"}));
        QVERIFY(boxes->texts(QMessageBox::Critical).isEmpty());
        QCOMPARE(boxes->texts().filter("Please make sure you have installed and verified Kik").size(), 2);
        QVERIFY(!window->findChild<QWidget *>(QStringLiteral("lbPhoneService"))->isVisible());   // usbmuxd answers
        const QString deviceBackup = env.path("backuproot") + '/' + TempBackupFolderName + '/' + kClosed;
        QVERIFY(readFileBytes(deviceBackup + "/Status.plist").contains("finished"));
        auto *locked = static_cast<PhoneItemNode *>(child(model()->deviceRoot(), "Locked iPhone"));
        QCOMPARE(qint64(locked->dataSet->allMessages().size()), store.messages);
        QVERIFY(QFileInfo(deviceCacheFolder(locked->device) + "/com.kik.chat/Documents/kik.sqlite").isFile());

        auto *phone = static_cast<PhoneItemNode *>(model()->deviceRoot()->children.first());
        QCOMPARE(phone->device.udid, kOpen);
        QCOMPARE(phone->children.size(), store.chats);
        QCOMPARE(qint64(phone->dataSet->allMessages().size()), store.messages);
        QVERIFY(QFileInfo(deviceCacheFolder(phone->device) + "/com.kik.chat/Documents/kik.sqlite").isFile());

        select(*window, phone);
        QCOMPARE(qint64(window->smsModel()->rowCount()), store.messages);
    }

    void aDeviceBackupFillsTheSameMirror()
    {
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("secret"), 10);
        builder.addFolder(QStringLiteral("AppDomain-com.kik.chat"), sim.phone(kOpen).containerPath(kKik));
        const QString folder = env.path("devicebackup/" + kClosed);
        builder.build(folder);
        QStringList typed;
        window->dialogs().unlockBackup = [&typed](const QSharedPointer<BackupManifest> &backup, Secret *) {
            typed << QStringLiteral("secret");
            return backup->unlock(Secret::fromUtf8("secret"));
        };

        DeviceDescription locked;
        locked.udid = kClosed;
        locked.deviceName = QStringLiteral("Locked iPhone");
        locked.handle = MobileDeviceHandle::attach(kClosed);
        QVERIFY(WindowFlows(*window).loadFromDeviceBackup(locked, folder));
        QCOMPARE(typed.size(), 1);
        QCOMPARE(childTexts(model()->deviceRoot()), QStringList({"Ann's iPhone", "Locked iPhone"}));
        auto *node = static_cast<PhoneItemNode *>(child(model()->deviceRoot(), "Locked iPhone"));
        QCOMPARE(qint64(node->dataSet->allMessages().size()), store.messages);
        QVERIFY(QFileInfo(deviceCacheFolder(locked) + "/com.kik.chat/Documents/kik.sqlite").isFile());

        // A folder that is no backup is reported, and nothing is added.
        boxes->clear();
        QVERIFY(!WindowFlows(*window).loadFromDeviceBackup(locked, env.path("nothing-here")));
        QCOMPARE(boxes->texts(QMessageBox::Critical).size(), 1);
        QCOMPARE(model()->deviceRoot()->children.size(), 2);
    }

    // A load that fails keeps the phone listed, marked, with Retry in its menu; Retry loads it.
    void aFailedLoadKeepsThePhoneForRetry()
    {
        const QString udid = QStringLiteral("00008120-0004F1A2B3C4D5E6");
        PhoneSetup setup = phoneWithKik(udid, QStringLiteral("Unready iPhone"));
        setup.faults = {{"ContainerRefused", true}};
        setup.backupError = 212;
        boxes->clear();
        // Plugged in at once; its load starts once the test yields to the event loop.
        const SimPhoneFolder unready = sim.add(setup).folder;
        QTRY_VERIFY_WITH_TIMEOUT(child(model()->deviceRoot(), "Unready iPhone (not loaded)"), 20000);
        QCOMPARE(boxes->texts(QMessageBox::Critical).size(), 1);
        auto *failed = child(model()->deviceRoot(), "Unready iPhone (not loaded)");
        select(*window, failed);
        const std::unique_ptr<QMenu> menu(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        QCOMPARE(menu->actions().first()->text().remove('&'), QStringLiteral("Retry Loading"));

        unready.setFault("MobileBackupErrors", QVariant());
        menu->actions().first()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(child(model()->deviceRoot(), "Unready iPhone"), 20000);
        QVERIFY(!child(model()->deviceRoot(), "Unready iPhone (not loaded)"));
        QCOMPARE(
            qint64(static_cast<PhoneItemNode *>(child(model()->deviceRoot(), "Unready iPhone"))->dataSet->allMessages().size()),
            store.messages);
        sim.unplug(udid);
        QTRY_VERIFY(!child(model()->deviceRoot(), "Unready iPhone"));
    }

    // While the phone waits for its passcode, the progress dialog says so; once it is typed the
    // notice goes and the load ends, all in one progress dialog.
    void thePasscodeNoticeShowsWhileThePhoneWaits()
    {
        const QString udid = QStringLiteral("00008120-0007A1B2C3D4E5F6");
        PhoneSetup setup = phoneWithKik(udid, QStringLiteral("Waiting iPhone"));
        setup.faults = {{"ContainerRefused", true}};
        setup.passcodeTypedAfter = -1;
        const SimPhoneFolder waiting = sim.add(setup).folder;
        const auto notice = [] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                const auto *form = qobject_cast<ProgressForm *>(widget);
                const auto *label = form && form->isVisible() ? form->findChild<QLabel *>(QStringLiteral("lbNotice")) : nullptr;
                if (label && label->isVisible())
                    return label->text();
            }
            return QString();
        };
        // The load runs in the progress dialog's own loop: the passcode is typed from there, once
        // the notice shows.
        // Its steps (backup, reading Kik's files, reading the store) run in one dialog.
        QString seen;
        QSet<QWidget *> dialogs;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<ProgressForm *>(widget) && widget->isVisible())
                    dialogs.insert(widget);
            }
            if (seen.isEmpty() && !(seen = notice()).isEmpty())
                waiting.typePasscode();
        });
        watcher.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(child(model()->deviceRoot(), "Waiting iPhone"), 60000);
        QCOMPARE(seen, AbsDeviceBackupThread::passcodeNotice());
        QCOMPARE(dialogs.size(), 1);
        QVERIFY(notice().isEmpty());
        sim.unplug(udid);
        QTRY_VERIFY(!child(model()->deviceRoot(), "Waiting iPhone"));
    }

    // Unplugged, the phone goes; plugged in again in the same session, it is loaded without the
    // notes a second time.
    void unpluggingRemovesThePhoneAndItsReturnSkipsTheNotes()
    {
        sim.unplug(kOpen);
        QTRY_COMPARE(childTexts(model()->deviceRoot()), QStringList("Locked iPhone"));
        QVERIFY(!window->findChild<QWidget *>(QStringLiteral("lbPhoneService"))->isVisible());
        boxes->clear();
        sim.plugIn(kOpen);
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(model()->deviceRoot()).size(), 2, 20000);
        QVERIFY(boxes->texts().filter("Please make sure you have installed and verified Kik").isEmpty());
    }

    void cleanupTestCase()
    {
        window.reset();
        boxes.reset();
        sim.stop();
    }
};

QTEST_MAIN(TestMainWindowDevice)
#include "TestMainWindowDevice.moc"

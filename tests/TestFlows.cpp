// The five workflows run once each through the window's interaction and once through the
// command-line tool's, against the same plain iTunes backup and a simulated iPhone that serves
// Kik's container: both front ends must take the same steps in the same order.

#include "DeviceBackupPlace.h"
#include "TestEnv.h"

#include "BoxRecorder.h"
#include "ItunesBackupBuilder.h"
#include "KikDataBuilder.h"
#include "RecordingInteraction.h"
#include "SimulatedPhones.h"
#include "WindowTestKit.h"
#include "cli/BackupPassword.h"
#include "cli/ConsoleInteraction.h"
#include "flows/ExportMessages.h"
#include "flows/ImportFromBackup.h"
#include "flows/LoadPhone.h"
#include "flows/TransferToBackup.h"
#include "flows/TransferToPhone.h"
#include "itunes/BackupManifest.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainWindow.h"
#include "ui/WindowInteraction.h"
#include "views/ItemModelMain.h"

#include <QDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace WindowTestKit;

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F90");

// A workflow as both front ends start it: tag is the front end ("window", "console"), so that
// what each writes lands apart.
using Flow = std::function<bool(FlowInteraction &interaction, const QString &tag)>;

}   // namespace

Q_DECLARE_METATYPE(Flow)

class TestFlows : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<MainWindow> window;
    KikDataSet source;
    DeviceDescription phone;
    QString backupFolder;

    // The window's dialogs answer as the console's options do.
    void answerDialogs(const QString &tag)
    {
        CommandDialogs &dialogs = window->dialogs();
        const auto readBackup = [this] {
            auto backup = QSharedPointer<BackupManifest>::create(backupFolder);
            backup->readInfo();
            return backup;
        };
        dialogs.chooseBackup = readBackup;
        dialogs.chooseBackupToWrite = readBackup;
        dialogs.chooseLocalDb = [tag](const QStringList &, const QString &) { return QStringLiteral("Imported ") + tag; };
        dialogs.chooseExportFile = [this, tag](const QString &, const QString &, const QString &, const QString &) {
            return CommandDialogs::ExportChoice{env.path(tag + ".txt"), WindowInteraction::exportFilters().constFirst(), false};
        };
    }

    QStringList runInWindow(const Flow &flow)
    {
        answerDialogs(QStringLiteral("window"));
        WindowInteraction front(*window);
        RecordingInteraction recording(front);
        boxes->clear();
        const bool done = WindowInteraction::run([&] { return flow(recording, QStringLiteral("window")); });
        if (!done)
            qWarning() << "the window's boxes:" << boxes->texts();
        return done ? recording.steps() : QStringList{QStringLiteral("stopped")} + recording.steps();
    }

    QStringList runInConsole(const Flow &flow)
    {
        QCommandLineParser args;
        args.addOptions({QCommandLineOption(QStringLiteral("yes")), passwordFileOption()});
        args.parse({QStringLiteral("parlewick-cli"), QStringLiteral("--yes")});
        ConsoleInteraction front(args);
        front.setBackupFolder(backupFolder);
        front.setLocalDb(QStringLiteral("Imported console"));
        front.setExportChoice({env.path("console.txt"), QStringLiteral("txt")});
        RecordingInteraction recording(front);
        try {
            if (!flow(recording, QStringLiteral("console")))
                return QStringList{QStringLiteral("stopped")} + recording.steps();
        } catch (const std::exception &error) {
            qWarning() << "the console's error:" << error.what();
            return QStringList{QStringLiteral("stopped")} + recording.steps();
        }
        return recording.steps();
    }

private slots:
    void initTestCase()
    {
        const QString error = preparePhoneApplication(env.path("tmp"));
        QVERIFY2(error.isEmpty(), qPrintable(error));

        KikDataBuilder builder(source);
        KikChat *chat =
            builder.addChat(builder.addUser(QStringLiteral("Old Friend"), QStringLiteral("oldfriend_q@talk.kik.com")));
        const QDateTime base(QDate(2020, 3, 4), QTime(10, 0), Qt::UTC);
        for (int i = 0; i < 4; ++i)
            builder.addMessage(chat, base.addSecs(i * 90), QStringLiteral("line %1").arg(i), i % 2 == 0);

        KikStoreOptions kik;
        kik.chats = 2;
        kik.messagesPerChat = 3;
        const GeneratedKikStore backupStore = KikStoreGenerator(kik).generate(env.path("backup-kik"));
        ItunesBackupBuilder plain;
        plain.addFolder(QStringLiteral("AppDomain-com.kik.chat"), backupStore.rootFolder);
        backupFolder = env.path("backups/plain");
        plain.build(backupFolder);

        PhoneSetup flowPhone(kUdid, PhoneKik::Development);
        flowPhone.deviceName = QStringLiteral("Flow iPhone");
        flowPhone.kikStore = kik;
        sim.add(flowPhone);
        sim.start();
        keepDeviceBackupsIn(env.path("backuproot"));

        boxes = std::make_unique<BoxRecorder>();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // The window loads the phone by itself once it is announced; the flows start after that.
        QTRY_COMPARE_WITH_TIMEOUT(childTexts(window->mainModel()->deviceRoot()), QStringList("Flow iPhone"), 20000);
        phone = static_cast<const PhoneItemNode *>(window->mainModel()->deviceRoot()->children.first())->device;
    }

    void bothFrontEndsTakeTheSameSteps_data()
    {
        QTest::addColumn<Flow>("flow");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("import from backup") << Flow([](FlowInteraction &interaction, const QString &) {
            return ImportFromBackup(interaction).run();
        }) << QStringList{"choose backup to read", "task IOSLoadKikFromiTunesThread",   "load Kik",
                          "choose database",       "last task BackupKikMessagesThread", "database written whole"};
        QTest::newRow("transfer to backup") << Flow([this](FlowInteraction &interaction, const QString &) {
            return TransferToBackup(interaction).run(source.allMessages());
        }) << QStringList{"choose backup to write",          "confirm WriteIntoBackup",     "lock backup",
                          "task IOSLoadKikFromiTunesThread", "task IOSRestoreKikMsgThread", "last task BackupFileMergeThread",
                          "transferred into backup"};
        QTest::newRow("export") << Flow([this](FlowInteraction &interaction, const QString &) {
            return exportMessages(interaction, source.allMessages(), QStringLiteral("all chats"));
        }) << QStringList{"choose export", "export task ExportMessagesThread", "exported"};
        QTest::newRow("load phone") << Flow([this](FlowInteraction &interaction, const QString &) {
            return LoadPhone(interaction, phone).run();
        }) << QStringList{"task IOSLoadKikMessagesThread", "load Kik", "show phone"};
        // Kik is closed first, before the phone is read; the phone is written last.
        QTest::newRow("transfer to phone") << Flow([this](FlowInteraction &interaction, const QString &) {
            return TransferToPhone(interaction, phone).run([this] { return source.allMessages(); });
        }) << QStringList{"confirm CloseKik", "task IOSLoadKikMessagesThread",    "load Kik",
                          "show phone",       "last task IOSRestoreKikMsgThread", "transferred to phone",
                          "phone written"};
    }
    void bothFrontEndsTakeTheSameSteps()
    {
        QFETCH(Flow, flow);
        QFETCH(QStringList, steps);
        QCOMPARE(runInWindow(flow), steps);
        QCOMPARE(runInConsole(flow), steps);
    }

    void cleanupTestCase()
    {
        window.reset();
        sim.stop();
    }
};

QTEST_MAIN(TestFlows)
#include "TestFlows.moc"

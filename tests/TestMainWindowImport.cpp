#include "TestEnv.h"

#include "BoxRecorder.h"
#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "itunes/BackupManifest.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainWindow.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "workers/KikBackupAccounts.h"

#include <QDir>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

// Import from an iTunes backup, from the backup list to the selected local database, with
// every dialog answered by the test.
class TestMainWindowImport : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<MainWindow> window;
    GeneratedKikStore store;
    QString chosenBackup;   // the folder the backup list "chooses"; empty: cancelled
    QString password;       // the password the passcode dialog "types"; empty: cancelled
    QStringList asked;      // the dialogs shown, in order
    QString proposedName;
    QString chosenAccount;   // the account the choice "picks"; empty: cancelled
    QList<KikAccountSummary> offeredAccounts;

    ItemModelMain *model() const { return window->mainModel(); }

private slots:
    void initTestCase()
    {
        prepareApplication();
        qputenv("TMPDIR", env.path("tmp").toUtf8());   // the extraction cache lies there
        QVERIFY(QDir().mkpath(env.path("tmp")));

        KikStoreOptions options;
        options.contacts = 6;
        options.chats = 4;
        options.groups = 1;
        options.messagesPerChat = 12;
        store = KikStoreGenerator(options).generate(env.path("kik"));

        ItunesBackupBuilder encrypted;
        encrypted.setPassword(QStringLiteral("secret"), 10);
        encrypted.addFolder(QStringLiteral("AppDomain-com.kik.chat"), store.rootFolder);
        encrypted.build(env.path("backups/encrypted"));
        ItunesBackupBuilder withoutKik;
        withoutKik.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"), "<plist/>");
        withoutKik.build(env.path("backups/nokik"));

        window = std::make_unique<MainWindow>();
        CommandDialogs &dialogs = window->dialogs();
        dialogs.chooseBackup = [this] {
            asked << QStringLiteral("backup list");
            if (chosenBackup.isEmpty())
                return QSharedPointer<BackupManifest>();
            QSharedPointer<BackupManifest> backup(new BackupManifest(chosenBackup));
            backup->readInfo();
            return backup;
        };
        dialogs.unlockBackup = [this](const QSharedPointer<BackupManifest> &backup, Secret *) {
            asked << QStringLiteral("password");
            return !password.isEmpty() && backup->unlock(Secret::fromUtf8(password.toUtf8()));
        };
        dialogs.chooseKikAccount = [this](const QList<KikAccountSummary> &accounts) {
            asked << QStringLiteral("account");
            offeredAccounts = accounts;
            return chosenAccount;
        };
        dialogs.chooseLocalDb = [this](const QStringList &, const QString &proposed) {
            asked << QStringLiteral("database");
            proposedName = proposed;
            return proposed;
        };
    }

    void init()
    {
        asked.clear();
        proposedName.clear();
    }

    void cancellingAnyDialogEndsTheImport()
    {
        BoxRecorder boxes;
        chosenBackup.clear();
        window->commands().importBackup();
        chosenBackup = env.path("backups/encrypted");
        password.clear();
        window->commands().importBackup();
        QCOMPARE(asked, QStringList({"backup list", "backup list", "password"}));
        QVERIFY(boxes.boxes().isEmpty());
        QVERIFY(model()->localDbRoot()->children.isEmpty());
    }

    void importsAnEncryptedBackupIntoANewDatabase()
    {
        BoxRecorder boxes;
        chosenBackup = env.path("backups/encrypted");
        password = QStringLiteral("secret");
        window->commands().importBackup();
        settle();
        QCOMPARE(asked, QStringList({"backup list", "password", "database"}));
        QCOMPARE(proposedName, QStringLiteral("Test iPhone_Backup"));
        QCOMPARE(boxes.texts(), QStringList(QStringLiteral("Successfully imported %1 messages.").arg(store.messages)));

        ItemNode *imported = child(model()->localDbRoot(), QStringLiteral("Test iPhone_Backup"));
        QVERIFY(imported);
        QCOMPARE(window->currentNode(), imported);
        QCOMPARE(imported->children.size(), store.chats);
        QCOMPARE(window->smsModel()->rowCount(), int(store.messages));
        QVERIFY(QFileInfo::exists(QDir(localDatabasesFolder()).filePath("Test iPhone_Backup/talvora-kik.db")));
    }

    void importingAgainIntoThatDatabaseAddsNothing()
    {
        BoxRecorder boxes;
        ItemNode *imported = child(model()->localDbRoot(), QStringLiteral("Test iPhone_Backup"));
        select(*window, imported->children.first());
        window->commands().importIntoCurrentLocalDb();   // a chat is current, not a database: nothing
        QVERIFY(asked.isEmpty());

        select(*window, imported);
        window->commands().importIntoCurrentLocalDb();
        settle();
        QCOMPARE(proposedName, QStringLiteral("Test iPhone_Backup"));
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList("Test iPhone_Backup"));
        QCOMPARE(window->currentNode(), child(model()->localDbRoot(), QStringLiteral("Test iPhone_Backup")));
        QCOMPARE(window->smsModel()->rowCount(), int(store.messages));
    }

    void aBackupWithoutKikIsReported()
    {
        BoxRecorder boxes;
        chosenBackup = env.path("backups/nokik");
        window->commands().importBackup();
        QCOMPARE(asked, QStringList("backup list"));
        const QStringList errors = boxes.texts(QMessageBox::Critical);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains("Found no Kik data in your iTunes Backup."), qPrintable(errors.first()));
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList("Test iPhone_Backup"));
    }

    // A newer phone keeps one Kik store per account in the App Group container: the window
    // asks which, listing what each holds, and loads only that one.
    void aBackupWithTwoAccountsAsksWhichOne()
    {
        KikStoreOptions options;
        options.contacts = 3;
        options.chats = 2;
        options.groups = 0;
        options.messagesPerChat = 7;
        options.seed = 9;
        options.ownerUserName = QStringLiteral("ann.second");
        const GeneratedKikStore second = KikStoreGenerator(options).generate(env.path("kik-second"));
        ItunesBackupDevice device;
        device.deviceName = QStringLiteral("Newer iPhone");
        ItunesBackupBuilder builder(device);
        addKikToBackup(builder, store.rootFolder, KikFixturePlace::Group, kikFixtureAccountId(1));
        addKikToBackup(builder, second.rootFolder, KikFixturePlace::Group, kikFixtureAccountId(2));
        builder.build(env.path("backups/accounts"));

        BoxRecorder boxes;
        chosenBackup = env.path("backups/accounts");
        chosenAccount.clear();
        window->commands().importBackup();
        QCOMPARE(asked, QStringList({"backup list", "account"}));
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(offeredAccounts.size(), 2);
        QCOMPARE(offeredAccounts.at(0).accountId, kikFixtureAccountId(1));
        QCOMPARE(offeredAccounts.at(0).messages, store.messages);
        QCOMPARE(offeredAccounts.at(1).messages, second.messages);
        QVERIFY(offeredAccounts.at(1).newest.isValid());
        // Offered by the names people know them by.
        QCOMPARE(offeredAccounts.at(0).userName, QStringLiteral("me.owner"));
        QCOMPARE(offeredAccounts.at(1).userName, QStringLiteral("ann.second"));
        QVERIFY(describeKikAccounts(offeredAccounts).startsWith(QStringLiteral("me.owner (")));

        asked.clear();
        chosenAccount = kikFixtureAccountId(2);
        window->commands().importBackup();
        settle();
        QCOMPARE(asked, QStringList({"backup list", "account", "database"}));
        QCOMPARE(boxes.texts(), QStringList(QStringLiteral("Successfully imported %1 messages.").arg(second.messages)));
        QVERIFY(child(model()->localDbRoot(), QStringLiteral("Newer iPhone_Backup")));
        QCOMPARE(window->smsModel()->rowCount(), int(second.messages));
    }

    void cleanupTestCase() { window.reset(); }
};

QTEST_MAIN(TestMainWindowImport)
#include "TestMainWindowImport.moc"

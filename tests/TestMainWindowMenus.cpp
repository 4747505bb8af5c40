#include "TestEnv.h"

#include "BoxRecorder.h"
#include "KikDataBuilder.h"
#include "WindowTestKit.h"
#include "itunes/BackupManifest.h"
#include "ui/DataSourceSelForm.h"
#include "ui/MainMenus.h"
#include "ui/MainWindow.h"
#include "ui/PhoneConnections.h"
#include "views/ItemModelMain.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

const QStringList ToolbarSlots = {"miBackupToolbar", "miI2iToolbar",   "miDb2iToolbar",
                                  "miExportToolbar", "miPrintToolbar", "miDeleteToolbar"};

KikDataSetPtr twoChats(const QString &prefix)
{
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    const QDateTime start(QDate(2016, 3, 1), QTime(10, 0), Qt::UTC);
    for (int i = 0; i < 2; ++i) {
        KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("%1 friend %2").arg(prefix).arg(i)));
        builder.addMessage(chat, start.addSecs(i * 60), QStringLiteral("hello"), i == 0);
    }
    return set;
}

// "name" for an enabled entry, "name!" for a disabled one.
QStringList entries(const QMenu *menu)
{
    QStringList result;
    for (const QAction *action : menu->actions())
        result << action->objectName() + (action->isEnabled() ? QString() : QStringLiteral("!"));
    return result;
}

}   // namespace

// The File menu and tool bar enable table and both context menus, for every kind of node
// with no, one and two phones listed.
class TestMainWindowMenus : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<MainWindow> window;
    LocalDbItemNode *archive = nullptr;
    QList<PhoneItemNode *> phones;
    int nextHandle = 1;

    ItemModelMain *model() const { return window->mainModel(); }

    void setPhoneCount(int count)
    {
        while (phones.size() > count)
            window->removeSourceNode(phones.takeLast());
        while (phones.size() < count) {
            DeviceDescription description;
            description.deviceName = QStringLiteral("Phone %1").arg(phones.size() + 1);
            description.udid = QStringLiteral("udid-%1").arg(nextHandle);
            // A token, never used as a phone.
            description.handle = reinterpret_cast<MobileDeviceHandle *>(quintptr(nextHandle++));
            PhoneItemNode *phone = model()->addDevice(description);
            phone->dataSet = twoChats(description.deviceName);
            model()->addChats(phone);
            phones << phone;
        }
    }

    ItemNode *nodeOfKind(const QString &kind) const
    {
        if (kind == QLatin1String("devicesRoot"))
            return model()->deviceRoot();
        if (kind == QLatin1String("localDbRoot"))
            return model()->localDbRoot();
        if (kind == QLatin1String("device"))
            return phones.first();
        if (kind == QLatin1String("deviceChat"))
            return phones.first()->children.first();
        if (kind == QLatin1String("localDb"))
            return archive;
        if (kind == QLatin1String("localDbChat"))
            return archive->children.first();
        return nullptr;
    }

    void selectKind(const QString &kind)
    {
        if (ItemNode *node = nodeOfKind(kind))
            select(*window, node);
        else
            window->clearSourceSelection();
    }

    QMenu *fileMenu() const { return window->menuBar()->actions().at(0)->menu(); }

    QAction *fileAction(const QString &slot) const
    {
        for (QAction *action : fileMenu()->actions()) {
            if (action->objectName() == slot)
                return action;
        }
        return nullptr;
    }

    QStringList enabledToolbarActions() const
    {
        QStringList enabled;
        for (const QString &slot : ToolbarSlots) {
            if (fileAction(slot)->isEnabled())
                enabled << slot;
        }
        return enabled;
    }

private slots:
    void initTestCase()
    {
        prepareApplication();
        window = std::make_unique<MainWindow>();
        archive = model()->addLocalDb(QStringLiteral("Archive"));
        archive->dataSet = twoChats(QStringLiteral("Archive"));
        model()->addChats(archive);
    }

    void menuBarAndToolBarShareTheirActions()
    {
        const QList<QAction *> menus = window->menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus.at(0)->text(), QStringLiteral("&File"));
        QCOMPARE(menus.at(1)->text(), QStringLiteral("&Tools"));
        QCOMPARE(menus.at(2)->text(), QStringLiteral("&Help"));
        QCOMPARE(entries(fileMenu()),
                 QStringList({"miBackupToolbar!", "miI2iToolbar!", "miDb2iToolbar!", "", "miExportToolbar!", "miPrintToolbar!",
                              "miDeleteToolbar!", "", "miImportiTunes", "miOpenDBFolder", "", "close"}));
        // No vendor host: no vendor pages (TestPrivacy has them with one).
        QCOMPARE(entries(menus.at(1)->menu()), QStringList({"miClearCache", "miPreferences"}));
        QCOMPARE(entries(menus.at(2)->menu()), QStringList({"miHelp", "miAbout"}));
        QCOMPARE(fileAction("miImportiTunes")->text(), QStringLiteral("&Import from iTunes Backup"));
        QCOMPARE(fileAction("miI2iToolbar")->text(), QStringLiteral("&Transfer Messages from iPhone to iPhone"));
        for (QAction *action : fileMenu()->actions())
            QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->objectName()));

        auto *toolBar = window->findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        QStringList shown;
        for (QAction *action : toolBar->actions()) {
            // The very objects of the File menu, so text, icon and state cannot drift apart.
            QVERIFY(action->isSeparator() || fileMenu()->actions().contains(action));
            shown << action->objectName();
        }
        QCOMPARE(shown, QStringList({"miBackupToolbar", "miI2iToolbar", "miDb2iToolbar", "miImportiTunes", "", "miExportToolbar",
                                     "miPrintToolbar", "miDeleteToolbar"}));
    }

    void enableTable_data()
    {
        QTest::addColumn<int>("phoneCount");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("enabled");
        const QStringList none;
        const QStringList database = {"miExportToolbar", "miPrintToolbar", "miDeleteToolbar"};
        const QStringList databaseWithPhone = {"miDb2iToolbar", "miExportToolbar", "miPrintToolbar", "miDeleteToolbar"};
        const QStringList phone = {"miBackupToolbar", "miExportToolbar", "miPrintToolbar"};
        const QStringList phoneWithOther = {"miBackupToolbar", "miI2iToolbar", "miExportToolbar", "miPrintToolbar"};
        for (int count : {0, 1, 2}) {
            const QByteArray listed = QByteArray::number(count) + " phones: ";
            QTest::newRow(listed + "nothing") << count << QString() << none;
            QTest::newRow(listed + "devices root") << count << "devicesRoot" << none;
            QTest::newRow(listed + "databases root") << count << "localDbRoot" << none;
            QTest::newRow(listed + "database") << count << "localDb" << (count ? databaseWithPhone : database);
            QTest::newRow(listed + "database chat") << count << "localDbChat" << (count ? databaseWithPhone : database);
        }
        QTest::newRow("1 phone: phone") << 1 << "device" << phone;
        QTest::newRow("1 phone: phone chat") << 1 << "deviceChat" << phone;
        QTest::newRow("2 phones: phone") << 2 << "device" << phoneWithOther;
        QTest::newRow("2 phones: phone chat") << 2 << "deviceChat" << phoneWithOther;
    }

    void enableTable()
    {
        QFETCH(int, phoneCount);
        QFETCH(QString, kind);
        QFETCH(QStringList, enabled);
        setPhoneCount(phoneCount);
        selectKind(QStringLiteral("localDb"));   // a different state before, whatever the row
        selectKind(kind);
        QCOMPARE(enabledToolbarActions(), enabled);
        for (const char *always : {"miImportiTunes", "miOpenDBFolder", "close"})
            QVERIFY(fileAction(always)->isEnabled());
    }

    void treeContextMenu_data()
    {
        QTest::addColumn<int>("phoneCount");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("expected");
        const QStringList phoneMenu = {"miBackupAll", "miI2iAll",        "miExportAll",
                                       "miPrintAll",  "miUnmountDevice", "miViewIOSCacheFiles"};
        const QStringList phoneChatMenu = {"miBackupChat", "miI2iChat", "miExportChat", "miPrintChat"};
        const QStringList databaseMenu = {
            "miDb2iAll", "miExportAll", "miPrintAll", "miDeleteAll", "miImportiTunesToLocalDb", "miExport2ITunesBKAll"};
        const QStringList databaseChatMenu = {"miDb2iChat", "miExportChat", "miPrintChat", "miDeleteChat",
                                              "miExport2ITunesBKChat"};
        const auto disabling = [](QStringList menu, const QString &slot) {
            menu.replace(menu.indexOf(slot), slot + QLatin1Char('!'));
            return menu;
        };
        QTest::newRow("databases root") << 0 << "localDbRoot" << QStringList({"miOpenDBFolder", "miImportiTunes"});
        QTest::newRow("devices root") << 1 << "devicesRoot" << QStringList();
        QTest::newRow("database, no phone") << 0 << "localDb" << disabling(databaseMenu, "miDb2iAll");
        QTest::newRow("database, one phone") << 1 << "localDb" << databaseMenu;
        QTest::newRow("database chat, no phone") << 0 << "localDbChat" << disabling(databaseChatMenu, "miDb2iChat");
        QTest::newRow("database chat, one phone") << 1 << "localDbChat" << databaseChatMenu;
        QTest::newRow("one phone") << 1 << "device" << disabling(phoneMenu, "miI2iAll");
        QTest::newRow("two phones") << 2 << "device" << phoneMenu;
        QTest::newRow("phone chat, one phone") << 1 << "deviceChat" << disabling(phoneChatMenu, "miI2iChat");
        QTest::newRow("phone chat, two phones") << 2 << "deviceChat" << phoneChatMenu;
    }

    void treeContextMenu()
    {
        QFETCH(int, phoneCount);
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        setPhoneCount(phoneCount);
        selectKind(kind);
        const std::unique_ptr<QMenu> menu(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        if (expected.isEmpty()) {
            QVERIFY(!menu);
            return;
        }
        QVERIFY(menu);
        QCOMPARE(entries(menu.get()), expected);
        for (const QAction *action : menu->actions()) {
            const bool iconless = action->objectName().startsWith(QLatin1String("miExport2ITunesBK"));
            QCOMPARE(action->icon().isNull(), iconless);
            QVERIFY(!action->isSeparator());
        }
    }

    void messageListContextMenu_data()
    {
        QTest::addColumn<int>("phoneCount");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("expected");
        const QStringList phoneMenu = {"miBackup", "miI2i", "miExport", "miPrint"};
        const QStringList databaseMenu = {"miDb2i", "miExport", "miPrint", "miDelete", "miExport2ITunesBKSel"};
        QTest::newRow("nothing selected") << 1 << QString() << QStringList();
        QTest::newRow("devices root") << 1 << "devicesRoot" << QStringList();
        QTest::newRow("phone, alone") << 1 << "device" << QStringList({"miBackup", "miI2i!", "miExport", "miPrint"});
        QTest::newRow("phone chat, two phones") << 2 << "deviceChat" << phoneMenu;
        QTest::newRow("database, no phone") << 0 << "localDb"
                                            << QStringList(
                                                   {"miDb2i!", "miExport", "miPrint", "miDelete", "miExport2ITunesBKSel"});
        QTest::newRow("database chat, one phone") << 1 << "localDbChat" << databaseMenu;
    }

    void messageListContextMenu()
    {
        QFETCH(int, phoneCount);
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        setPhoneCount(phoneCount);
        selectKind(kind);
        const std::unique_ptr<QMenu> menu(window->menus()->listContextMenu(window->commandScope(), window.get()));
        QCOMPARE(menu ? entries(menu.get()) : QStringList(), expected);
    }

    void menuTextsAreTheProgramsOwn()
    {
        setPhoneCount(1);
        selectKind(QStringLiteral("localDb"));
        std::unique_ptr<QMenu> menu(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << action->text().remove(QLatin1Char('&'));
        QCOMPARE(texts, QStringList({"Transfer Messages from Database to iPhone", "Export Messages to File", "Print Messages",
                                     "Delete Messages", "Import from iTunes Backup", "Export Messages to iTunes Backup"}));
        selectKind(QStringLiteral("deviceChat"));
        menu.reset(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        texts.clear();
        for (const QAction *action : menu->actions())
            texts << action->text().remove(QLatin1Char('&'));
        QCOMPARE(texts, QStringList({"Backup Messages with this Contact", "Transfer Messages with this Contact to other iPhone",
                                     "Export Messages with this Contact to File", "Print Messages with this Contact"}));
    }

    void entriesCallTheirSlots()
    {
        BoxRecorder boxes;
        setPhoneCount(2);
        selectKind(QStringLiteral("deviceChat"));
        std::unique_ptr<QMenu> menu(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        // "to other iPhone" offers every phone but the one the messages come from.
        QString askedTitle;
        QStringList offered;
        window->dialogs().chooseDevice = [&](const QString &title, const QList<ChoiceEntry> &entries) -> void * {
            askedTitle = title;
            for (const ChoiceEntry &entry : entries)
                offered << entry.text;
            return nullptr;
        };
        menu->actions().at(1)->trigger();
        QCOMPARE(askedTitle, QStringLiteral("Please select an iPhone:"));
        QCOMPARE(offered, QStringList(phones.at(1)->text));
        QCOMPARE(boxes.texts(QMessageBox::Information), QStringList());

        int backupsAsked = 0;
        window->dialogs().chooseBackupToWrite = [&] {
            ++backupsAsked;
            return QSharedPointer<BackupManifest>();
        };
        selectKind(QStringLiteral("localDb"));
        menu.reset(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        menu->actions().last()->trigger();
        QCOMPARE(backupsAsked, 1);
        QCOMPARE(boxes.texts(QMessageBox::Information), QStringList());
        window->dialogs() = CommandDialogs::standard(window.get());

        selectKind(QStringLiteral("device"));
        PhoneItemNode *shown = phones.first();
        menu.reset(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        menu->actions().at(4)->trigger();   // Disconnect Device
        QVERIFY(!model()->deviceRoot()->children.contains(shown));
        phones.removeFirst();
        QVERIFY(!fileAction("miBackupToolbar")->isEnabled());
    }

    void losingAPhoneDisablesTheTransferToIt()
    {
        setPhoneCount(2);
        selectKind(QStringLiteral("deviceChat"));
        QVERIFY(fileAction("miI2iToolbar")->isEnabled());
        window->phones().disconnected(phones.last()->device.handle);   // not the one selected
        phones.removeLast();
        QCOMPARE(window->currentNode(), phones.first()->children.first());
        QCOMPARE(enabledToolbarActions(), QStringList({"miBackupToolbar", "miExportToolbar", "miPrintToolbar"}));
    }

    void exitClosesTheWindow()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fileAction("close")->trigger();
        QVERIFY(!window->isVisible());
    }

    void cleanupTestCase() { window.reset(); }
};

QTEST_MAIN(TestMainWindowMenus)
#include "TestMainWindowMenus.moc"

#include "TestEnv.h"

#include "BoxRecorder.h"
#include "FakeCommandHost.h"
#include "KikDataBuilder.h"
#include "ui/WindowCommands.h"

#include <QtTest>

#include <functional>

namespace {

using Command = std::function<void(WindowCommands &)>;

const QHash<QString, Command> &commandsByName()
{
    static const QHash<QString, Command> table = {
        {"print selection", [](WindowCommands &c) { c.print(MessageVariant::Selection); }},
        {"export chat", [](WindowCommands &c) { c.exportToFile(MessageVariant::Chat); }},
        {"transfer selection", [](WindowCommands &c) { c.transferToPhone(MessageVariant::Selection); }},
        {"delete selection", [](WindowCommands &c) { c.deleteMessages(MessageVariant::Selection); }},
        {"delete all", [](WindowCommands &c) { c.deleteMessages(MessageVariant::All); }},
        {"import here", [](WindowCommands &c) { c.importIntoCurrentLocalDb(); }},
        {"unmount", [](WindowCommands &c) { c.unmountPhone(); }},
        {"reload", [](WindowCommands &c) { c.reloadSource(); }},
    };
    return table;
}

KikDataSetPtr chatsOf(const QStringList &names)
{
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    const QDateTime start(QDate(2016, 3, 1), QTime(10, 0), Qt::UTC);
    for (const QString &name : names) {
        KikChat *chat = builder.addChat(builder.addUser(name, name.toLower() + QStringLiteral("@talk.kik.com")));
        builder.addMessage(chat, start, name + QStringLiteral(" one"), false);
        builder.addMessage(chat, start.addSecs(60), name + QStringLiteral(" two"), false);
    }
    return set;
}

// "Archive/Bob": a source by its text, then one of its chats.
ItemNode *nodeAt(const ItemModelMain &model, const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    for (ItemNode *top : {static_cast<ItemNode *>(model.deviceRoot()), model.localDbRoot()}) {
        for (ItemNode *source : top->children) {
            if (source->text != parts.first())
                continue;
            if (parts.size() == 1)
                return source;
            for (ItemNode *chat : source->children) {
                if (chat->text == parts.at(1))
                    return chat;
            }
        }
    }
    return nullptr;
}

}   // namespace

// The window's commands through a fake host: which messages they take, what they ask, what
// they refuse where they do not apply, and what they have the window do.
class TestWindowCommands : public QObject
{
    Q_OBJECT
    TestEnv env;
    int phoneTokens[2] = {};

    void addPhone(FakeCommandHost &host, const QString &name, int *token, const QStringList &chats)
    {
        DeviceDescription description;
        description.deviceName = name;
        description.udid = name;
        description.handle = reinterpret_cast<MobileDeviceHandle *>(token);   // a token only
        PhoneItemNode *phone = host.model.addDevice(description);
        phone->dataSet = chatsOf(chats);
        host.model.addChats(phone);
    }

private slots:
    void commandsAskTheHost_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("messages");   // how many messages the variant gives
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("questions");

        const QStringList none;
        QTest::newRow("print of nothing") << "Archive/Bob"
                                          << "print selection" << 0 << none << QStringList{"messages Selection"} << 0;
        QTest::newRow("export names what goes")
            << "Archive/Bob"
            << "export chat" << 2 << QStringList{"export file for Bob's two"} << QStringList{"messages Chat"} << 0;
        QTest::newRow("export of nothing") << "Archive/Bob"
                                           << "export chat" << 0 << none << QStringList{"messages Chat"} << 0;
        QTest::newRow("transfer offers the other phones")
            << "Phone A/Eve"
            << "transfer selection" << 1 << QStringList{"phone of Phone B"} << QStringList{"messages Selection"} << 0;
        QTest::newRow("transfer of nothing") << "Phone A/Eve"
                                             << "transfer selection" << 0 << none << QStringList{"messages Selection"} << 0;
        QTest::newRow("delete of no selection") << "Archive/Bob"
                                                << "delete selection" << 0 << none << QStringList{"messages Selection"} << 0;
        QTest::newRow("delete declined") << "Archive/Bob"
                                         << "delete selection" << 2 << none << QStringList{"messages Selection"} << 1;
        QTest::newRow("delete never on a phone") << "Phone A"
                                                 << "delete all" << 2 << none << none << 0;
        QTest::newRow("import into the database") << "Archive"
                                                  << "import here" << 0 << QStringList{"backup to read"} << none << 0;
        QTest::newRow("import from a chat: nothing") << "Archive/Bob"
                                                     << "import here" << 0 << none << none << 0;
        QTest::newRow("unmount a phone") << "Phone A/Eve"
                                         << "unmount" << 0 << none << none << 0;
        QTest::newRow("unmount on the phone") << "Phone A"
                                              << "unmount" << 0 << none << QStringList{"remove Phone A"} << 0;
        QTest::newRow("reload keeps the chat") << "Archive/Carol"
                                               << "reload" << 0 << none << QStringList{"reload Archive", "select Carol"} << 0;
        QTest::newRow("reload a plugged phone") << "Phone B/Eve"
                                                << "reload" << 0 << none << QStringList{"reload phone Phone B"} << 0;
    }

    void commandsAskTheHost()
    {
        QFETCH(QString, node);
        QFETCH(QString, command);
        QFETCH(int, messages);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, calls);
        QFETCH(int, questions);

        FakeCommandHost host;
        LocalDbItemNode *archive = host.model.addLocalDb(QStringLiteral("Archive"));
        archive->dataSet = chatsOf({"Bob", "Carol"});
        host.model.addChats(archive);
        addPhone(host, QStringLiteral("Phone A"), &phoneTokens[0], {"Eve"});
        addPhone(host, QStringLiteral("Phone B"), &phoneTokens[1], {"Eve"});
        host.current = nodeAt(host.model, node);
        QVERIFY(host.current);
        host.given.dataSet = archive->dataSet;
        host.given.messages = archive->dataSet->allMessages().mid(0, messages);
        host.given.what = QStringLiteral("Bob's two");

        BoxRecorder boxes(QMessageBox::No);
        WindowCommands commands(host);
        commandsByName().value(command)(commands);
        QCOMPARE(host.asked, asked);
        QCOMPARE(host.calls, calls);
        QCOMPARE(boxes.texts(QMessageBox::Question).size(), questions);
        QCOMPARE(boxes.boxes().size(), questions);   // nothing else told
    }
};

QTEST_MAIN(TestWindowCommands)
#include "TestWindowCommands.moc"

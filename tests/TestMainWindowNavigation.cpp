#include "TestEnv.h"

#include "BoxRecorder.h"
#include "KikDataBuilder.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "kik/IOSKikDb.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainWindow.h"
#include "ui/MessageSearch.h"
#include "ui/PhoneConnections.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/KikBubbleViewMgr.h"

#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

const QString TwentyName = QStringLiteral("Abcdefghij Klmnopqrs");       // 20 characters
const QString TwentyOneName = QStringLiteral("Abcdefghij Klmnopqrst");   // 21 characters
const QStringList BobBodies = {"apple pie", "banana", "Apple juice", "cherry", "date"};

QDateTime at(int minutes)
{
    return QDateTime(QDate(2016, 3, 1), QTime(10, 0), Qt::UTC).addSecs(minutes * 60);
}

// Bob's chat is the newest; the two long names and a group come before it.
KikDataSetPtr alphaData()
{
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    KikUser *long20 = builder.addUser(TwentyName);
    KikUser *long21 = builder.addUser(TwentyOneName);
    builder.addMessage(builder.addChat(long21), at(1), QStringLiteral("from the longest name"), false);
    builder.addMessage(builder.addChat(long20), at(2), QStringLiteral("from a long name"), false);
    builder.addMessage(builder.addChat(builder.addGroup(QStringLiteral("Team"), {long20, long21})), at(3),
                       QStringLiteral("team talk"), true);
    KikChat *bob = builder.addChat(builder.addUser(QStringLiteral("Bob"), QStringLiteral("bob@talk.kik.com")));
    for (int i = 0; i < BobBodies.size(); ++i)
        builder.addMessage(bob, at(10 + i * 5), BobBodies.at(i), i % 2 == 0);
    return set;
}

KikDataSetPtr smallData(const QString &name, int messages)
{
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    KikChat *chat = builder.addChat(builder.addUser(name));
    for (int i = 0; i < messages; ++i)
        builder.addMessage(chat, at(i), QStringLiteral("%1 says %2").arg(name).arg(i), false);
    return set;
}

}   // namespace

// The tree of sources at start-up, lazy loading, the chat title, sorting, both searches and
// phones that go away.
class TestMainWindowNavigation : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<BoxRecorder> startupBoxes;
    std::unique_ptr<MainWindow> window;
    int kikPhoneChats = 0;
    QList<QUrl> opened;

    ItemModelMain *model() const { return window->mainModel(); }
    QLabel *label(const char *name) const { return window->findChild<QLabel *>(QLatin1String(name)); }
    QLineEdit *edit(const char *name) const { return window->findChild<QLineEdit *>(QLatin1String(name)); }
    ItemNode *alpha() const { return child(model()->localDbRoot(), QStringLiteral("Alpha")); }
    int currentMessageRow() const { return messageList(*window)->currentIndex().row(); }

    void clickHeader(int column)
    {
        QHeaderView *header = messageList(*window)->header();
        const QPoint inside(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, inside);
    }

public slots:
    void open(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        prepareApplication();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
        const QDir databases(localDatabasesFolder());
        const KikDataSetPtr alphaSet = alphaData();
        writeLocalDb(databases.filePath("Alpha"), *alphaSet);
        writeLocalDb(databases.filePath("beta"), *smallData(QStringLiteral("Carol"), 2));
        QDir().mkpath(databases.filePath("Hidden/files"));   // no database in it
        // Bob's profile picture, where the database looks for it.
        QImage picture(40, 40, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(databases.filePath("Alpha/prof/" + sanitizeFileName("bob@talk.kik.com")), "PNG"));

        const QDir remembered(QDir(dataFolder()).filePath("virtual_ios"));
        QDir().mkpath(remembered.filePath("Broken"));
        QFile broken(remembered.filePath("Broken/talvora-kik.db"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(4096, 'x'));
        broken.close();
        KikStoreOptions options;
        options.chats = 3;
        options.groups = 1;
        options.messagesPerChat = 4;
        options.sideFiles = false;
        kikPhoneChats = KikStoreGenerator(options).generate(remembered.filePath("KikPhone")).chats;
        writeLocalDb(remembered.filePath("Saved"), *smallData(QStringLiteral("Dave"), 3));

        startupBoxes = std::make_unique<BoxRecorder>();
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void startupListsDatabasesAndRememberedPhones()
    {
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList({"Alpha", "beta"}));
        QVERIFY(alpha()->children.isEmpty());   // read only when first selected

        // A damaged remembered folder is reported and keeps its node without data; the
        // folders after it still load.
        QCOMPARE(childTexts(model()->deviceRoot()), QStringList({"Broken", "KikPhone", "Saved"}));
        const QStringList errors = startupBoxes->texts(QMessageBox::Critical);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("An Error Occurred."), qPrintable(errors.first()));
        startupBoxes.reset();
        QVERIFY(model()->deviceRoot()->children.at(0)->children.isEmpty());
        auto *kikPhone = static_cast<PhoneItemNode *>(model()->deviceRoot()->children.at(1));
        QCOMPARE(kikPhone->children.size(), kikPhoneChats);
        QCOMPARE(kikPhone->device.udid, QDir(dataFolder()).filePath("virtual_ios/KikPhone"));
        QVERIFY(!kikPhone->device.handle);
        QCOMPARE(childTexts(model()->deviceRoot()->children.at(2)), QStringList("Dave"));
        QVERIFY(sourceTree(*window)->isExpanded(model()->indexOfNode(model()->localDbRoot())));
    }

    void aDatabaseIsReadOnceWhenFirstSelected()
    {
        select(*window, alpha());
        QCOMPARE(childTexts(alpha()), QStringList({"Bob", "Team", TwentyName, TwentyOneName}));
        QCOMPARE(window->smsModel()->rowCount(), 8);
        QCOMPARE(label("lbSMSCount")->text(), QStringLiteral("Messages: 8"));
        QCOMPARE(label("lbChatName")->text(), QStringLiteral("All"));
        QVERIFY(label("lbChatImg")->isHidden());
        QVERIFY(sourceTree(*window)->isExpanded(model()->indexOfNode(alpha())));
        const KikDataSetPtr loaded = static_cast<LocalDbItemNode *>(alpha())->dataSet;

        // With its folder gone, a second reading would find nothing (or make a new database).
        const QString folder = QDir(localDatabasesFolder()).filePath("Alpha");
        QVERIFY(QDir().rename(folder, folder + "-away"));
        select(*window, child(model()->localDbRoot(), QStringLiteral("beta")));
        QCOMPARE(shownBodies(*window), QStringList({"Carol says 0", "Carol says 1"}));
        select(*window, alpha());
        QVERIFY(QDir().rename(folder + "-away", folder));
        QCOMPARE(static_cast<LocalDbItemNode *>(alpha())->dataSet, loaded);
        QCOMPARE(window->smsModel()->rowCount(), 8);
        QCOMPARE(alpha()->children.size(), 4);
    }

    void chatTitleShowsPictureAndShortenedName()
    {
        select(*window, child(alpha(), TwentyOneName));
        QCOMPARE(label("lbChatName")->text(), QStringLiteral("Abcdefghij Klmnop..."));
        QCOMPARE(shownBodies(*window), QStringList("from the longest name"));
        QVERIFY(label("lbChatImg")->isHidden());
        select(*window, child(alpha(), TwentyName));
        QCOMPARE(label("lbChatName")->text(), TwentyName);
        select(*window, child(alpha(), QStringLiteral("Team")));
        QVERIFY(label("lbChatImg")->isHidden());

        select(*window, child(alpha(), QStringLiteral("Bob")));
        QCOMPARE(label("lbChatName")->text(), QStringLiteral("Bob"));
        QCOMPARE(label("lbSMSCount")->text(), QStringLiteral("Messages: 5"));
        QVERIFY(!label("lbChatImg")->isHidden());
        QCOMPARE(label("lbChatImg")->pixmap().width(), 32);

        // A click shows a copy of the picture, never the database's own file.
        opened.clear();
        QTest::mouseClick(label("lbChatImg"), Qt::LeftButton);
        QCOMPARE(opened.size(), 1);
        const QString copy = opened.first().toLocalFile();
        QCOMPARE(QFileInfo(copy).dir(), QDir(privateCachePath(QStringLiteral("opened"))));
        QVERIFY(copy.endsWith(".jpg"));
        QVERIFY(!QImage(copy).isNull());
        QFile::remove(copy);
    }

    void onlyTheFirstColumnSorts()
    {
        select(*window, child(alpha(), QStringLiteral("Bob")));
        QHeaderView *header = messageList(*window)->header();
        QCOMPARE(shownBodies(*window), BobBodies);
        clickHeader(0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QStringList reversed = BobBodies;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(shownBodies(*window), reversed);
        QCOMPARE(window->bubbleView()->pageCount(), 1);

        for (int column : {1, 2}) {
            clickHeader(column);
            QCOMPARE(header->sortIndicatorSection(), 0);
            QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
            QCOMPARE(shownBodies(*window), BobBodies);
            clickHeader(0);   // descending again before the next column
        }
        clickHeader(0);
        QCOMPARE(shownBodies(*window), BobBodies);
    }

    void messageSearchWrapsAndNamesTheKeyword()
    {
        BoxRecorder boxes;
        select(*window, child(alpha(), QStringLiteral("Bob")));
        QLineEdit *keyword = edit("txtSMSKeyword");
        keyword->setText(QStringLiteral("  APPLE "));
        window->messageSearch().next();
        QCOMPARE(currentMessageRow(), 0);
        window->messageSearch().next();
        QCOMPARE(currentMessageRow(), 2);
        window->messageSearch().next();
        QCOMPARE(currentMessageRow(), 0);   // round again from the top

        messageList(*window)->setCurrentIndex(window->smsModel()->indexForRow(4));
        keyword->setText(QStringLiteral("banana"));
        window->messageSearch().next();
        QCOMPARE(currentMessageRow(), 1);
        QVERIFY(boxes.boxes().isEmpty());

        // Misses are said beside the box, not in a box of their own.
        const auto *result = window->findChild<QLabel *>(QStringLiteral("lbSearchResult"));
        keyword->setText(QStringLiteral("kiwi"));
        window->messageSearch().next();
        QCOMPARE(result->text(), QStringLiteral("No message contains \"kiwi\"."));
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(currentMessageRow(), 1);

        boxes.clear();
        keyword->setText(QStringLiteral("   "));
        window->messageSearch().next();
        QVERIFY(boxes.boxes().isEmpty());

        select(*window, model()->localDbRoot());   // nothing listed
        QCOMPARE(window->smsModel()->rowCount(), 0);
        keyword->setText(QStringLiteral("apple"));
        window->messageSearch().next();
        QCOMPARE(result->text(), QStringLiteral("There are no messages to search here. Choose a chat or a source on the left."));
        QVERIFY(boxes.boxes().isEmpty());
    }

    void contactSearchGoesRoundTheChats()
    {
        BoxRecorder boxes;
        QLineEdit *keyword = edit("txtHandleKeyword");
        keyword->setText(QStringLiteral("abcdefghij"));
        select(*window, alpha());
        window->searchContact();   // from the database node: its chats from the first
        QCOMPARE(window->currentNode(), child(alpha(), TwentyName));
        QCOMPARE(label("lbChatName")->text(), TwentyName);
        window->searchContact();   // from a chat: the chats after it
        QCOMPARE(window->currentNode(), child(alpha(), TwentyOneName));
        window->searchContact();
        QCOMPARE(window->currentNode(), child(alpha(), TwentyName));

        keyword->setText(QStringLiteral("bob"));
        window->searchContact();   // only before the current chat: round to the top
        QCOMPARE(window->currentNode(), child(alpha(), QStringLiteral("Bob")));
        QCOMPARE(shownBodies(*window), BobBodies);

        select(*window, child(model()->deviceRoot(), QStringLiteral("Saved")));
        keyword->setText(QStringLiteral("DAV"));
        window->searchContact();
        QCOMPARE(window->currentNode()->text, QStringLiteral("Dave"));
        QVERIFY(boxes.boxes().isEmpty());

        keyword->setText(QStringLiteral("zzz"));
        window->searchContact();
        QCOMPARE(boxes.texts(QMessageBox::Information), QStringList("No chat name contains \"zzz\"."));

        boxes.clear();
        select(*window, model()->localDbRoot());   // not a source: no search, no box
        window->searchContact();
        QVERIFY(boxes.boxes().isEmpty());
    }

    void aPhoneThatGoesAwayTakesItsMessagesAlong()
    {
        int handles[2];
        QList<PhoneItemNode *> phones;
        for (int i = 0; i < 2; ++i) {
            DeviceDescription description;
            description.deviceName = QStringLiteral("Plugged %1").arg(i);
            description.udid = QStringLiteral("plugged-%1").arg(i);
            description.handle = reinterpret_cast<MobileDeviceHandle *>(&handles[i]);   // a token only
            phones << model()->addDevice(description);
            phones.last()->dataSet = smallData(QStringLiteral("Erin %1").arg(i), 3);
            model()->addChats(phones.last());
        }
        select(*window, phones.first()->children.first());
        QCOMPARE(window->smsModel()->rowCount(), 3);
        QCOMPARE(window->bubbleView()->pageCount(), 1);

        window->phones().disconnected(phones.last()->device.handle);   // another phone: the views stay
        QCOMPARE(window->smsModel()->rowCount(), 3);
        QVERIFY(!model()->deviceRoot()->children.contains(phones.last()));

        window->phones().disconnected(phones.first()->device.handle);
        QVERIFY(!model()->deviceRoot()->children.contains(phones.first()));
        QCOMPARE(window->smsModel()->rowCount(), 0);
        QCOMPARE(window->bubbleView()->pageCount(), 0);
        QCOMPARE(label("lbSMSCount")->text(), QStringLiteral("Messages: 0"));
        QVERIFY(label("lbChatName")->text().isEmpty());
        QVERIFY(!window->currentNode());

        // Disconnecting a remembered phone by hand does the same.
        select(*window, child(model()->deviceRoot(), QStringLiteral("Saved")));
        QCOMPARE(window->smsModel()->rowCount(), 3);
        window->commands().unmountPhone();
        QCOMPARE(childTexts(model()->deviceRoot()), QStringList({"Broken", "KikPhone"}));
        QCOMPARE(window->smsModel()->rowCount(), 0);
        QVERIFY(QFileInfo::exists(QDir(dataFolder()).filePath("virtual_ios/Saved/talvora-kik.db")));
    }

    void cleanupTestCase()
    {
        window.reset();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
};

QTEST_MAIN(TestMainWindowNavigation)
#include "TestMainWindowNavigation.moc"

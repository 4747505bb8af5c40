#include "TestEnv.h"

#include "kik/KikDataSet.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "views/ViewIcons.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QSignalSpy>
#include <QtTest>

// The tree of data sources and the message list.
class TestItemModels : public QObject
{
    Q_OBJECT
    TestEnv env;

    static KikUser *addUser(KikDataSet &set, const QString &name, bool group = false)
    {
        auto *user = new KikUser;
        user->id = set.users.size() + 1;
        user->display_name = name;
        user->is_group = group;
        set.users.insert(user->id, user);
        return user;
    }

    static KikChat *addChat(KikDataSet &set, KikUser *user, const QDateTime &last)
    {
        auto *chat = new KikChat;
        chat->id = set.chats.size() + 1;
        chat->user = user;
        chat->last_ts = last;
        set.chats.insert(chat->id, chat);
        return chat;
    }

    // Icons as a view of normal resolution draws them.
    static QImage image(const QString &resource) { return QIcon(resource).pixmap(ViewIconSize, 1.0).toImage(); }

    static QImage decoration(const QAbstractItemModel &model, const QModelIndex &index)
    {
        const QIcon icon = model.data(index, Qt::DecorationRole).value<QIcon>();
        return icon.pixmap(ViewIconSize, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    }

    static bool sameImage(const QImage &a, const QImage &b)
    {
        return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
    }

private slots:
    void initTestCase() { QVERIFY(TestEnv::installEnglishTexts()); }

    void freshTreeHasTheTwoRoots()
    {
        ItemModelMain model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Devices"));
        QCOMPARE(model.data(model.index(1, 0), Qt::ToolTipRole).toString(), QStringLiteral("Local Databases"));
        QCOMPARE(model.data(model.index(0, 0), Qt::SizeHintRole).toSize(), QSize(0, 25));
        QVERIFY(!model.data(model.index(0, 0), Qt::FontRole).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
        QVERIFY(sameImage(decoration(model, model.index(0, 0)), image(QStringLiteral(":res/devices.svg"))));
        QCOMPARE(decoration(model, model.index(1, 0)).width(), 18);
        QVERIFY(!model.index(2, 0).isValid());
    }

    void devicesAndDatabasesWithTheirChats()
    {
        // No model tester here: the tree's bare layout-changed signal (rows were inserted
        // properly before it) is what the main window listens to.
        ItemModelMain model;
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);

        DeviceDescription phone;
        phone.deviceName = QStringLiteral("Ann's iPhone");
        phone.udid = QStringLiteral("00008020-000A");
        PhoneItemNode *device = model.addDevice(phone);
        QCOMPARE(device->type, 3);
        QCOMPARE(device->device.udid, phone.udid);
        QVERIFY(device->dataSet && device->dataSet->chats.isEmpty());
        LocalDbItemNode *local = model.addLocalDb(QStringLiteral("Ann_Backup"));
        QCOMPARE(local->type, 5);
        QCOMPARE(layout.count(), 2);

        const QModelIndex deviceIndex = model.index(0, 0, model.index(0, 0));
        QCOMPARE(model.data(deviceIndex).toString(), phone.deviceName);
        QVERIFY(sameImage(decoration(model, deviceIndex), image(QStringLiteral(":res/iphone.svg"))));
        const QModelIndex localIndex = model.index(0, 0, model.index(1, 0));
        QCOMPARE(model.data(localIndex).toString(), QStringLiteral("Ann_Backup"));
        QVERIFY(sameImage(decoration(model, localIndex), image(QStringLiteral(":res/database.svg"))));

        // Chats newest first; the labels and pictures of every kind of chat.
        KikDataSet &set = *local->dataSet;
        const QDateTime now(QDate(2022, 1, 1), QTime(12, 0), Qt::UTC);
        QImage photo(40, 20, QImage::Format_RGB32);
        photo.fill(Qt::red);
        const QString photoPath = env.path("prof-ann");
        QVERIFY(photo.save(photoPath, "PNG"));   // no suffix; read as JPEG first, then PNG
        KikUser *ann = addUser(set, QStringLiteral("Ann"));
        ann->photo_path = photoPath;
        KikUser *noPicture = addUser(set, QString());
        noPicture->photo_path = env.path("missing.jpg");
        KikUser *group = addUser(set, QString(), true);
        group->photo_path = photoPath;
        group->members = {KikMember{ann, true, false}, KikMember{noPicture, false, false}};
        addChat(set, ann, now.addDays(-2));
        addChat(set, noPicture, now);
        addChat(set, group, now.addDays(-1));
        addChat(set, nullptr, now.addDays(-3));
        model.addChats(local);
        QCOMPARE(layout.count(), 3);
        QCOMPARE(model.rowCount(localIndex), 4);
        QStringList labels;
        for (int row = 0; row < 4; ++row)
            labels << model.data(model.index(row, 0, localIndex)).toString();
        QCOMPARE(labels, (QStringList{QStringLiteral("Unknown"), QStringLiteral("Ann,Unknown"), QStringLiteral("Ann"),
                                      QStringLiteral("Unknown")}));
        QCOMPARE(model.countChildrenOfType(local, 6), 4);
        // A group's chat names its members in the tool tip, admins marked.
        QCOMPARE(model.data(model.index(1, 0, localIndex), Qt::ToolTipRole).toString(),
                 QStringLiteral("Ann,Unknown\nMembers: Ann (admin), Unknown"));
        QCOMPARE(model.data(model.index(2, 0, localIndex), Qt::ToolTipRole).toString(), QStringLiteral("Ann"));

        const QImage contact = image(QStringLiteral(":res/contact.svg"));
        QVERIFY(sameImage(decoration(model, model.index(0, 0, localIndex)), contact));
        QVERIFY(sameImage(decoration(model, model.index(1, 0, localIndex)), image(QStringLiteral(":res/group.svg"))));
        const QImage annIcon = decoration(model, model.index(2, 0, localIndex));
        QCOMPARE(annIcon.size(), QSize(18, 9));
        QCOMPARE(annIcon.pixelColor(9, 4), QColor(Qt::red));
        QVERIFY(sameImage(decoration(model, model.index(3, 0, localIndex)), contact));
        auto *chatNode = static_cast<ChatItemNode *>(AbsTreeItemModel::nodeOf(model.index(2, 0, localIndex)));
        QCOMPARE(chatNode->chat->user, ann);

        // Removing the database node drops its chats and its hold on the data set.
        const QWeakPointer<KikDataSet> weak = local->dataSet;
        model.removeNode(local);
        QCOMPARE(model.rowCount(model.index(1, 0)), 0);
        QVERIFY(weak.isNull());
    }

    void messageListColumnsAndRoles()
    {
        KikDataSet set;
        KikUser *group = addUser(set, QStringLiteral("Team"), true);
        KikUser *bob = addUser(set, QStringLiteral("Bob"));
        KikChat *chat = addChat(set, group, QDateTime());
        const QDateTime ts(QDate(2022, 2, 3), QTime(4, 5), Qt::UTC);
        auto *fromBob = new KikMessage;
        fromBob->id = 1;
        fromBob->ts = ts;
        fromBob->body = QStringLiteral("hi \U0001F604");
        fromBob->chat = chat;
        fromBob->target_user = bob;
        auto *mine = new KikMessage;
        mine->id = 2;
        mine->ts = ts;
        mine->was_me = true;
        mine->app_id = QStringLiteral("com.kik.ext.gallery");
        mine->chat = chat;
        auto *orphan = new KikMessage;
        orphan->id = 3;
        for (KikMessage *m : {fromBob, mine, orphan})
            set.messages.insert(m->id, m);

        MessageListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.setMessages({fromBob, mine, orphan});
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);

        const auto text = [&model](int row, int column) { return model.data(model.index(row, column)).toString(); };
        QCOMPARE(text(0, 0), QLocale::system().toString(ts.toLocalTime(), QLocale::ShortFormat));
        QCOMPARE(text(0, 1), QStringLiteral("From"));
        QCOMPARE(text(1, 1), QStringLiteral("To"));
        QCOMPARE(text(0, 2), QStringLiteral("Bob"));
        QCOMPARE(text(1, 2), QStringLiteral("Team"));
        QCOMPARE(text(2, 2), QStringLiteral("Unknown"));
        QCOMPARE(text(0, 3), QStringLiteral("hi \U0001F604"));   // the list shows emoji as characters
        QCOMPARE(text(1, 3), QStringLiteral("[IMAGE]"));
        QCOMPARE(model.data(model.index(1, 3), Qt::ToolTipRole).toString(), QStringLiteral("[IMAGE]"));

        QCOMPARE(model.data(model.index(1, 2), Qt::BackgroundRole).value<QBrush>().color(), QColor(245, 255, 226));
        QCOMPARE(model.data(model.index(0, 2), Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
        QCOMPARE(model.data(model.index(0, 3), Qt::SizeHintRole).toSize(), QSize(0, 23));
        QVERIFY(sameImage(decoration(model, model.index(1, 0)), image(QStringLiteral(":/res/icon_sms-sent.svg"))));
        QVERIFY(sameImage(decoration(model, model.index(0, 0)), image(QStringLiteral(":/res/icon_sms-receive.svg"))));
        QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());

        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Content"));
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

        QCOMPARE(MessageListModel::messageOf(model.indexForRow(1)), mine);
        QVERIFY(!MessageListModel::messageOf(model.index(1, 2)));
        QVERIFY(!model.indexForRow(3).isValid());
        QVERIFY(!model.indexForRow(-1).isValid());
        QVERIFY(!model.parent(model.index(0, 0)).isValid());

        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(reset.count(), 2);
    }
};

QTEST_MAIN(TestItemModels)
#include "TestItemModels.moc"

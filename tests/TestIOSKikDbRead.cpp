#include "KikDbTestKit.h"
#include "TestEnv.h"

#include "app/FileUtils.h"
#include "kik/IOSKikDb.h"
#include "kik/KikKeyedArchive.h"
#include "kik/KikRules.h"
#include "kikstore/KikStoreGenerator.h"
#include "plist/CFType.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace KikDbTestKit;

namespace {

void execute(const QString &storePath, const QString &sql)
{
    Sqlite3DB db;
    db.openThrow(storePath, Sqlite3DB::ReadWrite);
    db.execScriptThrow(sql.toUtf8());
}

}

class TestIOSKikDbRead : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    int m_mirrors = 0;

    // A mirror of the app container holding a copy of the real store from a phone.
    QString realMirror() { return realStoreMirror(m_env.path(QStringLiteral("mirror%1").arg(++m_mirrors))); }

private slots:
    void realStoreLoads();
    void generatedStoreLoads();
    void attachmentDescriptions();
    void keyedArchives();
    void missingTablesAndColumns();
    void corruptStore();
    void hostileNamesStayInsideTheMirror();
    void readOnlyModeWritesNothing();
};

void TestIOSKikDbRead::realStoreLoads()
{
    const QString root = realMirror();
    IOSKikDb db(root);
    QVERIFY(QDir(root + QStringLiteral("/thumbs")).exists());
    const KikDataSetPtr data = loadAll(db);
    QCOMPARE(db.chatMessagesTable().table, QStringLiteral("Z_3MESSAGES"));
    QCOMPARE(db.membersTable().first, QStringLiteral("Z_6MEMBERSINVERSE"));

    QCOMPARE(data->users.size(), 25);
    const KikUser *group = data->users.value(24);
    QVERIFY(group->is_group);
    QVERIFY(group->is_group_admin);   // the owner (key 1) administers it
    QCOMPARE(group->display_name, QStringLiteral("EveryoneButRoss"));
    QStringList members;
    for (const KikMember &member : group->members) {
        QVERIFY(member.user && !member.is_admin && !member.is_banned);
        members << member.user->jid;
    }
    QCOMPARE(members,
             (QStringList{QStringLiteral("ken.doh_khv@talk.kik.com"), QStringLiteral("solidravenocelot89_eqn@talk.kik.com"),
                          QStringLiteral("sbabadi61_jet@talk.kik.com"), QStringLiteral("mjenki14_yk4@talk.kik.com")}));
    int groups = 0;
    for (const KikUser *user : data->users)
        groups += user->is_group ? 1 : 0;
    QCOMPARE(groups, 1);
    const KikUser *andy = data->users.value(1);
    QCOMPARE(andy->photo_ts, QDateTime::fromMSecsSinceEpoch(1435567691790, Qt::UTC));
    QCOMPARE(andy->photo_path, root + QStringLiteral("/Documents/profpix/thumb_jon.doh2015_mql@talk.kik.com"));
    QVERIFY(!data->users.value(5)->photo_ts.isValid());   // no picture time

    // Types 1 and 2 only: the five status lines (3 and 4) are neither loaded nor attached.
    QCOMPARE(data->messages.size(), 55);
    QCOMPARE(data->chats.size(), 6);
    int attached = 0;
    for (const KikChat *chat : data->chats) {
        QVERIFY(chat->user);
        for (const KikMessage *message : chat->messages) {
            QVERIFY(message->chat == chat || message->id == 2);
            ++attached;
        }
    }
    // The phone lists message 2 under two chats; it keeps the last one read.
    QCOMPARE(attached, 56);
    QCOMPARE(data->messages.value(2)->chat, data->chats.value(6));
    QVERIFY(data->chats.value(2)->messages.contains(data->messages.value(2)));
    QVERIFY(!data->messages.contains(8) && !data->messages.contains(51));
    QCOMPARE(data->chats.value(2)->last_ts, appleTimeToDateTime(457456973.183081));

    const KikMessage *first = data->messages.value(1);
    QCOMPARE(first->uid, QStringLiteral("e146f9ea-3318-4852-b362-a49fd667aa40"));
    QCOMPARE(first->ts, appleTimeToDateTime(457260372.024));
    QCOMPARE(first->rec_ts, appleTimeToDateTime(457260374.492353));
    QVERIFY(!first->was_me && data->messages.value(2)->was_me);
    QCOMPARE(first->target_user, data->users.value(2));
    QCOMPARE(data->messages.value(14)->internal_id, 5);

    const KikMessage *rendered = data->messages.value(19);
    QCOMPARE(rendered->render_ins.toHex(), QByteArray("0a0a0828102a1a023a4f2200"));
    QCOMPARE(messageDisplayText(rendered), QStringLiteral("btw Gary, yours is the girl on the left [:O]"));
    QCOMPARE(data->messages.value(6)->body, QStringLiteral("Yo \U0001F60A"));
    // A thumbs-up with its skin tone is one emoji.
    QCOMPARE(data->messages.value(13)->body, QStringLiteral("Yo brother \U0001F44D\U0001F3FE"));
    QCOMPARE(messageDisplayText(data->messages.value(13)), QStringLiteral("Yo brother [EMOJI]"));

    // Attachment rows whose description files are not in the mirror.
    const KikMessage *picture = data->messages.value(20);
    QCOMPARE(picture->content_id, QStringLiteral("a7160843-c595-4afb-a359-4151dcd79157"));
    QVERIFY(picture->attachment.isEmpty() && picture->app_id.isEmpty() && picture->preview_path.isEmpty());
    QCOMPARE(picture->content_path, root + QStringLiteral("/Documents/content_manager/data_cache/") + picture->content_id);
    QVERIFY(data->messages.value(1)->content_path.isEmpty());
}

void TestIOSKikDbRead::generatedStoreLoads()
{
    KikStoreOptions options;
    options.contacts = 12;
    options.groups = 3;
    options.membersPerGroup = 5;
    options.adminsPerGroup = 2;
    options.bansPerGroup = 2;
    options.chats = 8;
    options.messagesPerChat = 40;
    options.attachmentShare = 0.2;
    options.statusLineShare = 0.1;
    options.seed = 7;
    const GeneratedKikStore store = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("generated")));
    QCOMPARE(store.chats, 11);
    QCOMPARE(store.messages + store.statusLines, 11 * 40);

    IOSKikDb db(store.rootFolder);
    const KikDataSetPtr data = loadAll(db);
    QCOMPARE(data->users.size(), store.users);
    QCOMPARE(data->chats.size(), store.chats);
    QCOMPARE(data->messages.size(), store.messages);
    QStringList uids;
    for (const KikMessage *message : data->messages) {
        uids << message->uid;
        QVERIFY(message->chat);
        QVERIFY(message->ts.isValid() && message->rec_ts.isValid());
    }
    QCOMPARE(uids, store.messageUids);

    for (const QString &jid : store.groupJids) {
        const KikUser *group = nullptr;
        for (const KikUser *user : data->users)
            group = user->jid == jid ? user : group;
        QVERIFY(group && group->is_group && group->is_group_admin);
        QCOMPARE(group->members.size(), 5);
        int admins = 0;
        for (const KikMember &member : group->members)
            admins += member.is_admin ? 1 : 0;
        QCOMPARE(admins, 1);   // the owner is the other admin, and no member
    }
    // Internal ids count up within each chat.
    for (KikChat *chat : data->chats) {
        KikMessageList messages = chat->messages;
        sortMessages(messages);
        for (int i = 1; i < messages.size(); ++i)
            QVERIFY(messages.at(i - 1)->internal_id < messages.at(i)->internal_id);
    }
}

void TestIOSKikDbRead::attachmentDescriptions()
{
    KikStoreOptions options;
    options.chats = 6;
    options.messagesPerChat = 60;
    options.attachmentShare = 0.5;
    options.seed = 11;
    const GeneratedKikStore store = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("attachments")));
    IOSKikDb db(store.rootFolder);
    const KikDataSetPtr data = loadAll(db);

    int described = 0, fromArchive = 0, cards = 0;
    for (const KikMessage *message : data->messages) {
        if (message->content_id.isEmpty()) {
            QVERIFY(message->attachment.isEmpty());
            continue;
        }
        if (store.contentIdsWithoutDescription.contains(message->content_id)) {
            QVERIFY(message->attachment.isEmpty());
            continue;
        }
        ++described;
        QVERIFY(message->app_id.startsWith(QLatin1String("com.kik.")));
        QCOMPARE(message->sub_app_id, message->attachment.value(QStringLiteral("string:app-name")).toString());
        // The preview travelled inside the description and now lies in thumbs by its MD5.
        const QString preview = message->attachment.value(QStringLiteral("image:preview")).toString();
        QCOMPARE(message->preview_path, db.thumbsFolder() + QLatin1Char('/') + preview);
        QFile picture(message->preview_path);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(md5Hex(picture.readAll(), true), preview);
        if (message->app_id == QLatin1String("com.kik.cards")) {
            ++cards;
            if (message->sub_app_id != QLatin1String("Stickers")) {
                const QVariantList uris = message->attachment.value(QStringLiteral("uri")).toList();
                QVERIFY(!uris.isEmpty());
                QVERIFY(uris.first().toHash().value(QStringLiteral("url")).toString().startsWith(QLatin1String("https://")));
                QVERIFY(message->attachment.contains(QStringLiteral("extra:jsonData")));
                // A picture named by text is taken as a name in thumbs.
                QVERIFY(message->icon_path.text().startsWith(db.thumbsFolder() + QStringLiteral("/card-icon-")));
            } else {
                QVERIFY(message->attachment.value(QStringLiteral("extra:sticker_url"))
                            .toString()
                            .startsWith(QLatin1String("https://")));
                QVERIFY(!message->png_preview_path.isEmpty());
            }
        } else {
            // Pictures and videos always end up with their file URL, mostly from the metadata cache.
            QCOMPARE(attachmentFileUrl(message), QStringLiteral("https://platform.kik.com/content/files/") + message->content_id);
            QVERIFY(QFile::exists(message->content_path));
            fromArchive += 1;
        }
    }
    QVERIFY(described > 20);
    QVERIFY(cards > 0 && fromArchive > 0);
    QVERIFY(!store.contentIdsWithoutDescription.isEmpty());
}

void TestIOSKikDbRead::keyedArchives()
{
    const QString path = m_env.path(QStringLiteral("archives/one"));
    QVERIFY(
        writeFile(path, metadataArchive(QStringLiteral("cid"), QStringLiteral("com.kik.ext.video"), QStringLiteral("https://x/y"))
                            .toPlistData(CFType::BinaryFormat)));
    const QMap<QString, QString> values = readKeyedArchive(path);
    QCOMPARE(values.keys(), (QStringList{QStringLiteral("appID"), QStringLiteral("contentID"), QStringLiteral("data"),
                                         QStringLiteral("fileURL"), QStringLiteral("progress"), QStringLiteral("state")}));
    QCOMPARE(values.value(QStringLiteral("contentID")), QStringLiteral("cid"));
    QCOMPARE(values.value(QStringLiteral("appID")), QStringLiteral("com.kik.ext.video"));
    QCOMPARE(values.value(QStringLiteral("fileURL")), QStringLiteral("https://x/y"));
    QVERIFY(values.value(QStringLiteral("state")).isEmpty());   // not a text

    // The template keeps its archive frame: references, class and version.
    const CFType archive = CFType::fromPlistFile(path);
    QCOMPARE(archive.value(QStringLiteral("$archiver")).toQString(), QStringLiteral("NSKeyedArchiver"));
    QCOMPARE(archive.value(QStringLiteral("$version")).toInt(), 100000);
    QCOMPARE(archive.value(QStringLiteral("$top")).value(QStringLiteral("$0")).toUid(), 1u);
    const CFType objects = archive.value(QStringLiteral("$objects"));
    QCOMPARE(objects.count(), 15);
    QCOMPARE(objects.at(1).value(QStringLiteral("NS.objects")).at(5).toUid(), 13u);
    QCOMPARE(objects.at(13).toDouble(), 1.0);
    QCOMPARE(objects.at(14).value(QStringLiteral("$classname")).toQString(), QStringLiteral("NSDictionary"));

    // Broken archives read as empty or partial, never past their objects.
    CFType lying = CFType::deepCopy(archive);
    CFType keys = CFType::newArray();
    for (int i = 0; i < 40; ++i)
        keys.append(CFType(QStringLiteral("k")));
    CFType dictionary = CFType::deepCopy(objects.at(1));
    dictionary.setValue(QStringLiteral("NS.keys"), keys);
    CFType shortObjects = CFType::newArray();
    shortObjects.append(CFType("$null"));
    shortObjects.append(dictionary);
    shortObjects.append(CFType("fileURL"));
    lying.setValue(QStringLiteral("$objects"), shortObjects);
    QVERIFY(writeFile(path, lying.toPlistData(CFType::BinaryFormat)));
    QVERIFY(readKeyedArchive(path).isEmpty());
    QVERIFY(writeFile(path, QByteArray("bplist00garbage")));
    QVERIFY(readKeyedArchive(path).isEmpty());
    QVERIFY(readKeyedArchive(m_env.path(QStringLiteral("archives/missing"))).isEmpty());
}

void TestIOSKikDbRead::missingTablesAndColumns()
{
    {
        const QString root = realMirror();
        execute(root + QStringLiteral("/Documents/kik.sqlite"), QStringLiteral("drop table ZKIKATTACHMENT"));
        IOSKikDb db(root);
        const QString error = errorText([&] { loadAll(db); });
        QVERIFY2(error.contains(QLatin1String("ZKIKATTACHMENT")) && error.contains(QLatin1String("is not a complete Kik store")),
                 qPrintable(error));
    }
    {
        const QString root = realMirror();
        execute(root + QStringLiteral("/Documents/kik.sqlite"), QStringLiteral("drop index ZKIKMESSAGE_ZSTANZAID_INDEX;"
                                                                               "alter table ZKIKMESSAGE drop column ZSTANZAID"));
        IOSKikDb db(root);
        const QString error = errorText([&] { loadAll(db); });
        QVERIFY2(error.contains(QLatin1String("ZSTANZAID")), qPrintable(error));
    }
    {
        // Without its entity rows no join table can be named: the store is refused by name,
        // for reading and for writing alike.
        const QString root = realMirror();
        execute(root + QStringLiteral("/Documents/kik.sqlite"),
                QStringLiteral("delete from Z_PRIMARYKEY where Z_NAME='KikChat'"));
        IOSKikDb db(root);
        const QString error = errorText([&] { db.open(); });
        QVERIFY2(error.contains(QLatin1String("KikChat")) && error.contains(root + QStringLiteral("/Documents/kik.sqlite"))
                     && error.contains(QLatin1String("is not a complete Kik store")) && !error.contains(QLatin1String("Z_0")),
                 qPrintable(error));
        QVERIFY(!errorText([&] { db.findMessagePk(QStringLiteral("x")); }).isEmpty());
    }
    {
        const QString root = realMirror();
        execute(root + QStringLiteral("/Documents/kik.sqlite"), QStringLiteral("drop table Z_PRIMARYKEY"));
        IOSKikDb db(root);
        QVERIFY(errorText([&] { db.open(); }).contains(QLatin1String("Z_PRIMARYKEY")));
    }
}

void TestIOSKikDbRead::corruptStore()
{
    const QString root = m_env.path(QStringLiteral("corrupt"));
    QVERIFY(writeFile(root + QStringLiteral("/Documents/kik.sqlite"), QByteArray(8192, '\x5a')));
    IOSKikDb db(root);
    QVERIFY(!errorText([&] { loadAll(db); }).isEmpty());
    IOSKikDb missing(m_env.path(QStringLiteral("nothing-here")));
    QVERIFY(!errorText([&] { missing.open(); }).isEmpty());

    // A real store cut short.
    const QString cut = realMirror();
    QFile store(cut + QStringLiteral("/Documents/kik.sqlite"));
    QVERIFY(store.resize(40000));
    IOSKikDb truncated(cut);
    QVERIFY(!errorText([&] { loadAll(truncated); }).isEmpty());
}

void TestIOSKikDbRead::hostileNamesStayInsideTheMirror()
{
    const QString root = realMirror();
    const QString store = root + QStringLiteral("/Documents/kik.sqlite");
    // Content ids and a jid that would climb out of their folders.
    execute(store, QStringLiteral("update ZKIKATTACHMENT set ZCONTENT='../../escaped' where Z_PK=1;"
                                  "update ZKIKATTACHMENT set ZCONTENT='ok-id' where Z_PK=2;"
                                  "update ZKIKUSER set ZJID='../../../jid' where Z_PK=3;"));
    // A description that would be read through the hostile id, and a valid one naming hostile pictures.
    CFType planted = CFType::newDictionary();
    planted.setValue(QStringLiteral("app-id"), CFType("com.kik.cards"));
    QVERIFY(writeFile(root + QStringLiteral("/escaped"), planted.toPlistData(CFType::BinaryFormat)));
    CFType description = CFType::newDictionary();
    description.setValue(QStringLiteral("app-id"), CFType("com.kik.cards"));
    CFType images = CFType::newArray();
    CFType image = CFType::newDictionary();
    image.setValue(QStringLiteral("name"), CFType("preview"));
    image.setValue(QStringLiteral("value"), CFType("../../../../etc/passwd"));
    images.append(image);
    description.setValue(QStringLiteral("image"), images);
    QVERIFY(writeFile(root + QStringLiteral("/Documents/attachments/ok-id"), description.toPlistData(CFType::XmlFormat)));
    // A description that is not a property list at all.
    execute(store, QStringLiteral("insert into ZKIKATTACHMENT(Z_PK, ZMESSAGE, ZCONTENT) values(3, 21, 'broken')"));
    QVERIFY(writeFile(root + QStringLiteral("/Documents/attachments/broken"),
                      QByteArray("<?xml version=\"1.0\"?><plist><dict><key>")));

    const QStringList before = filesUnder(m_env.home());
    IOSKikDb db(root);
    const KikDataSetPtr data = loadAll(db);
    db.close();
    QCOMPARE(filesUnder(m_env.home()), before);   // nothing written anywhere

    const KikMessage *escaped = data->messages.value(20);
    QCOMPARE(escaped->content_id, QStringLiteral("../../escaped"));
    QVERIFY(escaped->app_id.isEmpty() && escaped->content_path.isEmpty());
    const KikMessage *named = data->messages.value(26);
    QCOMPARE(named->app_id, QStringLiteral("com.kik.cards"));
    QCOMPARE(named->attachment.value(QStringLiteral("image:preview")).toString(), QStringLiteral("../../../../etc/passwd"));
    QVERIFY(named->preview_path.isEmpty());
    const KikMessage *broken = data->messages.value(21);
    QVERIFY(broken->attachment.isEmpty());
    QVERIFY(broken->body.startsWith(QLatin1String("This is in the fridge")));
    QCOMPARE(QFileInfo(data->users.value(3)->photo_path).absolutePath(), root + QStringLiteral("/Documents/profpix"));
}

void TestIOSKikDbRead::readOnlyModeWritesNothing()
{
    const QString root = realMirror();
    const QString store = root + QStringLiteral("/Documents/kik.sqlite");
    const QString thumbs = m_env.path(QStringLiteral("elsewhere/thumbs"));
    {
        const QStringList before = filesUnder(root);
        IOSKikDb db(root, thumbs);
        db.setOpenMode(IOSKikDb::ReadOnlyMode);
        QCOMPARE(loadAll(db)->messages.size(), 55);
        QVERIFY(errorText([&] { db.executeThrow("delete from ZKIKMESSAGE"); }).contains(QLatin1String("read-only")));
        db.close();
        QCOMPARE(filesUnder(root), before);   // no -shm, no -wal, no thumbs
        QVERIFY(QDir(thumbs).exists());
    }
    // A store whose write-ahead log still holds rows: they are read, and still nothing is written.
    const QString copyRoot = m_env.path(QStringLiteral("walcopy"));
    {
        Sqlite3DB writer;
        writer.openThrow(store, Sqlite3DB::ReadWrite);
        writer.execScriptThrow("PRAGMA wal_autocheckpoint=0; insert into ZKIKUSER(Z_PK, ZJID) values(100, 'late@talk.kik.com')");
        QDir().mkpath(copyRoot + QStringLiteral("/Documents"));
        QVERIFY(QFile::copy(store, copyRoot + QStringLiteral("/Documents/kik.sqlite")));
        QVERIFY(QFile::copy(store + QStringLiteral("-wal"), copyRoot + QStringLiteral("/Documents/kik.sqlite-wal")));
    }
    const QStringList before = filesUnder(copyRoot);
    IOSKikDb db(copyRoot, thumbs);
    db.setOpenMode(IOSKikDb::ReadOnlyMode);
    QCOMPARE(loadAll(db)->users.size(), 26);
    db.close();
    QCOMPARE(filesUnder(copyRoot), before);
}

QTEST_GUILESS_MAIN(TestIOSKikDbRead)
#include "TestIOSKikDbRead.moc"

#include "KikDbTestKit.h"
#include "TestEnv.h"

#include "app/FileUtils.h"
#include "db/Sqlite3DB.h"
#include "db/TinyKv.h"
#include "kik/KikLocalDb.h"
#include "kik/KikRules.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QtTest>

#include <thread>

using namespace KikDbTestKit;

namespace {

QDateTime at(int minutes)
{
    return QDateTime(QDate(2020, 5, 1), QTime(12, 0), QTimeZone::utc()).addSecs(minutes * 60);
}

// A small source: a contact chat and a group chat with two members, one message shared by both.
struct Source
{
    KikUser ann, bob, group;
    KikChat annChat, groupChat;
    QList<std::shared_ptr<KikMessage>> owned;
    KikMessageList messages;

    Source()
    {
        ann.jid = QStringLiteral("ann_x1@talk.kik.com");
        ann.display_name = QStringLiteral("Ann");
        ann.photo_ts = at(-100);
        ann.photo_url = QStringLiteral("http://pics/ann");
        bob.jid = QStringLiteral("bob_x2@talk.kik.com");
        bob.display_name = QStringLiteral("Bob");
        group.jid = QStringLiteral("1100_g@groups.kik.com");
        group.is_group = true;
        group.is_group_admin = true;
        group.group_tab = QStringLiteral("#friends");
        group.members = {{&ann, true, false}, {&bob, false, true}};
        annChat.user = &ann;
        groupChat.user = &group;
        add(&annChat, QStringLiteral("m1"), 0, QStringLiteral("hello"));
        add(&annChat, QStringLiteral("m2"), 5, QStringLiteral("bye"))->was_me = true;
        KikMessage *picture = add(&groupChat, QStringLiteral("m3"), 7, QString());
        picture->content_id = QStringLiteral("c-1");
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->attachment = {{QStringLiteral("image:preview"), QStringLiteral("p.jpg")},
                               {QStringLiteral("string:file-size"), 1234},
                               {QStringLiteral("uri"), QVariantList{QVariantHash{{QStringLiteral("url"), QStringLiteral("u")}}}}};
        picture->render_ins = QByteArray("\x0a\x0a", 2);
        picture->target_user = &bob;
        picture->rec_ts = at(8);
    }

    KikMessage *add(KikChat *chat, const QString &uid, int minute, const QString &body)
    {
        auto message = std::make_shared<KikMessage>();
        message->uid = uid;
        message->ts = at(minute);
        message->body = body;
        message->chat = chat;
        owned.append(message);
        messages.append(message.get());
        return message.get();
    }
};

}

class TestKikLocalDb : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    int m_folders = 0;

    QString newFolder() { return m_env.path(QStringLiteral("local_databases/db%1").arg(++m_folders)); }

private slots:
    void createsFoldersAndExactSchema();
    void mergeTwiceIsIdempotent();
    void loadsWhatWasMerged();
    void lastTsStaysNullUntilUpdated();
    void deletingAChatKeepsSharedMessages();
    void deletingMessagesRemovesEmptyChats();
    void deletingAMessageWithoutAUidKeepsTheOthers();
    void membersOfMissingUsers();
    void hostileNamesStayInsideTheFolder();
    void brokenDatabaseFile();
    void creationsOfKilledRunsGo();
    void bulkLoadHoldsRowsUntilRead();
    void readsWaitForAWritersCommit();
};

void TestKikLocalDb::createsFoldersAndExactSchema()
{
    const QString folder = newFolder();
    KikLocalDb db(folder);
    QVERIFY(!QDir(folder).exists());   // construction touches nothing
    db.open();
    for (const char *sub : {"thumbs", "prof", "files"})
        QVERIFY(QDir(folder).exists(QLatin1String(sub)));
    QVERIFY(QFile::exists(folder + QStringLiteral("/talvora-kik.db")));

    const QMap<QString, QString> expected = {
        {QStringLiteral("kik_user"), QStringLiteral("_id INTEGER,display_name VARCHAR,jid VARCHAR,photo_url VARCHAR,"
                                                    "photo_ts LONG,user_name VARCHAR,is_group BOOLEAN,group_tab VARCHAR,"
                                                    "is_group_admin BOOLEAN,other BLOB")},
        {QStringLiteral("kik_user_members"),
         QStringLiteral("user_id INTEGER,member_id INTEGER,is_admin BOOLEAN,is_banned BOOLEAN")},
        {QStringLiteral("kik_chat"), QStringLiteral("_id INTEGER,last_ts LONG,user_id INTEGER,other BLOB")},
        {QStringLiteral("kik_message"),
         QStringLiteral("_id INTEGER,ts LONG,rec_ts LONG,target_user INTEGER,uid VARCHAR,"
                        "is_sysmsg BOOLEAN,was_me BOOLEAN,body TEXT,content_id VARCHAR,"
                        "app_id VARCHAR,sub_app_id VARCHAR,render_ins BLOB,attachment BLOB,other BLOB")},
        {QStringLiteral("kik_chat_messages"), QStringLiteral("chat_id INTEGER,message_id INTEGER,ts LONG")},
    };
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QStringList columns;
        for (const Sqlite3Column &column : db.tbCols(it.key()))
            columns << column.name + QLatin1Char(' ') + column.type;
        QCOMPARE(columns.join(QLatin1Char(',')), it.value());
    }
    for (const char *index : {"index_kik_user_jid", "index_kik_chat_last_ts", "index_kik_chat_user_id", "index_kik_message_uid",
                              "index_kik_message_ts", "index_kik_chat_messages_chat_id_ts"})
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from sqlite_master where type='index' and name='%1'").arg(index)), 1);
    QVERIFY(db.schemaMap().hasColumn(QStringLiteral("KIK_MESSAGE"), QStringLiteral("Render_Ins")));

    // A second open of the same object keeps its connection; a new object finds the file.
    db.open();
    QVERIFY(db.isOpen());
    db.close();
    KikLocalDb again(folder);
    again.open();
    QCOMPARE(scalar(again, QStringLiteral("select count(*) from sqlite_master where type='table' and name like 'kik_%'")), 5);

    // A creation cut short left an empty file: the next open gives it its schema.
    const QString cut = newFolder();
    QVERIFY(writeFile(cut + QStringLiteral("/talvora-kik.db"), QByteArray()));
    KikLocalDb resumed(cut);
    resumed.open();
    QCOMPARE(scalar(resumed, QStringLiteral("select count(*) from sqlite_master where type='table' and name like 'kik_%'")), 5);
}

void TestKikLocalDb::mergeTwiceIsIdempotent()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    const QStringList tables = {QStringLiteral("kik_user"), QStringLiteral("kik_user_members"), QStringLiteral("kik_chat"),
                                QStringLiteral("kik_message"), QStringLiteral("kik_chat_messages")};
    QList<qint64> counts;
    for (const QString &table : tables)
        counts << scalar(db, QStringLiteral("select count(*) from ") + table);
    QCOMPARE(counts, (QList<qint64>{3, 2, 2, 3, 3}));   // ann, bob (target and member), group
    mergeIntoLocal(db, source.messages);
    for (int i = 0; i < tables.size(); ++i)
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from ") + tables.at(i)), counts.at(i));

    // The same message under a second chat gets a second membership row only.
    source.messages.first()->chat = &source.groupChat;
    mergeIntoLocal(db, {source.messages.first()});
    QCOMPARE(scalar(db, "select count(*) from kik_message"), 3);
    QCOMPARE(scalar(db, "select count(*) from kik_chat_messages"), 4);

    // The first stored version of a user wins.
    source.ann.display_name = QStringLiteral("Changed");
    mergeIntoLocal(db, source.messages);
    QCOMPARE(scalar(db, "select count(*) from kik_user where display_name='Ann'"), 1);
}

void TestKikLocalDb::loadsWhatWasMerged()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    const KikDataSetPtr loaded = loadAll(db);
    QCOMPARE(loaded->users.size(), 3);
    QCOMPARE(loaded->chats.size(), 2);
    const auto byUid = messagesByUid(*loaded);
    QCOMPARE(byUid.size(), 3);

    const KikMessage *picture = byUid.value(QStringLiteral("m3"));
    QCOMPARE(picture->ts, source.messages.at(2)->ts);
    QCOMPARE(picture->rec_ts, at(8));
    QVERIFY(!byUid.value(QStringLiteral("m1"))->rec_ts.isValid());   // never set, stays unset
    QCOMPARE(picture->render_ins, QByteArray("\x0a\x0a", 2));
    QCOMPARE(picture->attachment.value(QStringLiteral("string:file-size")).toInt(), 1234);
    QCOMPARE(picture->attachment.value(QStringLiteral("uri")).toList().first().toHash().value(QStringLiteral("url")).toString(),
             QStringLiteral("u"));
    QCOMPARE(picture->preview_path, db.thumbsFolder() + QStringLiteral("/p.jpg"));
    QCOMPARE(picture->content_path, db.filesFolder() + QStringLiteral("/c-1"));
    QVERIFY(picture->icon_path.isEmpty());
    QCOMPARE(picture->target_user->jid, source.bob.jid);
    QCOMPARE(picture->internal_id, picture->id);
    QVERIFY(byUid.value(QStringLiteral("m2"))->was_me);
    // Messages without attachments carry no paths.
    QVERIFY(byUid.value(QStringLiteral("m1"))->content_path.isEmpty());

    const KikChat *groupChat = picture->chat;
    QVERIFY(groupChat->user->is_group && groupChat->user->is_group_admin);
    QCOMPARE(groupChat->user->group_tab, QStringLiteral("#friends"));
    QCOMPARE(groupChat->user->members.size(), 2);
    const KikMember &first = groupChat->user->members.at(0);
    const KikMember &second = groupChat->user->members.at(1);
    QVERIFY(first.user && second.user);
    QVERIFY(first.is_admin && !first.is_banned && !second.is_admin && second.is_banned);
    QCOMPARE(groupChat->last_ts, at(7));

    const KikUser *ann = byUid.value(QStringLiteral("m1"))->chat->user;
    QCOMPARE(ann->photo_ts, at(-100));
    QCOMPARE(ann->photo_url, QStringLiteral("http://pics/ann"));
    QCOMPARE(ann->photo_path, db.profFolder() + QLatin1Char('/') + sanitizeFileName(ann->jid));
    // A user stored without a picture time reads back at the epoch.
    QCOMPARE(picture->target_user->photo_ts, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    QCOMPARE(scalar(db, "select count(*) from kik_user where photo_ts is null"), 2);
}

void TestKikLocalDb::lastTsStaysNullUntilUpdated()
{
    Source source;
    KikLocalDb db(newFolder());
    db.open();
    const qint64 user = db.insertUser(&source.ann);
    const qint64 chat = db.insertChat(user, &source.annChat);
    const qint64 empty = db.insertChat(db.insertUser(&source.bob), nullptr);
    db.addChatMessage(chat, db.insertMessage(source.messages.at(0)), at(0));
    db.addChatMessage(chat, db.insertMessage(source.messages.at(1)), at(5));
    QCOMPARE(scalar(db, "select count(*) from kik_chat where last_ts is null"), 2);
    db.updateLastTs();
    QCOMPARE(scalar(db, QStringLiteral("select last_ts from kik_chat where _id=%1").arg(chat)), at(5).toMSecsSinceEpoch());
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from kik_chat where _id=%1 and last_ts is null").arg(empty)), 1);
}

void TestKikLocalDb::deletingAChatKeepsSharedMessages()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    source.messages.first()->chat = &source.groupChat;   // m1 lies in both chats
    mergeIntoLocal(db, {source.messages.first()});
    const qint64 annChat = scalar(db, "select c._id from kik_chat c join kik_user u on u._id=c.user_id where u.jid like 'ann%'");

    db.deleteChat(annChat);
    QCOMPARE(scalar(db, "select count(*) from kik_chat"), 1);
    // m2 lay only in the deleted chat; m1 stays for the group.
    QCOMPARE(scalar(db, "select count(*) from kik_message where uid='m2'"), 0);
    QCOMPARE(scalar(db, "select count(*) from kik_message where uid='m1'"), 1);
    QCOMPARE(scalar(db, "select count(*) from kik_chat_messages where (select 1 from kik_message "
                        "where _id=message_id) is null or (select 1 from kik_chat where _id=chat_id) is null"),
             0);
    QVERIFY(!db.inTransaction());
}

void TestKikLocalDb::deletingMessagesRemovesEmptyChats()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    const auto idOf = [&](const char *uid) {
        return scalar(db, QStringLiteral("select _id from kik_message where uid='%1'").arg(QLatin1String(uid)));
    };
    db.deleteMessages({idOf("m3")});   // the group chat's only message
    QCOMPARE(scalar(db, "select count(*) from kik_chat"), 1);
    QCOMPARE(scalar(db, "select count(*) from kik_chat_messages"), 2);
    db.deleteMessages({idOf("m2")});
    QCOMPARE(scalar(db, "select last_ts from kik_chat"), at(0).toMSecsSinceEpoch());
    db.deleteMessages({idOf("m1"), 999999});
    QCOMPARE(scalar(db, "select count(*) from kik_chat"), 0);
    QCOMPARE(scalar(db, "select count(*) from kik_chat_messages"), 0);
    QCOMPARE(scalar(db, "select count(*) from kik_message"), 0);
    // Users and files are kept.
    QCOMPARE(scalar(db, "select count(*) from kik_user"), 3);
}

void TestKikLocalDb::deletingAMessageWithoutAUidKeepsTheOthers()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    // Stored as a backup stores them: each a row of its own.
    db.beginTran();
    const qint64 chatId = scalar(db, "select _id from kik_chat limit 1");
    for (const char *body : {"no uid 1", "no uid 2"}) {
        const KikMessage *message = source.add(&source.annChat, QString(), 1, QLatin1String(body));
        db.addChatMessage(chatId, db.insertMessage(message), message->ts);
    }
    db.commitTran();
    QCOMPARE(scalar(db, "select count(*) from kik_message where uid=''"), 2);
    db.deleteMessages({scalar(db, "select _id from kik_message where body='no uid 1'")});
    QCOMPARE(scalar(db, "select count(*) from kik_message where uid=''"), 1);
    QCOMPARE(scalar(db, "select count(*) from kik_message where body='no uid 2'"), 1);
    QCOMPARE(scalar(db, "select count(*) from kik_message"), 4);
}

void TestKikLocalDb::membersOfMissingUsers()
{
    Source source;
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    db.executeThrow("insert into kik_user_members(user_id, member_id, is_admin, is_banned) values(999, 1, 0, 0)");
    const qint64 group = scalar(db, "select _id from kik_user where is_group=1");
    db.executeThrow(QStringLiteral("insert into kik_user_members values(%1, 555, 1, 0)").arg(group));
    db.saveMember(group, KikMember{nullptr, true, true});   // nothing to save

    const KikDataSetPtr loaded = loadAll(db);
    const KikUser *loadedGroup = loaded->users.value(group);
    QCOMPARE(loadedGroup->members.size(), 3);
    QVERIFY(!loadedGroup->members.last().user);
    QVERIFY(loadedGroup->members.last().is_admin);
    QCOMPARE(userDisplayName(loadedGroup), QStringLiteral("Ann,Bob"));
    // The row of the missing group adds nothing anywhere.
    int entries = 0;
    for (const KikUser *user : loaded->users)
        entries += int(user->members.size());
    QCOMPARE(entries, 3);

    // saveMember replaces the pair's flags.
    db.saveMember(group, KikMember{&source.bob, true, false});
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from kik_user_members where user_id=%1 and is_admin=1 "
                                       "and is_banned=0")
                            .arg(group)),
             3);
}

void TestKikLocalDb::hostileNamesStayInsideTheFolder()
{
    Source source;
    KikMessage *picture = source.messages.at(2);
    picture->content_id = QStringLiteral("../../outside");
    picture->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("../../../etc/passwd"));
    picture->attachment.insert(QStringLiteral("image:icon"), QStringLiteral("icon.png"));
    source.ann.jid = QStringLiteral("../../ann");
    KikLocalDb db(newFolder());
    mergeIntoLocal(db, source.messages);
    const KikDataSetPtr loaded = loadAll(db);
    const KikMessage *read = messagesByUid(*loaded).value(QStringLiteral("m3"));
    QVERIFY(read->preview_path.isEmpty());
    QVERIFY(read->content_path.isEmpty());
    QCOMPARE(read->icon_path, db.thumbsFolder() + QStringLiteral("/icon.png"));
    QCOMPARE(read->content_id, QStringLiteral("../../outside"));   // the data itself is kept
    for (const KikUser *user : loaded->users)
        QVERIFY(user->photo_path.isEmpty() || QFileInfo(user->photo_path).absolutePath() == db.profFolder());
}

void TestKikLocalDb::brokenDatabaseFile()
{
    const QString folder = newFolder();
    QDir().mkpath(folder);
    QFile garbage(folder + QStringLiteral("/talvora-kik.db"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    KikLocalDb db(folder);
    QVERIFY(!errorText([&] { db.open(); }).isEmpty());
    QVERIFY(!db.isOpen());
    QCOMPARE(QFileInfo(garbage.fileName()).size(), 4096);   // left as it was
}

// A run killed while it made the database leaves its temporary file (and its journal): they
// go once the database exists, whether this run made it or found it.
void TestKikLocalDb::creationsOfKilledRunsGo()
{
    for (const bool exists : {false, true}) {
        const QString folder = newFolder();
        QDir().mkpath(folder);
        if (exists)
            KikLocalDb(folder).open();
        const QStringList left{folder + QStringLiteral("/talvora-kik.db.new-Ab12Cd"),
                               folder + QStringLiteral("/talvora-kik.db.new-Ab12Cd-journal")};
        for (const QString &path : left) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        KikLocalDb db(folder);
        db.open();
        QVERIFY(QFileInfo::exists(db.databasePath()));
        for (const QString &path : left)
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    }
}

// A read-only load while another run commits sees the commit whole, never half-written pages.
void TestKikLocalDb::readsWaitForAWritersCommit()
{
    const QString folder = newFolder();
    {
        KikLocalDb created(folder);
        created.open();
    }
    Sqlite3DB writer;
    writer.openThrow(KikLocalDb(folder).databasePath(), Sqlite3DB::ReadWrite);
    // A tiny cache makes the writer put its pages into the file before it commits.
    writer.execScriptThrow("PRAGMA cache_size=5; BEGIN IMMEDIATE; "
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5000) "
                           "INSERT INTO kik_user(jid, display_name) SELECT 'u'||i||'@talk.kik.com', printf('%0400d', i) FROM n;");

    QSemaphore started;
    QString error;
    qsizetype users = -1;
    std::thread reader([&] {
        KikLocalDb db(folder);
        db.setReadOnly(true);
        started.release();
        try {
            const KikDataSetPtr loaded = KikDataSetPtr::create();
            db.load(loaded);
            users = loaded->users.size();
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
    });
    started.acquire();
    writer.commitTran();
    reader.join();
    QCOMPARE(error, QString());
    QCOMPARE(users, qsizetype(5000));
}

void TestKikLocalDb::bulkLoadHoldsRowsUntilRead()
{
    const auto schema = [](KikLocalDb &db) {
        QStringList entries;
        Sqlite3Cursor cursor = db.queryThrow("select type, name, sql from sqlite_master order by name");
        while (cursor.moveNext())
            entries << cursor.getText(0) + QLatin1Char(' ') + cursor.getText(1) + QLatin1Char(' ') + cursor.getText(2);
        return entries;
    };
    Source source;
    KikLocalDb db(newFolder());
    db.open();
    const QStringList before = schema(db);
    QVERIFY(!db.beginBulkLoad());   // outside a transaction
    QCOMPARE(schema(db), before);

    // Dropped indexes come back with a rollback; a commit before the load ended is refused
    // and rolls back too, rows held back or not.
    db.beginTran();
    QVERIFY(db.beginBulkLoad());
    QVERIFY(schema(db) != before);
    db.rollbackTran();
    QCOMPARE(schema(db), before);
    db.beginTran();
    QVERIFY(db.beginBulkLoad());
    db.insertUser(&source.bob);
    QVERIFY(!errorText([&] { db.commitTran(); }).isEmpty());
    QVERIFY(!db.inTransaction());
    QCOMPARE(schema(db), before);
    QCOMPARE(scalar(db, "select count(*) from kik_user"), 0);

    db.beginTran();
    QVERIFY(db.beginBulkLoad());
    QVERIFY(db.beginBulkLoad());   // a second call keeps the same load going
    const qint64 chat = db.insertChat(db.insertUser(&source.ann), &source.annChat);
    std::vector<KikMessage> messages(150);
    for (int i = 0; i < int(messages.size()); ++i) {
        messages[size_t(i)].uid = QStringLiteral("b%1").arg(i);
        messages[size_t(i)].ts = at(i);
        QCOMPARE(db.insertMessage(&messages[size_t(i)], 0, at(i).toMSecsSinceEpoch()), qint64(i + 1));
        db.addChatMessage(chat, i + 1, at(i));
    }
    db.addChatMessage(chat, 1, at(99));   // the pair is there: ignored, the first time stays
    // Reading messages writes what was held back first.
    QCOMPARE(db.findMessageByUid(QStringLiteral("b140")), 141);
    QCOMPARE(scalar(db, "select count(*) from kik_message"), 150);
    db.endBulkLoad();
    db.updateLastTs();
    db.commitTran();
    QCOMPARE(schema(db), before);
    QCOMPARE(scalar(db, "select count(*) from kik_chat_messages"), 150);
    QCOMPARE(scalar(db, "select ts from kik_chat_messages where message_id=1"), at(0).toMSecsSinceEpoch());
    QCOMPARE(scalar(db, "select ts from kik_message where _id=150"), at(149).toMSecsSinceEpoch());
    QCOMPARE(scalar(db, "select last_ts from kik_chat"), at(149).toMSecsSinceEpoch());
    QCOMPARE(scalar(db, "select count(*) from pragma_integrity_check where integrity_check='ok'"), 1);

    // Once messages are stored, there is no bulk load.
    db.beginTran();
    QVERIFY(!db.beginBulkLoad());
    QCOMPARE(db.insertMessage(source.messages.at(0), 0, 0), 151);
    db.rollbackTran();

    // Nor in a file whose tables are made otherwise: here its uids are equal whatever their case.
    QFile script(QString::fromLatin1(KikLocalDb::SchemaResource));
    QVERIFY(script.open(QIODevice::ReadOnly));
    const QString folder = newFolder();
    QVERIFY(QDir().mkpath(folder));
    {
        Sqlite3DB made;
        made.openThrow(folder + QStringLiteral("/talvora-kik.db"), Sqlite3DB::ReadWriteCreate);
        made.execScriptThrow(script.readAll().replace("uid VARCHAR,", "uid VARCHAR COLLATE NOCASE,"));
    }
    KikLocalDb otherwise(folder);
    otherwise.open();
    otherwise.beginTran();
    QVERIFY(!otherwise.beginBulkLoad());
    otherwise.rollbackTran();

    // Nor in one with a trigger on its messages, or whose index definitions carry more than
    // an index: they are never run.
    for (const char *change : {"create trigger counting after insert on kik_message begin select 1; end",
                               "pragma writable_schema=on; update sqlite_master set sql=sql||'; delete from kik_user' "
                               "where name='index_kik_message_ts'"}) {
        const QString tampered = newFolder();
        {
            KikLocalDb made(tampered);
            made.insertUser(&source.ann);
            made.execScriptThrow(change);
        }
        KikLocalDb reopened(tampered);
        reopened.open();
        reopened.beginTran();
        QVERIFY2(!reopened.beginBulkLoad(), change);
        reopened.rollbackTran();
        QCOMPARE(scalar(reopened, "select count(*) from kik_user"), 1);
    }
}

QTEST_GUILESS_MAIN(TestKikLocalDb)
#include "TestKikLocalDb.moc"

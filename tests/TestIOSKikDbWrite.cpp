#include "KikDbTestKit.h"
#include "TestEnv.h"

#include "kik/IOSKikDb.h"
#include "kik/KikKeyedArchive.h"
#include "kik/KikLocalDb.h"
#include "kik/KikRules.h"
#include "kikstore/KikStoreGenerator.h"
#include "plist/CFType.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <cmath>

using namespace KikDbTestKit;

namespace {

const char *const RebuiltIndexes[] = {"ZKIKMESSAGE_ZINTERNALID_INDEX", "ZKIKMESSAGE_ZCHATEXTRA_INDEX",
                                      "ZKIKMESSAGE_ZLASTMESSAGECHAT_INDEX"};

QList<qint64> column(Sqlite3DB &db, const QString &sql)
{
    QList<qint64> values;
    Sqlite3Cursor cursor = db.queryThrow(sql);
    while (cursor.moveNext())
        values << (cursor.isNull(0) ? -1 : cursor.getInt64(0));
    return values;
}

// What Kik's own bookkeeping must say after a merge and consolidation; messages listed
// under more than one chat (the real store has one) keep the numbering of one of them.
void checkStoreConsistency(IOSKikDb &db)
{
    db.open();
    Sqlite3Cursor check = db.queryThrow("PRAGMA integrity_check");
    QVERIFY(check.moveNext());
    QCOMPARE(check.getText(0), QStringLiteral("ok"));

    const std::pair<const char *, const char *> entities[] = {{"KikAttachment", "ZKIKATTACHMENT"},
                                                              {"KikAttachmentExtra", "ZKIKATTACHMENTEXTRA"},
                                                              {"KikChat", "ZKIKCHAT"},
                                                              {"KikChatExtra", "ZKIKCHATEXTRA"},
                                                              {"KikMessage", "ZKIKMESSAGE"},
                                                              {"KikUser", "ZKIKUSER"},
                                                              {"KikUserExtra", "ZKIKUSEREXTRA"}};
    for (const auto &[name, table] : entities) {
        const qint64 max = scalar(db, QStringLiteral("select max(Z_PK) from %1").arg(table));
        if (max > 0)
            QCOMPARE(scalar(db, QStringLiteral("select Z_MAX from Z_PRIMARYKEY where Z_NAME='%1'").arg(name)), max);
    }
    for (const char *index : RebuiltIndexes)
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from sqlite_master where name='%1'").arg(index)), 1);

    const IOSKikJoinTable &join = db.chatMessagesTable();
    for (const qint64 chat : column(db, QStringLiteral("select Z_PK from ZKIKCHAT"))) {
        struct Row
        {
            qint64 pk, internalId, lastChat, chatExtra;
            double ts;
        };
        QList<Row> rows;
        Sqlite3Cursor cursor = db.queryThrow(
            QStringLiteral("select m.Z_PK, m.ZINTERNALID, m.ZLASTMESSAGECHAT, m.ZCHATEXTRA, m.ZTIMESTAMP from ZKIKMESSAGE m "
                           "join %1 cm on cm.%2=m.Z_PK where cm.%3=%4 and (select count(*) from %1 where %2=m.Z_PK)=1 "
                           "order by m.ZINTERNALID")
                .arg(join.table, join.second, join.first)
                .arg(chat));
        while (cursor.moveNext())
            rows.append({cursor.getInt64(0), cursor.getInt64(1), cursor.isNull(2) ? 0 : cursor.getInt64(2),
                         cursor.isNull(3) ? 0 : cursor.getInt64(3), cursor.getDouble(4)});
        if (rows.isEmpty())
            continue;
        const qint64 extra = scalar(db, QStringLiteral("select Z_PK from ZKIKCHATEXTRA where ZCHAT=%1").arg(chat));
        const qint64 count =
            scalar(db, QStringLiteral("select count(*) from %1 where %2=%3").arg(join.table, join.first).arg(chat));
        for (int i = 0; i < rows.size(); ++i) {
            const Row &row = rows.at(i);
            QVERIFY(row.internalId >= 0 && row.internalId < count);
            if (i > 0) {
                QVERIFY(rows.at(i - 1).internalId < row.internalId);
            }
            if (i > 0 && rows.at(i - 1).internalId == row.internalId - 1) {
                // Neighbours in Kik's numbering follow the display order.
                const Row &before = rows.at(i - 1);
                const bool close = std::llabs(before.pk - row.pk) <= 10 && std::fabs(before.ts - row.ts) <= 60;
                QVERIFY(close ? before.pk < row.pk : before.ts <= row.ts);
            }
            const bool last = row.internalId == count - 1;
            QCOMPARE(row.lastChat, last ? chat : 0);
            QCOMPARE(row.chatExtra, last ? extra : 0);
            if (last) {
                QCOMPARE(scalar(db, QStringLiteral("select ZLASTMESSAGE from ZKIKCHAT where Z_PK=%1").arg(chat)), row.pk);
                if (extra > 0)
                    QCOMPARE(scalar(db, QStringLiteral("select ZLASTSEENMESSAGE from ZKIKCHATEXTRA where Z_PK=%1").arg(extra)),
                             row.pk);
                Sqlite3Cursor updated =
                    db.queryThrow(QStringLiteral("select ZDATEUPDATED from ZKIKCHAT where Z_PK=%1").arg(chat));
                QVERIFY(updated.moveNext());
                QCOMPARE(updated.getDouble(0), row.ts);
            }
        }
    }
}

// Kik reads camera pictures and videos under the gallery's ids once they are written back.
QString writtenAppId(const QString &appId)
{
    if (appId.startsWith(QLatin1String("com.kik.ext.gallery")) || appId.startsWith(QLatin1String("com.kik.ext.camera")))
        return QStringLiteral("com.kik.ext.gallery");
    if (appId.startsWith(QLatin1String("com.kik.ext.video")))
        return QStringLiteral("com.kik.ext.video-gallery");
    return appId;
}

// The attachment entries that survive being written into Kik's store and read back.
QVariantHash comparableAttachment(const KikMessage *message)
{
    QVariantHash kept;
    for (auto it = message->attachment.cbegin(); it != message->attachment.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("string:")) || it.key().startsWith(QLatin1String("extra:")))
            kept.insert(it.key(), it.value().toString());
    }
    // A file name without a suffix is replaced by the content id.
    if (QFileInfo(kept.value(QStringLiteral("string:file-name")).toString()).suffix().isEmpty()
        && kept.contains(QStringLiteral("string:file-name")))
        kept.insert(QStringLiteral("string:file-name"), message->content_id);
    if (QFileInfo(message->preview_path).size() > 0)
        kept.insert(QStringLiteral("image:preview"), message->attachment.value(QStringLiteral("image:preview")));
    return kept;
}

// Compares what a message became after travelling through Kik's store with the original.
void compareTransferred(const KikMessage *original, const KikMessage *copy)
{
    QVERIFY2(copy, qPrintable(original->uid));
    QCOMPARE(copy->ts, original->ts);
    QCOMPARE(copy->rec_ts, original->rec_ts.isValid() ? original->rec_ts : original->ts);
    QCOMPARE(copy->was_me, original->was_me);
    QCOMPARE(copy->render_ins, original->render_ins);
    QCOMPARE(copy->chat->user->jid, original->chat->user->jid);
    if (original->content_id.isEmpty()) {
        QCOMPARE(copy->body, original->body);
        return;
    }
    if (original->attachment.isEmpty()) {
        // Without a description Kik gets no attachment row: the id cannot travel.
        QVERIFY(copy->content_id.isEmpty());
        return;
    }
    QCOMPARE(copy->content_id, original->content_id);
    QCOMPARE(copy->app_id, writtenAppId(original->app_id));
    QVariantHash copied = comparableAttachment(copy);
    copied.remove(QStringLiteral("string:app-name"));
    QVariantHash expected = comparableAttachment(original);
    expected.remove(QStringLiteral("string:app-name"));
    QCOMPARE(copied, expected);
}

KikStoreOptions sourceOptions(quint32 seed)
{
    KikStoreOptions options;
    options.contacts = 8;
    options.groups = 2;
    options.chats = 4;
    options.messagesPerChat = 25;
    options.attachmentShare = 0.3;
    options.renderInstructionShare = 0.1;
    options.seed = seed;
    return options;
}

// Merges every message (in display order) the way the transfer does, then consolidates.
// Content files are put where the phone keeps them, as the transfer does.
int transfer(IOSKikDb &db, const KikDataSet &source)
{
    KikMessageList messages = source.allMessages();
    sortMessages(messages);
    db.open();
    db.beginTran();
    int merged = 0;
    for (const KikMessage *message : std::as_const(messages)) {
        merged += db.mergeMessage(message, db.rootFolder(),
                                  [&db](const QString &local, const QString &path) {
                                      const QString target = db.rootFolder() + path;
                                      if (local != target && !QFile::exists(target))
                                          QFile::copy(local, target);
                                  })
                      ? 1
                      : 0;
    }
    db.commitTran();
    db.consolidate();
    return merged;
}

QList<qint64> rowCounts(Sqlite3DB &db)
{
    QList<qint64> counts;
    for (const char *table : {"ZKIKUSER", "ZKIKUSEREXTRA", "ZKIKCHAT", "ZKIKCHATEXTRA", "ZKIKMESSAGE", "ZKIKATTACHMENT",
                              "ZKIKATTACHMENTEXTRA", "Z_3MESSAGES"})
        counts << scalar(db, QStringLiteral("select count(*) from %1").arg(table));
    return counts;
}

}

class TestIOSKikDbWrite : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    int m_folders = 0;

    QString newFolder(const char *name) { return m_env.path(QStringLiteral("%1%2").arg(name).arg(++m_folders)); }
    QString generated(const KikStoreOptions &options)
    {
        return KikStoreGenerator(options).generate(newFolder("store")).rootFolder;
    }

private slots:
    void mergeIntoRealStore();
    void mergeIntoGeneratedStore();
    void rowsWritten();
    void orderOfCloseMessages();
    void consolidateOnUnusualStores();
    void attachmentSideFiles();
    void roundTripThroughLocalDatabases();
    void newerLayoutReadAndWritten();
    void messagesWithoutUidStayApart();
};

void TestIOSKikDbWrite::mergeIntoRealStore()
{
    IOSKikDb sourceDb(generated(sourceOptions(3)));
    const KikDataSetPtr source = loadAll(sourceDb);

    IOSKikDb db(realStoreMirror(newFolder("real")));
    db.open();
    const QList<qint64> before = rowCounts(db);
    const int merged = transfer(db, *source);
    QCOMPARE(merged, source->messages.size());
    checkStoreConsistency(db);
    const QList<qint64> after = rowCounts(db);
    QCOMPARE(after.at(4) - before.at(4), source->messages.size());   // messages
    QCOMPARE(after.at(2) - before.at(2), source->chats.size());      // every source chat is new here

    db.close();
    IOSKikDb reader(db.rootFolder());
    const KikDataSetPtr readBack = loadAll(reader);
    const auto copies = messagesByUid(*readBack);
    for (const KikMessage *message : source->messages)
        compareTransferred(message, copies.value(message->uid));
    // The phone's own messages are still there, renumbered but unchanged.
    QCOMPARE(copies.value(QStringLiteral("7acf71a4-d93b-4936-b5ea-ea9bb7b4f785"))->render_ins.toHex(),
             QByteArray("0a0a0828102a1a023a4f2200"));
    QCOMPARE(readBack->messages.size(), 55 + source->messages.size());

    // Merging the same messages again adds no rows and leaves the side files alone.
    const QStringList files = filesUnder(db.rootFolder() + QStringLiteral("/Documents"));
    QMap<QString, QDateTime> stamps;
    for (const QString &file : files)
        stamps.insert(file, QFileInfo(file).lastModified());
    IOSKikDb again(db.rootFolder());
    transfer(again, *source);
    QCOMPARE(rowCounts(again), after);
    checkStoreConsistency(again);
    for (const QString &file : files) {
        if (!file.contains(QLatin1String("kik.sqlite")))
            QCOMPARE(QFileInfo(file).lastModified(), stamps.value(file));
    }
}

void TestIOSKikDbWrite::mergeIntoGeneratedStore()
{
    KikStoreOptions targetOptions = sourceOptions(5);
    targetOptions.statusLineShare = 0.2;
    IOSKikDb db(generated(targetOptions));
    const KikDataSetPtr own = loadAll(db);
    IOSKikDb sourceDb(generated(sourceOptions(6)));
    const KikDataSetPtr source = loadAll(sourceDb);
    const QList<qint64> before = rowCounts(db);

    transfer(db, *source);
    transfer(db, *own);   // the store's own messages are found by stanza id
    checkStoreConsistency(db);
    QCOMPARE(rowCounts(db).at(4), before.at(4) + source->messages.size());
    db.close();
    IOSKikDb reader(db.rootFolder());
    const KikDataSetPtr readBack = loadAll(reader);
    const auto copies = messagesByUid(*readBack);
    for (const KikMessage *message : source->messages)
        compareTransferred(message, copies.value(message->uid));
}

void TestIOSKikDbWrite::rowsWritten()
{
    IOSKikDb db(realStoreMirror(newFolder("rows")));
    db.open();
    KikUser contact;
    contact.jid = QStringLiteral("zoe_k1@talk.kik.com");
    contact.display_name = QStringLiteral("Zo\u00eb \U0001F600 K.");
    contact.photo_ts = QDateTime::fromMSecsSinceEpoch(1435567691790, Qt::UTC);
    const qint64 user = db.insertUser(&contact);
    Sqlite3Cursor row = db.queryThrow(QStringLiteral("select * from ZKIKUSER where Z_PK=%1").arg(user));
    QVERIFY(row.moveNext());
    QCOMPARE(row.getInt("Z_ENT"), 6);
    QCOMPARE(row.getInt("ZFLAGS"), 257);
    QCOMPARE(row.getText("ZDISPLAYNAMEASCII"), QStringLiteral("Zo  K."));
    QVERIFY(row.isNull("ZGROUPTAG"));
    QCOMPARE(row.getInt64("ZPPTIMESTAMP"), 1435567691790);   // read back as milliseconds since 1970
    const qint64 extra = row.getInt64("ZEXTRA");
    QCOMPARE(
        scalar(db, QStringLiteral("select ZUSER from ZKIKUSEREXTRA where Z_PK=%1 and ZLOCALFLAGS=257 and Z_ENT=7").arg(extra)),
        user);
    QCOMPARE(db.findUserPk(&contact), user);
    QCOMPARE(db.findUserPk(nullptr), 0);

    KikUser group;
    group.jid = QStringLiteral("55_g@groups.kik.com");
    group.is_group = true;
    group.group_tab = QStringLiteral("#tag");
    KikChat chat;
    chat.user = &group;
    const qint64 groupPk = db.insertUser(&group);
    QCOMPARE(scalar(db, QStringLiteral("select ZFLAGS from ZKIKUSER where Z_PK=%1").arg(groupPk)), 9);
    QCOMPARE(db.insertChat(nullptr, groupPk), 0);
    const qint64 chatPk = db.insertChat(&chat, groupPk);
    QCOMPARE(scalar(db, QStringLiteral("select ZFLAGS from ZKIKCHAT where Z_PK=%1").arg(chatPk)), 275);
    QCOMPARE(scalar(db, QStringLiteral("select ZCHAT from ZKIKCHATEXTRA where Z_PK=(select ZEXTRA from ZKIKCHAT where Z_PK=%1)")
                            .arg(chatPk)),
             chatPk);
    QCOMPARE(scalar(db, QStringLiteral("select ZCHATUSER from ZKIKUSER where Z_PK=%1").arg(groupPk)), chatPk);

    // A chat found by its user gets the flags of its kind.
    KikUser ken;
    ken.jid = QStringLiteral("ken.doh_khv@talk.kik.com");
    KikChat kenChat;
    kenChat.user = &ken;
    QCOMPARE(db.findChatByUser(8, &kenChat, false), 6);
    QCOMPARE(scalar(db, "select ZFLAGS from ZKIKCHAT where Z_PK=6"), 18);
    QCOMPARE(db.findChatByUser(8, &kenChat, true), 6);
    QCOMPARE(scalar(db, "select ZFLAGS from ZKIKCHAT where Z_PK=6"), 274);
    QCOMPARE(db.findChatByUser(12345, &kenChat, true), 0);

    // A message with a content id but no attachment data: flagged, no body, no attachment rows.
    KikMessage bare;
    bare.uid = QStringLiteral("bare-1");
    bare.ts = QDateTime::fromSecsSinceEpoch(1500000000);
    bare.body = QStringLiteral("c-77");
    bare.content_id = QStringLiteral("c-77");
    bare.target_user = &contact;
    const qint64 attachments = scalar(db, "select count(*) from ZKIKATTACHMENT");
    const qint64 bareMessage = db.insertMessage(&bare);
    Sqlite3Cursor message = db.queryThrow(QStringLiteral("select * from ZKIKMESSAGE where Z_PK=%1").arg(bareMessage));
    QVERIFY(message.moveNext());
    QCOMPARE(message.getInt("ZFLAGS"), 4);
    QVERIFY(message.isNull("ZBODY"));
    QCOMPARE(message.getInt("ZTYPE"), 1);
    QCOMPARE(message.getInt("ZSTATE"), 16);
    QCOMPARE(message.getInt("ZSYSTEMSTATE"), 12);
    QCOMPARE(message.getInt64("ZUSER"), user);   // the existing user is reused
    QCOMPARE(message.getDouble("ZTIMESTAMP"), 1500000000.0 - 978307200.0);
    QCOMPARE(message.getDouble("ZRECEIVEDTIMESTAMP"), message.getDouble("ZTIMESTAMP"));
    QCOMPARE(scalar(db, "select count(*) from ZKIKATTACHMENT"), attachments);

    // With attachment data the attachment and its extra row point at each other.
    bare.uid = QStringLiteral("full-1");
    bare.was_me = true;
    bare.attachment.insert(QStringLiteral("string:app-name"), QStringLiteral("Gallery"));
    KikUser stranger;
    stranger.jid = QStringLiteral("new_one@talk.kik.com");
    bare.target_user = &stranger;
    const qint64 full = db.insertMessage(&bare);
    QCOMPARE(scalar(db, QStringLiteral("select ZSTATE from ZKIKMESSAGE where Z_PK=%1").arg(full)), 70);
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from ZKIKATTACHMENT a join ZKIKATTACHMENTEXTRA x on x.Z_PK=a.ZEXTRA "
                                       "where a.ZMESSAGE=%1 and x.ZATTACHMENT=a.Z_PK and a.ZCONTENT='c-77' and a.ZTYPE=6")
                            .arg(full)),
             1);
    QVERIFY(db.findUserPk(&stranger) > 0);   // a target user missing from the store is added
    QCOMPARE(db.findMessagePk(QStringLiteral("full-1")), full);

    db.linkChatMessage(chatPk, full);
    db.linkChatMessage(chatPk, full);
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from Z_3MESSAGES where Z_3CHAT=%1").arg(chatPk)), 1);

    // A message without a chat, or whose chat has no user, is skipped.
    QVERIFY(!db.mergeMessage(&bare, db.rootFolder()));
    KikChat orphan;
    bare.chat = &orphan;
    QVERIFY(!db.mergeMessage(&bare, db.rootFolder()));
}

void TestIOSKikDbWrite::orderOfCloseMessages()
{
    IOSKikDb db(realStoreMirror(newFolder("order")));
    db.open();
    // A chat of its own with hand-made keys and times.
    db.executeThrow("insert into ZKIKCHAT(Z_PK, Z_ENT, ZUSER, ZEXTRA) values(50, 3, 3, 50)");
    db.executeThrow("insert into ZKIKCHATEXTRA(Z_PK, Z_ENT, ZCHAT) values(50, 4, 50)");
    const std::pair<qint64, double> messages[] = {{200, 1000.0}, {203, 995.0},    // keys 3 apart, 5 s apart: by key
                                                  {300, 2000.0}, {303, 1939.0},   // keys 3 apart, 61 s apart: by time
                                                  {400, 3000.0}, {405, 3050.0}, {409, 2995.0}};   // a rule that is not transitive
    for (const auto &[pk, ts] : messages) {
        db.executeThrow(
            QStringLiteral("insert into ZKIKMESSAGE(Z_PK, Z_ENT, ZTYPE, ZTIMESTAMP, ZSTANZAID) values(%1, 5, 1, %2, 's%1')")
                .arg(pk)
                .arg(ts, 0, 'f', 1));
        db.linkChatMessage(50, pk);
    }
    db.consolidate();
    const QList<qint64> order = column(db, "select m.Z_PK from ZKIKMESSAGE m join Z_3MESSAGES cm on cm.Z_5MESSAGES=m.Z_PK "
                                           "where cm.Z_3CHAT=50 order by m.ZINTERNALID");
    QCOMPARE(order.mid(0, 4), (QList<qint64>{200, 203, 303, 300}));
    QCOMPARE(column(db, "select ZINTERNALID from ZKIKMESSAGE where Z_PK in (200,203,300,303,400,405,409) order by ZINTERNALID"),
             (QList<qint64>{0, 1, 2, 3, 4, 5, 6}));
    checkStoreConsistency(db);
}

void TestIOSKikDbWrite::consolidateOnUnusualStores()
{
    IOSKikDb db(realStoreMirror(newFolder("unusual")));
    db.open();
    // A chat without its extra row, a chat with two, an index already gone, no attachments.
    db.executeThrow("delete from ZKIKCHATEXTRA where ZCHAT=4");
    db.executeThrow("insert into ZKIKCHATEXTRA(Z_PK, Z_ENT, ZCHAT) values(40, 4, 3)");
    db.executeThrow("drop index ZKIKMESSAGE_ZCHATEXTRA_INDEX");
    db.executeThrow("delete from ZKIKATTACHMENT");
    db.executeThrow("update Z_PRIMARYKEY set Z_MAX=2 where Z_NAME='KikAttachment'");
    db.consolidate();
    checkStoreConsistency(db);
    QCOMPARE(column(db, "select m.ZCHATEXTRA from ZKIKMESSAGE m join Z_3MESSAGES cm on cm.Z_5MESSAGES=m.Z_PK where cm.Z_3CHAT=4"),
             QList<qint64>(3, -1));
    QCOMPARE(scalar(db, "select ZCHATEXTRA from ZKIKMESSAGE where ZLASTMESSAGECHAT=3"), 3);   // the chat's first extra row
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE where ZLASTMESSAGECHAT=3"), 1);
    // An empty table keeps its counter rather than getting NULL.
    QCOMPARE(scalar(db, "select Z_MAX from Z_PRIMARYKEY where Z_NAME='KikAttachment'"), 2);
    QVERIFY(!db.inTransaction());

    // Called with the merge still open, the pass refuses before touching anything.
    db.beginTran();
    db.executeThrow("update ZKIKMESSAGE set ZINTERNALID=77 where Z_PK=1");
    QVERIFY(errorText([&] { db.consolidate(); }).contains(QLatin1String("committed")));
    db.commitTran();
    QCOMPARE(scalar(db, "select ZINTERNALID from ZKIKMESSAGE where Z_PK=1"), 77);
    for (const char *index : RebuiltIndexes)
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from sqlite_master where name='%1'").arg(index)), 1);

    // A trigger planted to spin on every change: the pass stops as damage and keeps the store as it was.
    db.execScriptThrow("create view endless as with recursive n(i) as (select 1 union all select i + 1 from n) select i from n;"
                       "create trigger spin after update on ZKIKMESSAGE begin select count(*) from endless; end;");
    QCOMPARE(errorText([&] { db.consolidate(); }),
             QStringLiteral("The file %1 is damaged: it asks for work that never comes to an end.").arg(db.storePath()));
    QCOMPARE(scalar(db, "select ZINTERNALID from ZKIKMESSAGE where Z_PK=1"), 77);
}

void TestIOSKikDbWrite::attachmentSideFiles()
{
    const QString source = newFolder("files");
    QVERIFY(writeFile(source + QStringLiteral("/preview.png"), QByteArray("\x89PNG-preview", 12)));
    QVERIFY(writeFile(source + QStringLiteral("/content.jpg"), QByteArray(300, 'c')));
    KikUser ann;
    ann.jid = QStringLiteral("ann_x@talk.kik.com");
    KikChat chat;
    chat.user = &ann;
    KikMessage message;
    message.chat = &chat;
    message.uid = QStringLiteral("side-1");
    message.ts = QDateTime::fromSecsSinceEpoch(1500000000);
    message.content_id = QStringLiteral("cid-1");
    message.app_id = QStringLiteral("com.kik.ext.camera");
    message.attachment = {{QStringLiteral("string:file-url"), QStringLiteral("https://files/cid-1")},
                          {QStringLiteral("string:file-name"), QStringLiteral("IMG_1.JPG")},
                          {QStringLiteral("image:preview"), QStringLiteral("p")}};
    message.preview_path = source + QStringLiteral("/preview.png");
    message.content_path = source + QStringLiteral("/content.jpg");

    IOSKikDb db(realStoreMirror(newFolder("mirror")));
    const QString mirror = newFolder("target");
    QStringList delivered;
    const auto deliver = [&delivered](const QString &local, const QString &path) {
        delivered << local + QLatin1String(" -> ") + path;
    };
    db.open();
    QVERIFY(db.mergeMessage(&message, mirror, deliver));
    const QString description = mirror + QStringLiteral("/Documents/attachments/cid-1");
    const QString metadata = mirror + QStringLiteral("/Documents/content_manager/metadata_cache/cid-1");
    QCOMPARE(delivered, (QStringList{description + QStringLiteral(" -> /Documents/attachments/cid-1"),
                                     message.content_path + QStringLiteral(" -> /Documents/content_manager/data_cache/cid-1"),
                                     metadata + QStringLiteral(" -> /Documents/content_manager/metadata_cache/cid-1")}));
    QFile file(description);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.startsWith("bplist00"));
    QCOMPARE(written, buildContentDictionary(&message).toPlistData(CFType::BinaryFormat));
    const CFType parsed = CFType::fromPlistData(written);
    QCOMPARE(parsed.value(QStringLiteral("image")).at(0).value(QStringLiteral("value")).toByteArray(),
             QByteArray("\x89PNG-preview", 12));
    const QMap<QString, QString> archive = readKeyedArchive(metadata);
    QCOMPARE(archive.value(QStringLiteral("fileURL")), QStringLiteral("https://files/cid-1"));
    QCOMPARE(archive.value(QStringLiteral("contentID")), QStringLiteral("cid-1"));
    QCOMPARE(archive.value(QStringLiteral("appID")), QStringLiteral("com.kik.ext.camera"));
    QVERIFY(filesUnder(mirror).filter(QStringLiteral(".tmp")).isEmpty() && filesUnder(mirror).size() == 2);

    // Files already there with content are kept; an empty one is written again.
    QVERIFY(writeFile(description, "kept"));
    QVERIFY(writeFile(metadata, QByteArray()));
    delivered.clear();
    db.mergeMessage(&message, mirror, deliver);
    QCOMPARE(delivered.size(), 3);
    QFile kept(description);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));
    QVERIFY(QFileInfo(metadata).size() > 0);

    // Without a content file there is nothing to fetch and no metadata.
    message.content_id = QStringLiteral("cid-2");
    message.uid = QStringLiteral("side-2");
    message.content_path.clear();
    delivered.clear();
    db.mergeMessage(&message, mirror, deliver);
    QCOMPARE(delivered.size(), 1);
    QVERIFY(!QFile::exists(mirror + QStringLiteral("/Documents/content_manager/metadata_cache/cid-2")));

    // A content id that would climb out of the mirror writes nothing; the row is still merged.
    message.content_id = QStringLiteral("../../escape");
    message.uid = QStringLiteral("side-3");
    const QStringList before = filesUnder(m_env.home());
    QVERIFY(db.mergeMessage(&message, mirror, deliver));
    QCOMPARE(filesUnder(m_env.home()), before);
    QVERIFY(db.findMessagePk(QStringLiteral("side-3")) > 0);

    // A folder that cannot take the file: the error names it.
    const QString blocked = newFolder("blocked");
    QVERIFY(writeFile(blocked + QStringLiteral("/Documents/attachments"), "a file where the folder should be"));
    message.content_id = QStringLiteral("cid-3");
    message.uid = QStringLiteral("side-4");
    const QString error = errorText([&] { db.mergeMessage(&message, blocked); });
    QVERIFY2(error.startsWith(QLatin1String("can not create ")) && error.contains(QLatin1String("attachments/cid-3")),
             qPrintable(error));
    db.rollbackTran();
}

void TestIOSKikDbWrite::roundTripThroughLocalDatabases()
{
    KikStoreOptions options = sourceOptions(21);
    options.emojiShare = 0.4;
    IOSKikDb first(generated(options));
    const KikDataSetPtr original = loadAll(first);

    KikLocalDb local(newFolder("local"));
    mergeIntoLocal(local, original->allMessages());
    const KikDataSetPtr fromLocal = loadAll(local);
    QCOMPARE(fromLocal->messages.size(), original->messages.size());

    KikStoreOptions targetOptions = sourceOptions(22);
    targetOptions.messagesPerChat = 3;
    IOSKikDb second(generated(targetOptions));
    transfer(second, *fromLocal);
    checkStoreConsistency(second);
    second.close();
    IOSKikDb secondReader(second.rootFolder());
    const KikDataSetPtr fromSecond = loadAll(secondReader);

    KikLocalDb secondLocal(newFolder("local"));
    mergeIntoLocal(secondLocal, fromSecond->allMessages());
    const KikDataSetPtr last = loadAll(secondLocal);
    const auto copies = messagesByUid(*last);
    int contentFiles = 0;
    for (const KikMessage *message : original->messages) {
        compareTransferred(message, copies.value(message->uid));
        QFile content(message->content_path);
        if (message->attachment.isEmpty() || !content.open(QIODevice::ReadOnly))
            continue;
        // The content file travelled along: same bytes at the end.
        QFile copied(copies.value(message->uid)->content_path);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), content.readAll());
        ++contentFiles;
    }
    QVERIFY(contentFiles > 3);
}

// Messages without a stanza id of their own (a phone's rows with none, a local database's
// "") are each their own row in Kik's store, however alike; merging them again adds nothing.
void TestIOSKikDbWrite::messagesWithoutUidStayApart()
{
    IOSKikDb sourceDb(generated(sourceOptions(5)));
    const KikDataSetPtr source = loadAll(sourceDb);
    QList<KikMessage *> plain;
    const KikChat *chat = nullptr;
    for (KikMessage *message : source->messages) {
        if (!chat)
            chat = message->chat;
        if (message->content_id.isEmpty() && message->chat == chat)
            plain << message;
    }
    QVERIFY(plain.size() >= 3);
    for (KikMessage *message : plain.mid(0, 3))
        message->uid.clear();
    // The second is the first once more: same chat, time, direction and text.
    plain[1]->ts = plain[0]->ts;
    plain[1]->body = plain[0]->body;
    plain[1]->was_me = plain[0]->was_me;

    IOSKikDb db(realStoreMirror(newFolder("nouid")));
    db.open();
    const qint64 before = scalar(db, "select count(*) from ZKIKMESSAGE");
    transfer(db, *source);
    checkStoreConsistency(db);
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE") - before, source->messages.size());
    db.close();

    IOSKikDb again(db.rootFolder());
    transfer(again, *source);
    QCOMPARE(scalar(again, "select count(*) from ZKIKMESSAGE") - before, source->messages.size());
    QCOMPARE(scalar(again, QStringLiteral("select count(*) from ZKIKMESSAGE where ZBODY is '%1'")
                               .arg(QString(plain[0]->body).replace(QLatin1Char('\''), QStringLiteral("''")))),
             2);
}

QTEST_GUILESS_MAIN(TestIOSKikDbWrite)
#include "TestIOSKikDbWrite.moc"

// A newer Kik numbers its entities differently (KikUser 9, KikMessage 6) and keeps entities
// and columns this program does not know: they are read by number, written with the store's
// own numbers, and what the program does not know is left exactly as it was.
void TestIOSKikDbWrite::newerLayoutReadAndWritten()
{
    KikStoreOptions options = sourceOptions(11);
    options.layout = KikStoreLayout::New;
    const GeneratedKikStore store = KikStoreGenerator(options).generate(newFolder("newer"));
    const QString before = m_env.path(QStringLiteral("newer-before.sqlite"));
    QVERIFY(QFile::copy(store.storePath, before));

    IOSKikDb db(store.rootFolder);
    const KikDataSetPtr data = loadAll(db);
    QCOMPARE(db.entityNumber(QStringLiteral("KikUser")), 9);
    QCOMPARE(db.membersTable().table, QStringLiteral("Z_9MEMBERS"));
    QCOMPARE(db.chatMessagesTable().second, QStringLiteral("Z_6MESSAGES"));
    QCOMPARE(data->messages.size(), store.messages);
    int members = 0, admins = 0;
    for (const KikUser *user : data->users) {
        members += int(user->members.size());
        admins += user->is_group_admin ? 1 : 0;
    }
    QCOMPARE(members, options.groups * options.membersPerGroup);
    QCOMPARE(admins, options.groups);

    IOSKikDb sourceDb(generated(sourceOptions(12)));
    const KikDataSetPtr source = loadAll(sourceDb);
    QCOMPARE(transfer(db, *source), source->messages.size());
    checkStoreConsistency(db);
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE where Z_ENT<>6"), 0);
    QCOMPARE(scalar(db, "select count(*) from ZKIKUSER where Z_ENT<>9"), 0);
    QCOMPARE(scalar(db, "select count(*) from ZKIKUSEREXTRA where Z_ENT<>10"), 0);

    db.executeThrow(Sqlite3Sql("attach ? as earlier").addTextParam(before));
    for (const char *table : {"ZKIKMESSAGEREACTION", "ZKIKCONTENTLINK", "ZKIKSTICKERPACK"}) {
        const QString sql =
            QStringLiteral("select count(*) from (select * from earlier.%1 except select * from main.%1)").arg(table);
        QVERIFY(scalar(db, QStringLiteral("select count(*) from earlier.%1").arg(table)) > 0);
        QCOMPARE(scalar(db, sql), 0);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from main.%1").arg(table)),
                 scalar(db, QStringLiteral("select count(*) from earlier.%1").arg(table)));
    }
    QCOMPARE(scalar(db, "select count(*) from (select Z_PK, ZENTITYUSERDATA, ZROSTERENTRYDATA from earlier.ZKIKUSEREXTRA "
                        "except select Z_PK, ZENTITYUSERDATA, ZROSTERENTRYDATA from main.ZKIKUSEREXTRA)"),
             0);
    QVERIFY(scalar(db, "select count(*) from earlier.ZKIKUSEREXTRA where ZROSTERENTRYDATA is not null") > 0);
    QCOMPARE(scalar(db, "select count(*) from (select * from earlier.Z_PRIMARYKEY where Z_NAME in "
                        "('KikContentLink','KikMessageReaction','KikStickerPack') except select * from main.Z_PRIMARYKEY)"),
             0);
    db.executeThrow("detach earlier");
    db.close();

    IOSKikDb reader(store.rootFolder);
    const KikDataSetPtr readBack = loadAll(reader);
    QCOMPARE(readBack->messages.size(), store.messages + source->messages.size());
    const auto copies = messagesByUid(*readBack);
    for (const KikMessage *message : source->messages)
        compareTransferred(message, copies.value(message->uid));
}

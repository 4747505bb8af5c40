#include "kik/IOSKikDb.h"

#include "app/AppConstants.h"
#include "app/AppError.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3ReadOnly.h"
#include "db/Sqlite3Row.h"
#include "kik/IOSAttachmentReader.h"
#include "kik/IOSKikConsolidation.h"
#include "kik/IOSSideFile.h"
#include "kik/KikFileNames.h"
#include "kik/KikKeyedArchive.h"
#include "kik/KikRecordMap.h"
#include "kik/KikRules.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString AttachmentsPath = QStringLiteral("/Documents/attachments/");
const QString DataCachePath = QStringLiteral("/Documents/content_manager/data_cache/");
const QString MetadataCachePath = QStringLiteral("/Documents/content_manager/metadata_cache/");

// Kik's flag values for the rows it creates itself.
constexpr int GroupUserFlags = 9;
constexpr int ContactUserFlags = 257;
constexpr int GroupChatFlags = 275;
constexpr int ContactChatFlags = 274;

IOSKikJoinTable joinTable(const QString &table, qint64 table1, const QString &first, qint64 first1, const QString &second,
                          qint64 second1)
{
    return {table.arg(table1), first.arg(first1), second.arg(second1)};
}

QDateTime appleDateTime(const Sqlite3Cursor &cursor, int column)
{
    return cursor.isNull(column) ? QDateTime() : appleTimeToDateTime(cursor.getDouble(column));
}

QVariant appleSeconds(const QDateTime &time)
{
    return time.isValid() ? QVariant(unixToAppleTime(time.toSecsSinceEpoch())) : QVariant();
}

QString asciiOnly(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            out += c;
    }
    return out;
}

}

IOSKikDb::IOSKikDb(const QString &rootFolder, const QString &thumbsFolder)
    : m_root(QDir(rootFolder).absolutePath())
    , m_thumbs(thumbsFolder.isEmpty() ? m_root + QStringLiteral("/thumbs") : QDir(thumbsFolder).absolutePath())
{
    QDir().mkpath(m_thumbs);
}

IOSKikDb::~IOSKikDb()
{
    close();   // before the temporary copy it may read goes away
}

QString IOSKikDb::storePath() const
{
    return m_root + QLatin1Char('/') + QLatin1String(StoreFile);
}

void IOSKikDb::open()
{
    if (isOpen())
        return;
    openStoreThrow();
    try {
        readLayoutThrow();
    } catch (...) {
        close();   // a store refused stays refused: the next call must not find it open
        throw;
    }
}

void IOSKikDb::readLayoutThrow()
{
    m_schema = schemaMap();
    const QString what = storeName();
    m_schema.requireThrow(what, QStringLiteral("Z_PRIMARYKEY"), {QStringLiteral("Z_NAME"), QStringLiteral("Z_ENT")});
    m_entities.clear();
    Sqlite3Cursor cursor = queryThrow("select * from Z_PRIMARYKEY");
    const int name = cursor.columnIndex("Z_NAME"), ent = cursor.columnIndex("Z_ENT");
    while (cursor.moveNext())
        m_entities.insert(cursor.getText(name), cursor.getInt64(ent));

    // Kik numbers its entities differently from version to version; the join tables carry the
    // numbers in their names. Without them no table name can be formed.
    for (const QString &entity : {QStringLiteral("KikChat"), QStringLiteral("KikMessage"), QStringLiteral("KikUser")}) {
        if (entityNumber(entity) <= 0)
            failWith(QStringLiteral("%1 is not a complete Kik store: it does not list the entity %2 in "
                                    "Z_PRIMARYKEY (it is damaged or not a Kik database).")
                         .arg(what, entity));
    }
    const qint64 chat = entityNumber(QStringLiteral("KikChat"));
    const qint64 message = entityNumber(QStringLiteral("KikMessage"));
    const qint64 user = entityNumber(QStringLiteral("KikUser"));
    m_chatMessages = joinTable(QStringLiteral("Z_%1MESSAGES"), chat, QStringLiteral("Z_%1CHAT"), chat,
                               QStringLiteral("Z_%1MESSAGES"), message);
    m_admins = joinTable(QStringLiteral("Z_%1ADMINSINVERSE"), user, QStringLiteral("Z_%1ADMINS"), user,
                         QStringLiteral("Z_%1ADMINSINVERSE"), user);
    m_bans = joinTable(QStringLiteral("Z_%1BANSINVERSE"), user, QStringLiteral("Z_%1BANS"), user,
                       QStringLiteral("Z_%1BANSINVERSE"), user);
    m_members = joinTable(QStringLiteral("Z_%1MEMBERS"), user, QStringLiteral("Z_%1MEMBERSINVERSE"), user,
                          QStringLiteral("Z_%1MEMBERS"), user);
    // Messages are written through the chat-messages table: it has to be there for any use.
    m_schema.requireThrow(what, m_chatMessages.table, {m_chatMessages.first, m_chatMessages.second});
}

QString IOSKikDb::storeName() const
{
    return QStringLiteral("Kik's database %1").arg(QDir::toNativeSeparators(storePath()));
}

void IOSKikDb::openStoreThrow()
{
    const QString path = storePath();
    if (m_mode == ReadWriteMode) {
        openThrow(path, ReadWrite);
    } else {
        if (!QFileInfo::exists(path))
            failWith(QStringLiteral("%1 was not found.").arg(storeName()));
        m_readCopy = openReadOnlyThrow(*this, path, privateTemporaryFolderThrow);
    }
    // The store comes from a phone or a backup: a view in it must not hold the program for ever.
    limitWorkToFileSizeThrow();
}

std::pair<qint64, QDateTime> IOSKikDb::messageSummary()
{
    open();
    m_schema.requireThrow(storeName(), QStringLiteral("ZKIKMESSAGE"), {QStringLiteral("ZTYPE"), QStringLiteral("ZTIMESTAMP")});
    Sqlite3Cursor cursor = queryThrow("select count(*), max(ZTIMESTAMP) from ZKIKMESSAGE where ZTYPE in (1,2)");
    if (!cursor.moveNext())
        return {0, QDateTime()};
    return {cursor.getInt64(0), appleDateTime(cursor, 1)};
}

std::pair<QString, QString> IOSKikDb::ownAccount()
{
    open();
    const QString users = QStringLiteral("ZKIKUSER");
    for (const char *column : {"ZFLAGS", "ZUSERNAME", "ZDISPLAYNAME"}) {
        if (!m_schema.hasColumn(users, QLatin1String(column)))
            return {};
    }
    Sqlite3Cursor cursor =
        queryThrow("select ZUSERNAME, ZDISPLAYNAME from ZKIKUSER where ZFLAGS=258 and ZUSERNAME<>'' order by Z_PK limit 1");
    if (!cursor.moveNext())
        return {};
    return {cursor.getText(0), cursor.getText(1)};
}

qint64 IOSKikDb::entityNumber(const QString &name) const
{
    return m_entities.value(name, 0);
}

bool IOSKikDb::hasTable(const QString &name) const
{
    return m_schema.hasTable(name);
}

void IOSKikDb::requireReadableSchemaThrow() const
{
    const QString what = storeName();
    m_schema.requireThrow(what, QStringLiteral("ZKIKUSER"),
                          {QStringLiteral("Z_PK"), QStringLiteral("ZDISPLAYNAME"), QStringLiteral("ZGROUPTAG"),
                           QStringLiteral("ZJID"), QStringLiteral("ZPPURL"), QStringLiteral("ZPPTIMESTAMP"),
                           QStringLiteral("ZUSERNAME")});
    m_schema.requireThrow(what, QStringLiteral("ZKIKCHAT"),
                          {QStringLiteral("Z_PK"), QStringLiteral("ZUSER"), QStringLiteral("ZDATEUPDATED")});
    m_schema.requireThrow(what, QStringLiteral("ZKIKMESSAGE"),
                          {QStringLiteral("Z_PK"), QStringLiteral("ZTYPE"), QStringLiteral("ZINTERNALID"),
                           QStringLiteral("ZUSER"), QStringLiteral("ZRECEIVEDTIMESTAMP"), QStringLiteral("ZTIMESTAMP"),
                           QStringLiteral("ZBODY"), QStringLiteral("ZSTANZAID"), QStringLiteral("ZRENDERINSTRUCTIONSET")});
    m_schema.requireThrow(what, QStringLiteral("ZKIKATTACHMENT"), {QStringLiteral("ZMESSAGE"), QStringLiteral("ZCONTENT")});
    for (const IOSKikJoinTable *join : {&m_admins, &m_bans, &m_members, &m_chatMessages})
        m_schema.requireThrow(what, join->table, {join->first, join->second});
}

bool IOSKikDb::load(const KikDataSetPtr &dataSet)
{
    open();
    requireReadableSchemaThrow();
    QHash<qint64, QSet<qint64>> admins;
    QHash<qint64, QSet<qint64>> bans;
    loadAdminSets(m_admins, admins);
    loadAdminSets(m_bans, bans);
    loadUsers(*dataSet, admins);
    loadMembers(*dataSet, admins, bans);
    loadChats(*dataSet);
    loadMessages(*dataSet);
    loadChatMessages(*dataSet);
    return true;
}

// Sets of user keys per group key: the first column's keys under the second column's key.
void IOSKikDb::loadAdminSets(const IOSKikJoinTable &table, QHash<qint64, QSet<qint64>> &sets)
{
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select * from ") + table.table);
    const int user = cursor.columnIndex(table.first), group = cursor.columnIndex(table.second);
    while (cursor.moveNext())
        sets[cursor.getInt64(group)].insert(cursor.getInt64(user));
}

void IOSKikDb::loadUsers(KikDataSet &dataSet, const QHash<qint64, QSet<qint64>> &admins)
{
    const QString profpix = m_root + QStringLiteral("/Documents/profpix/");
    Sqlite3Cursor cursor = queryThrow("select * from ZKIKUSER");
    const int pk = cursor.columnIndex("Z_PK"), displayName = cursor.columnIndex("ZDISPLAYNAME"),
              groupTag = cursor.columnIndex("ZGROUPTAG"), jid = cursor.columnIndex("ZJID"),
              photoUrl = cursor.columnIndex("ZPPURL"), photoTs = cursor.columnIndex("ZPPTIMESTAMP"),
              userName = cursor.columnIndex("ZUSERNAME");
    while (cursor.moveNext()) {
        auto *user = new KikUser;
        user->id = cursor.getInt64(pk);
        user->display_name = cursor.getText(displayName);
        user->group_tab = cursor.getText(groupTag);
        user->jid = cursor.getText(jid);
        user->photo_url = cursor.getText(photoUrl);
        user->user_name = cursor.getText(userName);
        const qint64 photoMSecs = cursor.getInt64(photoTs);
        if (photoMSecs > 0)
            user->photo_ts = QDateTime::fromMSecsSinceEpoch(photoMSecs);
        user->is_group = user->jid.endsWith(QLatin1String(AppConstants::KikGroupSuffix), Qt::CaseInsensitive);
        const auto adminSet = admins.constFind(user->id);
        user->is_group_admin = adminSet != admins.constEnd() && adminSet->contains(1);
        // A jid is a name from the phone: without separators it stays inside the folder.
        const QString name = sanitizeFileName(user->jid);
        const QString original = profpix + QStringLiteral("orig_") + name;
        user->photo_path = QFileInfo::exists(original) ? original : profpix + QStringLiteral("thumb_") + name;
        putRecord(dataSet.users, user->id, user);
    }
}

void IOSKikDb::loadMembers(KikDataSet &dataSet, const QHash<qint64, QSet<qint64>> &admins,
                           const QHash<qint64, QSet<qint64>> &bans)
{
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select * from ") + m_members.table);
    const int groupColumn = cursor.columnIndex(m_members.first), memberColumn = cursor.columnIndex(m_members.second);
    while (cursor.moveNext()) {
        const qint64 groupKey = cursor.getInt64(groupColumn);
        const qint64 memberKey = cursor.getInt64(memberColumn);
        KikUser *group = dataSet.users.value(groupKey);
        KikUser *member = dataSet.users.value(memberKey);
        if (!group || !member)
            continue;
        group->members.append({member, admins.value(groupKey).contains(memberKey), bans.value(groupKey).contains(memberKey)});
    }
}

void IOSKikDb::loadChats(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow("select * from ZKIKCHAT");
    const int pk = cursor.columnIndex("Z_PK"), userColumn = cursor.columnIndex("ZUSER"),
              updated = cursor.columnIndex("ZDATEUPDATED");
    while (cursor.moveNext()) {
        KikUser *user = dataSet.users.value(cursor.getInt64(userColumn));
        if (!user)
            continue;
        auto *chat = new KikChat;
        chat->id = cursor.getInt64(pk);
        chat->user = user;
        chat->last_ts = appleDateTime(cursor, updated);
        putRecord(dataSet.chats, chat->id, chat);
    }
}

void IOSKikDb::loadMessages(KikDataSet &dataSet)
{
    IOSAttachmentReader attachments(m_root, m_thumbs);
    Sqlite3Cursor cursor = queryThrow("select m.*,a.ZCONTENT from ZKIKMESSAGE as m "
                                      "left join ZKIKATTACHMENT as a on m.Z_PK=a.ZMESSAGE");
    const int pk = cursor.columnIndex("Z_PK"), type = cursor.columnIndex("ZTYPE"), internalId = cursor.columnIndex("ZINTERNALID"),
              userColumn = cursor.columnIndex("ZUSER"), received = cursor.columnIndex("ZRECEIVEDTIMESTAMP"),
              sent = cursor.columnIndex("ZTIMESTAMP"), body = cursor.columnIndex("ZBODY"),
              stanzaId = cursor.columnIndex("ZSTANZAID"), renderIns = cursor.columnIndex("ZRENDERINSTRUCTIONSET"),
              content = cursor.columnCount() - 1;
    while (cursor.moveNext()) {
        const qint64 messageType = cursor.getInt64(type);
        if (messageType != 1 && messageType != 2)
            continue;
        auto *message = new KikMessage;
        message->id = cursor.getInt64(pk);
        message->internal_id = cursor.getInt64(internalId);
        message->was_me = messageType == 2;
        const qint64 userKey = cursor.getInt64(userColumn);
        if (userKey > 0)
            message->target_user = dataSet.users.value(userKey);
        message->rec_ts = appleDateTime(cursor, received);
        message->ts = appleDateTime(cursor, sent);
        message->body = cursor.getText(body);
        message->uid = cursor.getText(stanzaId);
        message->render_ins = cursor.getBlob(renderIns);
        message->content_id = cursor.getText(content);
        if (!message->content_id.isEmpty()) {
            if (message->content_id == message->body)   // Kik keeps the content id as the body
                message->content_id = message->body;
            attachments.read(message);
        }
        putRecord(dataSet.messages, message->id, message);
    }
}

void IOSKikDb::loadChatMessages(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select * from ") + m_chatMessages.table);
    const int chatColumn = cursor.columnIndex(m_chatMessages.first), messageColumn = cursor.columnIndex(m_chatMessages.second);
    while (cursor.moveNext()) {
        KikChat *chat = dataSet.chats.value(cursor.getInt64(chatColumn));
        KikMessage *message = dataSet.messages.value(cursor.getInt64(messageColumn));
        if (!chat || !message)
            continue;
        message->chat = chat;
        chat->messages.append(message);
    }
}

qint64 IOSKikDb::findUserPk(const KikUser *user)
{
    open();
    if (!user)
        return 0;
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql("select Z_PK from ZKIKUSER where ZJID=? limit 1").addTextParam(user->jid));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

qint64 IOSKikDb::insertUser(const KikUser *user)
{
    open();
    const int flags = user->is_group ? GroupUserFlags : ContactUserFlags;
    Sqlite3Row row;
    row.setVal(QStringLiteral("Z_ENT"), entityNumber(QStringLiteral("KikUser")));
    row.setVal(QStringLiteral("Z_OPT"), 2);
    row.setVal(QStringLiteral("ZFLAGS"), flags);
    row.setVal(QStringLiteral("ZINTERNALID"), 0);
    row.setVal(QStringLiteral("ZPRESENCE"), 1);
    row.setVal(QStringLiteral("ZTYPE"), 1);
    row.setVal(QStringLiteral("ZDISPLAYNAME"), user->display_name);
    row.setVal(QStringLiteral("ZDISPLAYNAMEASCII"), asciiOnly(user->display_name));
    if (!user->group_tab.isEmpty())
        row.setVal(QStringLiteral("ZGROUPTAG"), user->group_tab);
    row.setVal(QStringLiteral("ZJID"), user->jid);
    // Kik keeps this one time in milliseconds since 1970, as it is read back.
    if (user->photo_ts.isValid())
        row.setVal(QStringLiteral("ZPPTIMESTAMP"), user->photo_ts.toMSecsSinceEpoch());
    row.setVal(QStringLiteral("ZPPURL"), user->photo_url);
    row.setVal(QStringLiteral("ZUSERNAME"), user->user_name);
    executeThrow(row.insertSql(QStringLiteral("ZKIKUSER")));
    const qint64 userPk = lastInsertId();

    Sqlite3Row extra;
    extra.setVal(QStringLiteral("Z_ENT"), entityNumber(QStringLiteral("KikUserExtra")));
    extra.setVal(QStringLiteral("Z_OPT"), 7);
    extra.setVal(QStringLiteral("ZLOCALFLAGS"), flags);
    extra.setVal(QStringLiteral("ZUSER"), userPk);
    executeThrow(extra.insertSql(QStringLiteral("ZKIKUSEREXTRA")));
    executeThrow(QStringLiteral("update ZKIKUSER set ZEXTRA=%1 where Z_PK=%2").arg(lastInsertId()).arg(userPk));
    return userPk;
}

qint64 IOSKikDb::findChatByUser(qint64 userPk, const KikChat *chat, bool fixFlags)
{
    open();
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select Z_PK,ZFLAGS from ZKIKCHAT where ZUSER=%1").arg(userPk));
    if (!cursor.moveNext())
        return 0;
    const qint64 chatPk = cursor.getInt64(0);
    const qint64 flags = cursor.getInt64(1);
    if (chat && chat->user && fixFlags) {
        const int expected = chat->user->is_group ? GroupChatFlags : ContactChatFlags;
        if (flags != expected)
            executeThrow(QStringLiteral("update ZKIKCHAT set ZFLAGS=%1 where Z_PK=%2").arg(expected).arg(chatPk));
    }
    return chatPk;
}

qint64 IOSKikDb::insertChat(const KikChat *chat, qint64 userPk)
{
    open();
    if (!chat || !chat->user)
        return 0;
    Sqlite3Row row;
    row.setVal(QStringLiteral("Z_ENT"), entityNumber(QStringLiteral("KikChat")));
    row.setVal(QStringLiteral("Z_OPT"), 3);
    row.setVal(QStringLiteral("ZFLAGS"), chat->user->is_group ? GroupChatFlags : ContactChatFlags);
    row.setVal(QStringLiteral("ZUSER"), userPk);
    executeThrow(row.insertSql(QStringLiteral("ZKIKCHAT")));
    const qint64 chatPk = lastInsertId();

    insertExtraRow(QStringLiteral("KikChatExtra"), 10, QStringLiteral("ZKIKCHAT"), "ZCHAT", chatPk);
    executeThrow(QStringLiteral("update ZKIKUSER set ZCHATUSER=%1 where Z_PK=%2").arg(chatPk).arg(userPk));
    return chatPk;
}

qint64 IOSKikDb::findMessagePk(const QString &stanzaId)
{
    open();
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql("select Z_PK from ZKIKMESSAGE where ZSTANZAID=?").addTextParam(stanzaId));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

// A message without a stanza id is recognised by what it says, where and when: the first
// such row of the chat this run has not matched yet, so identical messages stay as many rows.
qint64 IOSKikDb::findMessageWithoutUidPk(qint64 chatPk, const KikMessage *message)
{
    const bool withContent = !message->content_id.isEmpty();
    Sqlite3Cursor cursor =
        queryThrow(Sqlite3Sql(QStringLiteral("select m.Z_PK from ZKIKMESSAGE m join %1 j on j.%2=m.Z_PK where j.%3=? "
                                             "and (m.ZSTANZAID is null or m.ZSTANZAID='') and m.ZTYPE=? "
                                             "and abs(m.ZTIMESTAMP-?)<0.0015 and m.ZBODY is ? order by m.Z_PK")
                                  .arg(m_chatMessages.table, m_chatMessages.second, m_chatMessages.first))
                       .addInt64Param(chatPk)
                       .addIntParam(message->was_me ? 2 : 1)
                       .addParam(appleSeconds(message->ts))
                       .addParam(withContent ? QVariant() : QVariant(message->body)));
    while (cursor.moveNext()) {
        const qint64 pk = cursor.getInt64(0);
        if (!m_matchedWithoutUid.contains(pk)) {
            m_matchedWithoutUid.insert(pk);
            return pk;
        }
    }
    return 0;
}

qint64 IOSKikDb::insertMessage(const KikMessage *message)
{
    open();
    const bool withContent = !message->content_id.isEmpty();
    Sqlite3Row row;
    row.setVal(QStringLiteral("Z_ENT"), entityNumber(QStringLiteral("KikMessage")));
    row.setVal(QStringLiteral("Z_OPT"), 3);
    row.setVal(QStringLiteral("ZFLAGS"), withContent ? 4 : 0);
    row.setVal(QStringLiteral("ZSTATE"), message->was_me ? 70 : 16);
    row.setVal(QStringLiteral("ZSYSTEMSTATE"), message->was_me ? 0 : 12);
    row.setVal(QStringLiteral("ZTYPE"), message->was_me ? 2 : 1);
    if (message->target_user) {
        qint64 userPk = findUserPk(message->target_user);
        if (userPk == 0)
            userPk = insertUser(message->target_user);
        row.setVal(QStringLiteral("ZUSER"), userPk);
    }
    row.setVal(QStringLiteral("ZRECEIVEDTIMESTAMP"), appleSeconds(message->rec_ts.isValid() ? message->rec_ts : message->ts));
    row.setVal(QStringLiteral("ZTIMESTAMP"), appleSeconds(message->ts));
    if (!withContent)
        row.setVal(QStringLiteral("ZBODY"), message->body);
    row.setVal(QStringLiteral("ZSTANZAID"), message->uid);
    if (!message->render_ins.isEmpty())
        row.setVal(QStringLiteral("ZRENDERINSTRUCTIONSET"), message->render_ins);
    executeThrow(row.insertSql(QStringLiteral("ZKIKMESSAGE")));
    const qint64 messagePk = lastInsertId();

    if (withContent && !message->attachment.isEmpty()) {
        Sqlite3Row attachment;
        attachment.setVal(QStringLiteral("Z_ENT"), entityNumber(QStringLiteral("KikAttachment")));
        attachment.setVal(QStringLiteral("Z_OPT"), 1);
        attachment.setVal(QStringLiteral("ZFLAGS"), 4);
        attachment.setVal(QStringLiteral("ZINTERNALID"), 0);
        attachment.setVal(QStringLiteral("ZRETRYCOUNT"), 0);
        attachment.setVal(QStringLiteral("ZSTATE"), 0);
        attachment.setVal(QStringLiteral("ZTYPE"), 6);
        attachment.setVal(QStringLiteral("ZMESSAGE"), messagePk);
        attachment.setVal(QStringLiteral("ZTIMESTAMP"), appleSeconds(message->ts));
        attachment.setVal(QStringLiteral("ZCONTENT"), message->content_id);
        executeThrow(attachment.insertSql(QStringLiteral("ZKIKATTACHMENT")));
        const qint64 attachmentPk = lastInsertId();

        insertExtraRow(QStringLiteral("KikAttachmentExtra"), 1, QStringLiteral("ZKIKATTACHMENT"), "ZATTACHMENT", attachmentPk);
    }
    return messagePk;
}

void IOSKikDb::insertExtraRow(const QString &entity, int opt, const QString &ownerTable, const char *ownerColumn, qint64 ownerPk)
{
    Sqlite3Row extra;
    extra.setVal(QStringLiteral("Z_ENT"), entityNumber(entity));
    extra.setVal(QStringLiteral("Z_OPT"), opt);
    extra.setVal(QLatin1String(ownerColumn), ownerPk);
    executeThrow(extra.insertSql(ownerTable + QStringLiteral("EXTRA")));
    executeThrow(QStringLiteral("update %1 set ZEXTRA=%2 where Z_PK=%3").arg(ownerTable).arg(lastInsertId()).arg(ownerPk));
}

void IOSKikDb::linkChatMessage(qint64 chatPk, qint64 messagePk)
{
    open();
    executeThrow(Sqlite3Sql(QStringLiteral("replace into ") + m_chatMessages.table + QLatin1Char('(') + m_chatMessages.first
                            + QLatin1Char(',') + m_chatMessages.second + QStringLiteral(") values(?,?)"))
                     .addInt64Param(chatPk)
                     .addInt64Param(messagePk));
}

bool IOSKikDb::mergeMessage(const KikMessage *message, const QString &mirrorFolder, const SideFileHandler &deliver)
{
    if (!message || !message->chat || !message->chat->user)
        return false;
    open();
    const KikChat *chat = message->chat;
    qint64 userPk = findUserPk(chat->user);
    if (userPk == 0)
        userPk = insertUser(chat->user);
    qint64 chatPk = findChatByUser(userPk, chat, true);
    if (chatPk == 0)
        chatPk = insertChat(chat, userPk);
    qint64 messagePk = message->uid.isEmpty() ? findMessageWithoutUidPk(chatPk, message) : findMessagePk(message->uid);
    if (messagePk == 0) {
        messagePk = insertMessage(message);
        if (message->uid.isEmpty())
            m_matchedWithoutUid.insert(messagePk);
    }
    linkChatMessage(chatPk, messagePk);
    if (!message->attachment.isEmpty() && !message->content_id.isEmpty())
        writeSideFiles(message, mirrorFolder, deliver);
    return true;
}

void IOSKikDb::writeSideFiles(const KikMessage *message, const QString &mirrorFolder, const SideFileHandler &deliver)
{
    const QString &contentId = message->content_id;
    if (!isPlainFileName(contentId)) {
        qDebug("IOSKikDb: content id %s is not a plain file name; no attachment files written", qUtf8Printable(contentId));
        return;
    }
    const QString folder = QDir(mirrorFolder).absolutePath();
    const auto handOver = [&deliver](const QString &local, const QString &containerPath) {
        if (deliver)
            deliver(local, containerPath);
    };

    const QString description = folder + AttachmentsPath + contentId;
    if (!isNonEmptyFile(description))
        writeSideFileThrow(description, buildContentDictionary(message).toPlistData(CFType::BinaryFormat));
    handOver(description, AttachmentsPath + contentId);

    if (!isNonEmptyFile(message->content_path))
        return;
    handOver(message->content_path, DataCachePath + contentId);
    const QString metadata = folder + MetadataCachePath + contentId;
    if (!isNonEmptyFile(metadata)) {
        const CFType archive = metadataArchive(contentId, message->app_id, attachmentFileUrl(message));
        if (archive.isNull())
            failWith(QStringLiteral("The metadata template of attachments is missing."));
        writeSideFileThrow(metadata, archive.toPlistData(CFType::BinaryFormat));
    }
    handOver(metadata, MetadataCachePath + contentId);
}

void IOSKikDb::consolidate()
{
    IOSKikConsolidation(*this).run();
}

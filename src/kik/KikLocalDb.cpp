#include "kik/KikLocalDb.h"

#include "app/AppError.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3ReadOnly.h"
#include "db/Sqlite3Row.h"
#include "db/Sqlite3Statement.h"
#include "db/TinyKv.h"
#include "kik/KikFileNames.h"
#include "kik/KikLocalBulkLoad.h"
#include "kik/KikMessageRow.h"
#include "kik/KikRecordMap.h"
#include "kik/KikStringPool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cerrno>
#include <unistd.h>

#include <stdexcept>

namespace {

// Records hold local time, as the Apple time conversion of the rules gives it: views show
// times as they are.
QDateTime fromMSecs(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs);
}

qint64 toMSecs(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

// Runs fn inside one transaction; on any error the transaction is rolled back.
template <typename Fn>
void runInTransaction(Sqlite3DB &db, Fn fn)
{
    db.beginTran();
    try {
        fn();
        db.commitTran();
    } catch (...) {
        db.rollbackTran();
        throw;
    }
}

// A picture file named by an attachment value, inside the thumbs folder.
QString thumbPath(const QString &thumbs, const QVariantHash &attachment, const QString &key, KikStringPool &pool)
{
    const QString name = attachment.value(key).toString();
    if (name.isEmpty())
        return QString();
    const QString path = fileInFolder(thumbs, name);
    if (path.isEmpty())
        qDebug("KikLocalDb: picture name %s is not a plain file name; ignored", qUtf8Printable(name));
    return pool.intern(path);
}

// A database is begun under a temporary name and linked into place whole: once it exists, the
// files other runs began (runs that died, or lost the race) are of no use to anyone. One still
// working finds the database there when it would link its own, and opens it.
void removeUnfinishedCreations(const QString &path)
{
    const QFileInfo database(path);
    const QDir folder = database.absoluteDir();
    for (const QString &name : folder.entryList({database.fileName() + QStringLiteral(".new-*")}, QDir::Files | QDir::Hidden))
        QFile::remove(folder.filePath(name));
}

}

KikLocalDb::KikLocalDb(const QString &folder)
    : m_folder(QDir(folder).absolutePath())
    , m_thumbsFolder(m_folder + QStringLiteral("/thumbs"))
    , m_profFolder(m_folder + QStringLiteral("/prof"))
    , m_filesFolder(m_folder + QStringLiteral("/files"))
    , m_findUser(*this, "select _id from kik_user where jid=?")
    , m_findMessage(*this, "select _id from kik_message where uid=?")
    , m_findMessages(*this, "select _id from kik_message where uid=? order by _id limit 2")
    // Through the chat's memberships by time: the index on (chat_id, ts) finds the few candidates.
    , m_findMessageByContent(*this, "select m._id from kik_chat_messages c join kik_message m on m._id = c.message_id "
                                    "where c.chat_id=?1 and c.ts=?2 and m.ts=?2 and m.was_me=?3 "
                                    "and ifnull(m.target_user, 0)=?4 and ifnull(m.uid, '')=?5 and ifnull(m.body, '')=?6 "
                                    "and ifnull(m.content_id, '')=?7 order by m._id limit 1 offset ?8")
    , m_insertMessage(*this,
                      QByteArray("insert into kik_message(") + KikMessageRow::Columns + ") values(?,?,?,?,?,?,?,?,?,?,?,?)")
    // A message already in the chat keeps its row: the primary key makes this insert a no-op.
    , m_addChatMessage(*this, "insert or ignore into kik_chat_messages(chat_id, message_id, ts) values(?,?,?)")
{
}

KikLocalDb::~KikLocalDb()
{
    close();   // before the copy it may read goes away
}

QString KikLocalDb::databasePath() const
{
    return m_folder + QLatin1Char('/') + QLatin1String(DatabaseFileName);
}

void KikLocalDb::open()
{
    if (isOpen())
        return;
    m_bulkLoad.reset();   // it belonged to the connection closed since
    if (m_readOnly) {
        if (!QFileInfo(databasePath()).isFile())
            failWith(QStringLiteral("There is no local database in %1.").arg(QDir::toNativeSeparators(m_folder)));
        // Another run may be writing it: read it as SQLite shares it, waiting for a commit.
        // An immutable open would read a commit half done.
        try {
            openThrow(databasePath(), ReadOnly);
        } catch (const std::runtime_error &) {
            // A run that died mid-commit left a journal only a writer may roll back; a copy
            // is rolled back instead, leaving the database for the next writer.
            if (!QFileInfo::exists(databasePath() + QStringLiteral("-journal")))
                throw;
            m_readCopy = openReadOnlyThrow(*this, databasePath(), privateTemporaryFolderThrow);
        }
        return;
    }
    for (const QString &folder : {m_thumbsFolder, m_profFolder, m_filesFolder})
        makeFolderThrow(folder);
    const QString path = databasePath();
    if (!QFileInfo::exists(path)) {
        createThrow(path);
        removeUnfinishedCreations(path);
        return;
    }
    removeUnfinishedCreations(path);
    openThrow(path, ReadWrite);
    // A database file without tables (left by a creation cut short in an earlier version) gets
    // its schema now instead of failing on every query. Checked again inside the transaction:
    // another writer may be giving it one.
    if (hasNoTablesThrow()) {
        const QByteArray script = readSchemaThrow();
        runInTransaction(*this, [&] {
            if (hasNoTablesThrow())
                execScriptThrow(script);
        });
    }
}

bool KikLocalDb::hasNoTablesThrow()
{
    Sqlite3Cursor tables = queryThrow("select count(*) from sqlite_master");
    return tables.moveNext() && tables.getInt64(0) == 0;
}

QByteArray KikLocalDb::readSchemaThrow()
{
    QFile resource(QString::fromLatin1(SchemaResource));
    if (!resource.open(QIODevice::ReadOnly))
        failWith(resource.errorString());
    return resource.readAll();
}

// All of the schema or none of it.
void KikLocalDb::runSchemaThrow(const QByteArray &script)
{
    runInTransaction(*this, [&] { execScriptThrow(script); });
}

// The database is made under a temporary name and put in place only whole, and never over a
// file another writer put there meanwhile: it is linked to its name, which fails when the name
// is taken. Whatever goes wrong, only the temporary file is removed.
void KikLocalDb::createThrow(const QString &path)
{
    const QByteArray script = readSchemaThrow();
    QTemporaryFile made(path + QStringLiteral(".new-XXXXXX"));
    if (!made.open())
        failWith(
            QStringLiteral("Can not create the local database %1: %2").arg(QDir::toNativeSeparators(path), made.errorString()));
    made.close();
    try {
        openThrow(made.fileName(), ReadWrite);
        runSchemaThrow(script);
    } catch (...) {
        close();
        throw;
    }
    close();
    const QByteArray from = QFile::encodeName(made.fileName());
    const QByteArray to = QFile::encodeName(path);
    const int linked = ::link(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (linked == 0) {
        m_createdDatabase = true;
    } else if (linked != EEXIST && QFile::rename(made.fileName(), path)) {
        // A file system without links: Qt's rename does not replace either.
        m_createdDatabase = true;
        made.setAutoRemove(false);
    } else if (!QFileInfo::exists(path)) {
        failWith(QStringLiteral("Can not create the local database %1: %2")
                     .arg(QDir::toNativeSeparators(path), systemErrorReason(linked, QFileInfo(path).absolutePath())));
    }
    openThrow(path, ReadWrite);
}

qint64 KikLocalDb::findUserByJid(const KikUser *user)
{
    open();
    if (!user)
        return 0;
    m_findUser.startThrow().bindTextThrow(1, user->jid);
    return m_findUser.int64Throw();
}

qint64 KikLocalDb::insertUser(const KikUser *user)
{
    open();
    Sqlite3Row row;
    row.setVal(QStringLiteral("display_name"), user->display_name);
    row.setVal(QStringLiteral("jid"), user->jid);
    if (!user->photo_url.isEmpty())
        row.setVal(QStringLiteral("photo_url"), user->photo_url);
    if (user->photo_ts.isValid())
        row.setVal(QStringLiteral("photo_ts"), user->photo_ts.toMSecsSinceEpoch());
    row.setVal(QStringLiteral("user_name"), user->user_name);
    if (user->is_group) {
        row.setVal(QStringLiteral("is_group"), 1);
        row.setVal(QStringLiteral("group_tab"), user->group_tab);
        row.setVal(QStringLiteral("is_group_admin"), user->is_group_admin ? 1 : 0);
    }
    if (!user->other.isEmpty())
        row.setVal(QStringLiteral("other"), user->other);
    executeThrow(row.insertSql(QStringLiteral("kik_user")));
    return lastInsertId();
}

qint64 KikLocalDb::findChatByUserId(qint64 userId)
{
    open();
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("select _id from kik_chat where user_id=%1").arg(userId));
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

qint64 KikLocalDb::insertChat(qint64 userId, const KikChat *chat)
{
    open();
    Sqlite3Row row;
    row.setVal(QStringLiteral("user_id"), userId);
    if (chat && !chat->other.isEmpty())
        row.setVal(QStringLiteral("other"), chat->other);
    executeThrow(row.insertSql(QStringLiteral("kik_chat")));
    return lastInsertId();
}

void KikLocalDb::saveMember(qint64 groupId, const KikMember &member)
{
    open();
    if (!member.user)
        return;
    qint64 memberId = findUserByJid(member.user);
    if (memberId == 0)
        memberId = insertUser(member.user);
    executeThrow(QStringLiteral("replace into kik_user_members(user_id, member_id, is_admin, is_banned) "
                                "values(%1, %2, %3, %4)")
                     .arg(groupId)
                     .arg(memberId)
                     .arg(member.is_admin ? 1 : 0)
                     .arg(member.is_banned ? 1 : 0));
}

qint64 KikLocalDb::findMessageByUid(const QString &uid)
{
    open();
    writeHeldRowsThrow();
    m_findMessage.startThrow().bindTextThrow(1, uid);
    return m_findMessage.int64Throw();
}

QList<qint64> KikLocalDb::findMessagesByUid(const QString &uid)
{
    open();
    writeHeldRowsThrow();
    Sqlite3Statement &find = m_findMessages.startThrow();
    find.bindTextThrow(1, uid);
    QList<qint64> ids;
    while (find.stepThrow())
        ids.append(find.int64At(0));
    return ids;
}

qint64 KikLocalDb::findMessageByContent(qint64 chatId, const KikMessage *message, qint64 targetUserId, qint64 ts,
                                        qint64 occurrence)
{
    open();
    writeHeldRowsThrow();
    Sqlite3Statement &find = m_findMessageByContent.startThrow();
    find.bindInt64Throw(1, chatId);
    find.bindInt64Throw(2, ts);
    find.bindInt64Throw(3, message->was_me ? 1 : 0);
    find.bindInt64Throw(4, targetUserId);
    find.bindTextThrow(5, message->uid);
    find.bindTextThrow(6, message->body);
    find.bindTextThrow(7, message->content_id);
    find.bindInt64Throw(8, occurrence);
    return m_findMessageByContent.int64Throw();
}

qint64 KikLocalDb::insertMessage(const KikMessage *message)
{
    open();
    qint64 targetUser = 0;
    if (message->target_user) {
        targetUser = findUserByJid(message->target_user);
        if (targetUser == 0)
            targetUser = insertUser(message->target_user);
    }
    return insertMessage(message, targetUser, toMSecs(message->ts));
}

qint64 KikLocalDb::insertMessage(const KikMessage *message, qint64 targetUserId, qint64 ts)
{
    open();
    if (KikLocalBulkLoad *bulkLoad = activeBulkLoad())
        return bulkLoad->insertMessage(message, targetUserId, ts);
    KikMessageRow::bindThrow(m_insertMessage.startThrow(), 1, message, targetUserId, ts);
    m_insertMessage.runThrow();
    return lastInsertId();
}

void KikLocalDb::addChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts)
{
    addChatMessage(chatId, messageId, toMSecs(ts));
}

void KikLocalDb::addChatMessage(qint64 chatId, qint64 messageId, qint64 ts)
{
    open();
    if (KikLocalBulkLoad *bulkLoad = activeBulkLoad()) {
        bulkLoad->addChatMessage(chatId, messageId, ts);
        return;
    }
    Sqlite3Statement &insert = m_addChatMessage.startThrow();
    insert.bindInt64Throw(1, chatId);
    insert.bindInt64Throw(2, messageId);
    insert.bindInt64Throw(3, ts);
    m_addChatMessage.runThrow();
}

void KikLocalDb::updateLastTs()
{
    open();
    writeHeldRowsThrow();
    executeThrow("update kik_chat set last_ts=(select max(ts) from kik_chat_messages "
                 "where kik_chat_messages.chat_id=kik_chat._id)");
}

bool KikLocalDb::beginBulkLoad()
{
    open();
    if (!activeBulkLoad())
        m_bulkLoad = KikLocalBulkLoad::beginThrow(*this, readSchemaThrow());
    return m_bulkLoad != nullptr;
}

void KikLocalDb::endBulkLoad()
{
    open();
    // On failure the load stays, still refusing a commit, until the caller rolls back.
    if (KikLocalBulkLoad *bulkLoad = activeBulkLoad()) {
        bulkLoad->endThrow();
        m_bulkLoad.reset();
    }
}

KikLocalBulkLoad *KikLocalDb::activeBulkLoad()
{
    if (m_bulkLoad && m_bulkLoad->isRolledBack())
        m_bulkLoad.reset();
    return m_bulkLoad.get();
}

void KikLocalDb::writeHeldRowsThrow()
{
    if (KikLocalBulkLoad *bulkLoad = activeBulkLoad())
        bulkLoad->flushThrow();
}

void KikLocalDb::deleteChat(qint64 chatId)
{
    open();
    writeHeldRowsThrow();
    runInTransaction(*this, [&] {
        executeThrow(QStringLiteral("delete from kik_chat where _id=%1").arg(chatId));
        executeThrow(QStringLiteral("delete from kik_chat_messages where chat_id=%1").arg(chatId));
        executeThrow("delete from kik_message where (select 1 from kik_chat_messages "
                     "where message_id=kik_message._id limit 1) is null");
    });
}

void KikLocalDb::deleteMessages(const QList<qint64> &messageIds)
{
    open();
    writeHeldRowsThrow();
    runInTransaction(*this, [&] {
        for (const qint64 id : messageIds)
            executeThrow(Sqlite3Sql("delete from kik_message where _id=?").addInt64Param(id));
        executeThrow("delete from kik_chat_messages where (select 1 from kik_message "
                     "where _id=kik_chat_messages.message_id limit 1) is null");
        executeThrow("delete from kik_chat where (select 1 from kik_chat_messages "
                     "where chat_id=kik_chat._id limit 1) is null");
        updateLastTs();
    });
}

bool KikLocalDb::load(const KikDataSetPtr &dataSet)
{
    open();
    writeHeldRowsThrow();
    // One snapshot: a run committing meanwhile is seen whole or not at all.
    const bool snapshot = !inTransaction();
    if (snapshot)
        execScriptThrow("BEGIN DEFERRED");
    try {
        loadUsers(*dataSet);
        loadMembers(*dataSet);
        loadChats(*dataSet);
        loadMessages(*dataSet);
        loadChatMessages(*dataSet);
    } catch (...) {
        if (snapshot)
            rollbackTran();
        throw;
    }
    if (snapshot)
        rollbackTran();
    return true;
}

void KikLocalDb::loadUsers(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow("select * from kik_user");
    const int id = cursor.columnIndex("_id"), displayName = cursor.columnIndex("display_name"), jid = cursor.columnIndex("jid"),
              photoUrl = cursor.columnIndex("photo_url"), photoTs = cursor.columnIndex("photo_ts"),
              userName = cursor.columnIndex("user_name"), isGroup = cursor.columnIndex("is_group"),
              groupTab = cursor.columnIndex("group_tab"), isGroupAdmin = cursor.columnIndex("is_group_admin"),
              other = cursor.columnIndex("other");
    while (cursor.moveNext()) {
        auto *user = new KikUser;
        user->id = cursor.getInt64(id);
        user->display_name = cursor.getText(displayName);
        user->jid = cursor.getText(jid);
        user->photo_url = cursor.getText(photoUrl);
        user->user_name = cursor.getText(userName);
        user->group_tab = cursor.getText(groupTab);
        user->photo_ts = fromMSecs(cursor.getInt64(photoTs));
        user->is_group = cursor.getInt64(isGroup) != 0;
        user->is_group_admin = cursor.getInt64(isGroupAdmin) != 0;
        user->other = cursor.getBlob(other);
        user->photo_path = fileInFolder(m_profFolder, sanitizeFileName(user->jid));
        putRecord(dataSet.users, user->id, user);
    }
}

void KikLocalDb::loadMembers(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow("select * from kik_user_members");
    const int userId = cursor.columnIndex("user_id"), memberId = cursor.columnIndex("member_id"),
              isAdmin = cursor.columnIndex("is_admin"), isBanned = cursor.columnIndex("is_banned");
    while (cursor.moveNext()) {
        KikUser *group = dataSet.users.value(cursor.getInt64(userId));
        if (!group)
            continue;
        KikMember member;
        member.user = dataSet.users.value(cursor.getInt64(memberId));
        member.is_admin = cursor.getInt64(isAdmin) != 0;
        member.is_banned = cursor.getInt64(isBanned) != 0;
        group->members.append(member);
    }
}

void KikLocalDb::loadChats(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow("select * from kik_chat");
    const int id = cursor.columnIndex("_id"), lastTs = cursor.columnIndex("last_ts"), userId = cursor.columnIndex("user_id"),
              other = cursor.columnIndex("other");
    while (cursor.moveNext()) {
        auto *chat = new KikChat;
        chat->id = cursor.getInt64(id);
        chat->user = dataSet.users.value(cursor.getInt64(userId));
        if (!cursor.isNull(lastTs))   // NULL: the chat has no messages (yet)
            chat->last_ts = fromMSecs(cursor.getInt64(lastTs));
        chat->other = cursor.getBlob(other);
        putRecord(dataSet.chats, chat->id, chat);
    }
}

void KikLocalDb::loadMessages(KikDataSet &dataSet)
{
    KikStringPool pool;
    Sqlite3Cursor cursor = queryThrow("select * from kik_message");
    const int id = cursor.columnIndex("_id"), ts = cursor.columnIndex("ts"), recTs = cursor.columnIndex("rec_ts"),
              targetUser = cursor.columnIndex("target_user"), uid = cursor.columnIndex("uid"),
              wasMe = cursor.columnIndex("was_me"), body = cursor.columnIndex("body"),
              contentId = cursor.columnIndex("content_id"), appId = cursor.columnIndex("app_id"),
              subAppId = cursor.columnIndex("sub_app_id"), renderIns = cursor.columnIndex("render_ins"),
              attachment = cursor.columnIndex("attachment"), other = cursor.columnIndex("other");
    while (cursor.moveNext()) {
        auto *message = new KikMessage;
        message->id = cursor.getInt64(id);
        message->internal_id = message->id;
        message->ts = fromMSecs(cursor.getInt64(ts));
        if (!cursor.isNull(recTs))   // stored only when it was set
            message->rec_ts = fromMSecs(cursor.getInt64(recTs));
        const qint64 targetId = cursor.getInt64(targetUser);
        if (targetId > 0)
            message->target_user = dataSet.users.value(targetId);
        message->uid = cursor.getText(uid);
        message->was_me = cursor.getInt64(wasMe) != 0;
        message->body = cursor.getText(body);
        message->content_id = cursor.getText(contentId);
        if (message->content_id == message->body)   // Kik keeps the content id as the body
            message->content_id = message->body;
        message->app_id = pool.intern(cursor.getText(appId));
        message->sub_app_id = pool.intern(cursor.getText(subAppId));
        message->render_ins = cursor.getBlob(renderIns);
        const QByteArray blob = cursor.getBlob(attachment);
        if (!blob.isEmpty()) {
            message->attachment = fromTinyKv(blob);
            message->preview_path = thumbPath(m_thumbsFolder, message->attachment, QStringLiteral("image:preview"), pool);
            message->icon_path = thumbPath(m_thumbsFolder, message->attachment, QStringLiteral("image:icon"), pool);
            message->png_preview_path = thumbPath(m_thumbsFolder, message->attachment, QStringLiteral("image:png-preview"), pool);
            if (!message->content_id.isEmpty())
                message->content_path = fileInFolder(m_filesFolder, message->content_id);
        }
        message->other = cursor.getBlob(other);
        putRecord(dataSet.messages, message->id, message);
    }
}

void KikLocalDb::loadChatMessages(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow("select * from kik_chat_messages");
    const int chatId = cursor.columnIndex("chat_id"), messageId = cursor.columnIndex("message_id");
    while (cursor.moveNext()) {
        KikMessage *message = dataSet.messages.value(cursor.getInt64(messageId));
        KikChat *chat = dataSet.chats.value(cursor.getInt64(chatId));
        if (!message || !chat)
            continue;
        chat->messages.append(message);
        message->chat = chat;
    }
}

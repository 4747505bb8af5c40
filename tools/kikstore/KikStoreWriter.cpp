#include "kikstore/KikStoreWriter.h"

#include "kikstore/KikStoreSchema.h"
#include "plist/CFType.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

// 2014-01-01 00:00:00 UTC in Apple reference seconds.
constexpr double FirstMessageTime = 410227200.0;

const char *const StatusLines[] = {"You started a group", "You have changed the group photo", "%1 has joined the chat",
                                   "%1 has left the chat"};

// Kik keeps an upper-case ASCII form of the name for searching; other characters become "?".
QString asciiSearchName(const QString &name)
{
    QString out;
    for (const char32_t c : name.toUcs4())
        out += c < 0x80 ? QChar(char16_t(c)).toUpper() : QLatin1Char('?');
    return out;
}

}

KikStoreWriter::KikStoreWriter(const KikStoreOptions &options, const QString &rootFolder)
    : m_options(options)
    , m_random(options.seed)
    , m_text(m_random)
{
    m_out.rootFolder = QDir(rootFolder).absolutePath();
    m_out.storePath = m_out.rootFolder + QStringLiteral("/Documents/kik.sqlite");
    const int chat = entity("KikChat"), message = entity("KikMessage"), user = entity("KikUser");
    m_membersInsert = QStringLiteral("insert into Z_%1MEMBERS(Z_%1MEMBERSINVERSE,Z_%1MEMBERS) values(?,?)").arg(user);
    m_adminsInsert = QStringLiteral("insert into Z_%1ADMINSINVERSE(Z_%1ADMINS,Z_%1ADMINSINVERSE) values(?,?)").arg(user);
    m_bansInsert = QStringLiteral("insert into Z_%1BANSINVERSE(Z_%1BANS,Z_%1BANSINVERSE) values(?,?)").arg(user);
    m_membersQuery = QStringLiteral("select Z_%1MEMBERS from Z_%1MEMBERS where Z_%1MEMBERSINVERSE=?").arg(user);
    m_chatMessagesInsert = QStringLiteral("insert into Z_%1MESSAGES(Z_%1CHAT,Z_%2MESSAGES) values(?,?)")
                               .arg(QString::number(chat), QString::number(message));
}

int KikStoreWriter::entity(const char *name) const
{
    return kikStoreEntity(m_options.layout, name);
}

GeneratedKikStore KikStoreWriter::run()
{
    try {
        createStore();
        if (m_options.sideFiles)
            m_attachments = std::make_unique<KikFakeAttachment>(m_text, m_out.rootFolder);
        m_db.beginTran();
        writeUsers();
        writeGroupRelations();
        writeChats();
        writeMessages();
        if (m_options.layout == KikStoreLayout::New)
            writeNewerEntities();
        finishChats();
        writeBookkeeping();
        createSchema(true);
        m_db.commitTran();
        // As on the phone: the store keeps its write-ahead log mode.
        m_db.execScriptThrow("PRAGMA journal_mode=WAL");
        m_db.close();
    } catch (...) {
        m_db.close();
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(m_out.storePath + QLatin1String(suffix));
        throw;
    }
    return m_out;
}

void KikStoreWriter::createStore()
{
    if (!QDir().mkpath(m_out.rootFolder + QStringLiteral("/Documents/profpix")))
        throw std::runtime_error(QStringLiteral("Can not create %1").arg(m_out.rootFolder).toStdString());
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(m_out.storePath + QLatin1String(suffix));
    m_db.openThrow(m_out.storePath, Sqlite3DB::ReadWriteCreate);
    // Kik's stores use incremental vacuum, which has to be chosen before the first table.
    m_db.execScriptThrow("PRAGMA auto_vacuum=2; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                         "PRAGMA cache_size=-1048576;");
    createSchema(false);
}

// Indexes are built once the rows are in: sorting them in is many times faster than keeping
// them up to date row by row. The store then lists its indexes after its tables.
void KikStoreWriter::createSchema(bool indexes)
{
    for (const QString &statement : kikStoreSchema(m_options.layout)) {
        if (statement.startsWith(QLatin1String("CREATE INDEX")) == indexes)
            m_db.execScriptThrow(statement.toUtf8());
    }
}

void KikStoreWriter::writeUsers()
{
    const qint64 owner = writeUser(m_text.contactJid(m_options.ownerUserName),
                                   m_text.firstName() + QLatin1Char(' ') + m_text.lastName(), m_options.ownerUserName, false);
    m_db.executeThrow(Sqlite3Sql("update ZKIKUSER set ZFLAGS=258 where Z_PK=?").addInt64Param(owner));
    for (int i = 0; i < m_options.contacts; ++i) {
        const QString userName = m_text.userName(i);
        QString displayName = m_text.firstName() + QLatin1Char(' ') + m_text.lastName();
        if (m_text.chance(0.1))
            displayName += QLatin1Char(' ') + m_text.emoji();
        const QString jid = m_text.contactJid(userName);
        m_contactPks.append(writeUser(jid, displayName, userName, false));
        m_out.contactJids.append(jid);
    }
    for (int i = 0; i < m_options.groups; ++i) {
        const QString jid = m_text.groupJid(i);
        // Some groups have no name; they are shown by their members' names.
        const QString name = m_text.chance(0.8) ? m_text.body(m_text.chance(0.3)).left(30) : QString();
        m_groupPks.append(writeUser(jid, name, QString(), true));
        m_out.groupJids.append(jid);
    }
    m_out.groups = int(m_groupPks.size());
}

qint64 KikStoreWriter::writeUser(const QString &jid, const QString &displayName, const QString &userName, bool group)
{
    const qint64 pk = ++m_out.users;
    const qint64 extraPk = ++m_userExtraPk;
    const int flags = group ? 9 : (m_text.chance(0.5) ? 257 : 256);
    const bool picture = m_text.chance(m_options.profilePictureShare);
    Sqlite3Sql user("insert into ZKIKUSER(Z_PK,Z_ENT,Z_OPT,ZADDRESSBOOKID,ZFLAGS,ZINTERNALID,ZPRESENCE,ZTYPE,ZEXTRA,"
                    "ZDISPLAYNAME,ZDISPLAYNAMEASCII,ZFIRSTNAME,ZLASTNAME,ZGROUPTAG,ZJID,ZPPTIMESTAMP,ZPPURL,ZUSERNAME) "
                    "values(?,?,?,0,?,0,1,1,?,?,?,?,?,?,?,?,?,?)");
    user.addInt64Param(pk)
        .addIntParam(entity("KikUser"))
        .addIntParam(1 + m_text.below(30))
        .addIntParam(flags)
        .addInt64Param(extraPk);
    user.addTextParam(displayName).addTextParam(asciiSearchName(displayName));
    user.addTextParam(displayName.section(QLatin1Char(' '), 0, 0)).addTextParam(displayName.section(QLatin1Char(' '), 1));
    if (group && m_text.chance(0.5))
        user.addTextParam(QStringLiteral("#") + m_text.userName(int(pk)));
    else
        user.addNullParam();
    user.addTextParam(jid);
    if (picture) {
        // Kik keeps this time in milliseconds since 1970, as text.
        user.addTextParam(QString::number(1300000000000LL + qint64(m_random.bounded(140000000)) * 1000));
        user.addTextParam(QStringLiteral("http://profilepics.cf.kik.com/") + m_text.uuid().remove(u'-').left(27));
    } else {
        user.addNullParam().addNullParam();
    }
    if (userName.isEmpty())
        user.addNullParam();
    else
        user.addTextParam(userName);
    m_db.executeThrow(user);
    m_db.executeThrow(Sqlite3Sql("insert into ZKIKUSEREXTRA(Z_PK,Z_ENT,Z_OPT,ZLOCALFLAGS,ZUSER) values(?,?,?,?,?)")
                          .addInt64Param(extraPk)
                          .addIntParam(entity("KikUserExtra"))
                          .addIntParam(1 + m_text.below(10))
                          .addIntParam(flags)
                          .addInt64Param(pk));
    if (m_options.layout == KikStoreLayout::New) {
        // Newer versions keep the user's profile and roster entry as protocol buffers.
        m_db.executeThrow(Sqlite3Sql("update ZKIKUSEREXTRA set ZENTITYUSERDATA=?, ZROSTERENTRYDATA=? where Z_PK=?")
                              .addBlobParam(protoBlob(jid))
                              .addBlobParam(protoBlob(displayName))
                              .addInt64Param(extraPk));
    }
    if (picture && m_options.sideFiles)
        writeProfilePicture(jid);
    return pk;
}

void KikStoreWriter::writeProfilePicture(const QString &jid)
{
    const QString prefix = m_text.chance(0.6) ? QStringLiteral("orig_") : QStringLiteral("thumb_");
    QFile file(m_out.rootFolder + QStringLiteral("/Documents/profpix/") + prefix + jid);
    const QByteArray bytes = QCryptographicHash::hash(jid.toUtf8(), QCryptographicHash::Sha256).repeated(8);
    if (!file.open(QIODevice::WriteOnly) || file.write("\xFF\xD8\xFF\xE0" + bytes) != bytes.size() + 4)
        throw std::runtime_error(QStringLiteral("Can not write %1").arg(file.fileName()).toStdString());
}

void KikStoreWriter::writeGroupRelations()
{
    const qint64 contacts = m_contactPks.size();
    for (const qint64 group : std::as_const(m_groupPks)) {
        QList<qint64> pool = m_contactPks;
        for (qint64 i = pool.size() - 1; i > 0; --i)
            pool.swapItemsAt(i, m_text.below(int(i + 1)));
        const qint64 members = qMin<qint64>(m_options.membersPerGroup, contacts);
        for (qint64 i = 0; i < members; ++i)
            insertPair(m_membersInsert, group, pool.at(i));
        // The owner administers the groups it started; further admins are members.
        for (qint64 i = 0; i < m_options.adminsPerGroup; ++i) {
            const qint64 admin = i == 0 ? m_out.ownerPk : (i - 1 < members ? pool.at(i - 1) : 0);
            if (admin > 0)
                insertPair(m_adminsInsert, admin, group);
        }
        for (qint64 i = 0; i < m_options.bansPerGroup && members + i < contacts; ++i)
            insertPair(m_bansInsert, pool.at(members + i), group);
    }
}

void KikStoreWriter::writeChats()
{
    const auto addChat = [this](qint64 userPk, bool group) {
        Chat chat;
        chat.pk = ++m_out.chats;
        chat.extraPk = chat.pk;
        chat.userPk = userPk;
        chat.group = group;
        chat.remaining = qMax(0, m_options.messagesPerChat);
        if (group) {
            Sqlite3Cursor members = m_db.queryThrow(Sqlite3Sql(m_membersQuery).addInt64Param(userPk));
            while (members.moveNext())
                chat.members.append(members.getInt64(0));
        }
        m_db.executeThrow(Sqlite3Sql("insert into ZKIKCHAT(Z_PK,Z_ENT,Z_OPT,ZFLAGS,ZEXTRA,ZUSER) values(?,?,?,?,?,?)")
                              .addInt64Param(chat.pk)
                              .addIntParam(entity("KikChat"))
                              .addIntParam(2 + m_text.below(100))
                              .addIntParam(group ? 19 : 18)
                              .addInt64Param(chat.extraPk)
                              .addInt64Param(userPk));
        m_db.executeThrow(Sqlite3Sql("insert into ZKIKCHATEXTRA(Z_PK,Z_ENT,Z_OPT,ZCHAT) values(?,?,?,?)")
                              .addInt64Param(chat.extraPk)
                              .addIntParam(entity("KikChatExtra"))
                              .addIntParam(2 + m_text.below(100))
                              .addInt64Param(chat.pk));
        m_db.executeThrow(
            Sqlite3Sql("update ZKIKUSER set ZCHATUSER=? where Z_PK=?").addInt64Param(chat.pk).addInt64Param(userPk));
        m_chats.append(chat);
    };
    for (int i = 0; i < qMin(m_options.chats, int(m_contactPks.size())); ++i)
        addChat(m_contactPks.at(i), false);
    for (const qint64 group : std::as_const(m_groupPks))
        addChat(group, true);
}

void KikStoreWriter::writeMessages()
{
    QList<int> active;
    for (int i = 0; i < m_chats.size(); ++i) {
        if (m_chats.at(i).remaining > 0)
            active.append(i);
    }
    double timestamp = FirstMessageTime;
    while (!active.isEmpty()) {
        const int slot = m_text.below(int(active.size()));
        Chat &chat = m_chats[active.at(slot)];
        timestamp += 1 + m_text.below(240) + m_text.below(1000) / 1000.0;
        writeMessage(chat, timestamp);
        if (--chat.remaining == 0) {
            active.swapItemsAt(slot, active.size() - 1);
            active.removeLast();
        }
    }
}

void KikStoreWriter::writeMessage(Chat &chat, double timestamp)
{
    const qint64 pk = ++m_messagePk;
    const QString uid = m_text.uuid();
    int type = 1;
    int state = 16;
    int systemState = 12;
    qint64 user = chat.userPk;
    double sent = timestamp;
    QString body;
    QString contentId;
    QByteArray renderIns;

    if (chat.group && m_text.chance(m_options.statusLineShare)) {
        type = m_text.chance(0.5) ? 3 : 4;
        state = 0;
        systemState = 0;
        body = QString::fromLatin1(StatusLines[m_text.below(int(std::size(StatusLines)))])
                   .replace(QStringLiteral("%1"), m_text.firstName());
        ++m_out.statusLines;
    } else {
        const bool wasMe = m_text.chance(0.45);
        if (wasMe) {
            static const int SentStates[] = {30, 70, 78, 94};
            type = 2;
            state = SentStates[m_text.below(4)];
            systemState = 0;
        } else {
            // The sender's clock runs a little ahead of the moment the phone received it.
            sent = timestamp - m_text.below(3000) / 1000.0;
            if (chat.group && !chat.members.isEmpty())
                user = chat.members.at(m_text.below(int(chat.members.size())));
        }
        if (m_text.chance(m_options.attachmentShare)) {
            contentId = m_text.uuid();
            body = contentId;   // Kik keeps the content id as the body
        } else if (m_text.chance(m_options.renderInstructionShare)) {
            std::tie(body, renderIns) = m_text.renderedBody();
            ++m_out.renderInstructionMessages;
        } else {
            const bool emoji = m_text.chance(m_options.emojiShare);
            body = m_text.body(emoji);
            m_out.emojiMessages += emoji ? 1 : 0;
        }
        ++m_out.messages;
        if (m_options.collectUids)
            m_out.messageUids.append(uid);
    }

    Sqlite3Sql row("insert into ZKIKMESSAGE(Z_PK,Z_ENT,Z_OPT,ZFLAGS,ZINTERNALID,ZSTATE,ZSYSTEMSTATE,ZTYPE,ZUSER,"
                   "ZRECEIVEDTIMESTAMP,ZTIMESTAMP,ZBODY,ZSTANZAID,ZRENDERINSTRUCTIONSET) values(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    row.addInt64Param(pk)
        .addIntParam(entity("KikMessage"))
        .addIntParam(2 + m_text.below(5))
        .addIntParam(contentId.isEmpty() ? 0 : 4);
    row.addInt64Param(chat.nextInternalId++).addIntParam(state).addIntParam(systemState).addIntParam(type);
    row.addInt64Param(user).addDoubleParam(timestamp).addDoubleParam(sent).addTextParam(body).addTextParam(uid);
    if (renderIns.isEmpty())
        row.addNullParam();
    else
        row.addBlobParam(renderIns);
    m_db.executeThrow(row);
    insertPair(m_chatMessagesInsert, chat.pk, pk);
    if (!contentId.isEmpty())
        writeAttachment(pk, sent, contentId);
    chat.lastMessage = pk;
    chat.lastTimestamp = timestamp;
}

void KikStoreWriter::writeAttachment(qint64 messagePk, double timestamp, const QString &contentId)
{
    const qint64 pk = ++m_attachmentPk;
    m_db.executeThrow(Sqlite3Sql("insert into ZKIKATTACHMENT(Z_PK,Z_ENT,Z_OPT,ZFLAGS,ZINTERNALID,ZRETRYCOUNT,ZSTATE,"
                                 "ZTYPE,ZEXTRA,ZMESSAGE,ZTIMESTAMP,ZCONTENT) values(?,?,1,4,0,0,0,6,?,?,?,?)")
                          .addInt64Param(pk)
                          .addIntParam(entity("KikAttachment"))
                          .addInt64Param(pk)
                          .addInt64Param(messagePk)
                          .addDoubleParam(timestamp)
                          .addTextParam(contentId));
    m_db.executeThrow(Sqlite3Sql("insert into ZKIKATTACHMENTEXTRA(Z_PK,Z_ENT,Z_OPT,ZATTACHMENT) values(?,?,1,?)")
                          .addInt64Param(pk)
                          .addIntParam(entity("KikAttachmentExtra"))
                          .addInt64Param(pk));
    ++m_out.attachments;
    m_out.contentIds.append(contentId);
    if (!m_attachments) {
        m_out.contentAppIds.append(QString());
        return;
    }
    const KikFakeAttachment::Written written = m_options.layout == KikStoreLayout::New
                                                   ? m_attachments->writeToday(contentId)
                                                   : m_attachments->write(contentId, m_attachments->pickKind());
    m_out.contentAppIds.append(written.appId);
    if (!written.description)
        m_out.contentIdsWithoutDescription.append(contentId);
}

// Kik points each chat at its newest message, and that message back at the chat.
void KikStoreWriter::finishChats()
{
    for (const Chat &chat : std::as_const(m_chats)) {
        if (chat.lastMessage == 0)
            continue;
        m_db.executeThrow(Sqlite3Sql("update ZKIKMESSAGE set ZCHATEXTRA=?, ZLASTMESSAGECHAT=? where Z_PK=?")
                              .addInt64Param(chat.extraPk)
                              .addInt64Param(chat.pk)
                              .addInt64Param(chat.lastMessage));
        m_db.executeThrow(Sqlite3Sql("update ZKIKCHAT set ZLASTMESSAGE=?, ZDATEUPDATED=? where Z_PK=?")
                              .addInt64Param(chat.lastMessage)
                              .addDoubleParam(chat.lastTimestamp)
                              .addInt64Param(chat.pk));
        m_db.executeThrow(Sqlite3Sql("update ZKIKCHATEXTRA set ZLASTSEENMESSAGE=? where Z_PK=?")
                              .addInt64Param(chat.lastMessage)
                              .addInt64Param(chat.extraPk));
    }
}

// Rows of the entities only newer versions have, for a write to leave alone: reactions to
// every tenth message, links in every twentieth, a few sticker packs.
void KikStoreWriter::writeNewerEntities()
{
    for (qint64 message = 1; message <= m_messagePk; ++message) {
        if (message % 10 == 0)
            m_db.executeThrow(Sqlite3Sql("insert into ZKIKMESSAGEREACTION(Z_ENT,Z_OPT,ZMESSAGE,ZUSER,ZTIMESTAMP,ZREACTION) "
                                         "values(?,1,?,1,?,?)")
                                  .addIntParam(entity("KikMessageReaction"))
                                  .addInt64Param(message)
                                  .addDoubleParam(FirstMessageTime + double(message))
                                  .addTextParam(m_text.emoji()));
        if (message % 20 == 0)
            m_db.executeThrow(Sqlite3Sql("insert into ZKIKCONTENTLINK(Z_ENT,Z_OPT,ZMESSAGE,ZURL,ZPROTODATA) values(?,1,?,?,?)")
                                  .addIntParam(entity("KikContentLink"))
                                  .addInt64Param(message)
                                  .addTextParam(QStringLiteral("https://kik.example/l/%1").arg(message))
                                  .addBlobParam(protoBlob(QString::number(message))));
    }
    for (int pack = 0; pack < 3; ++pack)
        m_db.executeThrow(Sqlite3Sql("insert into ZKIKSTICKERPACK(Z_ENT,Z_OPT,ZIDENTIFIER,ZPACKDATA) values(?,1,?,?)")
                              .addIntParam(entity("KikStickerPack"))
                              .addTextParam(m_text.uuid())
                              .addBlobParam(protoBlob(QString::number(pack))));
}

// A made-up protocol buffer: field 1, length-delimited, holding the text.
QByteArray KikStoreWriter::protoBlob(const QString &text)
{
    const QByteArray bytes = text.toUtf8().left(120);
    return QByteArray("\x0a", 1) + char(bytes.size()) + bytes + m_text.uuid().toLatin1();
}

void KikStoreWriter::writeBookkeeping()
{
    CFType hashes = CFType::newDictionary();
    for (const KikStoreEntity &entity : kikStoreEntities(m_options.layout)) {
        const QString name = QLatin1String(entity.name);
        Sqlite3Cursor max = m_db.queryThrow(QStringLiteral("select max(Z_PK) from %1").arg(QLatin1String(entity.table)));
        m_db.executeThrow(Sqlite3Sql("insert into Z_PRIMARYKEY(Z_ENT,Z_NAME,Z_SUPER,Z_MAX) values(?,?,0,?)")
                              .addIntParam(entity.number)
                              .addTextParam(name)
                              .addInt64Param(max.moveNext() ? max.getInt64(0) : 0));
        hashes.setValue(name, CFType(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256)));
    }
    CFType identifiers = CFType::newArray();
    identifiers.append(CFType(""));
    CFType metadata = CFType::newDictionary();
    metadata.setValue(QStringLiteral("NSPersistenceFrameworkVersion"), CFType::fromInt64(519));
    metadata.setValue(QStringLiteral("NSStoreModelVersionHashes"), hashes);
    metadata.setValue(QStringLiteral("NSStoreModelVersionHashesVersion"), CFType::fromInt64(3));
    metadata.setValue(QStringLiteral("NSStoreModelVersionIdentifiers"), identifiers);
    metadata.setValue(QStringLiteral("NSStoreType"), CFType("SQLite"));
    metadata.setValue(QStringLiteral("_NSAutoVacuumLevel"), CFType("2"));
    m_db.executeThrow(Sqlite3Sql("insert into Z_METADATA(Z_VERSION,Z_UUID,Z_PLIST) values(1,?,?)")
                          .addTextParam(m_text.uuid().toUpper())
                          .addBlobParam(metadata.toPlistData(CFType::BinaryFormat)));
}

void KikStoreWriter::insertPair(const QString &statement, qint64 first, qint64 second)
{
    m_db.executeThrow(Sqlite3Sql(statement).addInt64Param(first).addInt64Param(second));
}

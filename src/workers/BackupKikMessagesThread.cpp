#include "workers/BackupKikMessagesThread.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "kik/KikChat.h"
#include "kik/KikFileNames.h"
#include "kik/KikLocalDb.h"
#include "kik/KikLocalDbLock.h"
#include "kik/KikLocalFileStaging.h"
#include "kik/KikRules.h"
#include "kik/KikUidTable.h"
#include "kik/KikUser.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <optional>

namespace {

const int kReportEvery = 256;

// Message records lie all over memory, and a pass over many of them waits on each in turn:
// the one a few places on in the list is fetched meanwhile. Inlined: as a function of its own
// the compiler sees no effect in it and drops the calls.
[[gnu::always_inline]] inline void fetchAhead(const KikMessageList &messages, qsizetype position)
{
    const qsizetype ahead = position + 16;
    if (ahead >= messages.size())
        return;
    const char *record = reinterpret_cast<const char *>(messages[ahead]);
    for (size_t offset = 0; offset < sizeof(KikMessage); offset += 64)
        __builtin_prefetch(record + offset);
}

// What a message without a uid of its own is known by.
struct ContentKey
{
    qint64 chatId;
    qint64 targetUserId;
    qint64 ts;
    bool wasMe;
    QString uid;
    QString body;
    QString contentId;

    bool operator==(const ContentKey &) const = default;
};

size_t qHash(const ContentKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.chatId, key.targetUserId, key.ts, key.wasMe, key.uid, key.body, key.contentId);
}

// One run: the database with its writer's lock, the chats met so far, the files copied.
class BackupRun
{
public:
    BackupRun(const QString &folder, AbsProgressTarget *progress)
        : m_db(folder)
        , m_lock(folder)
        , m_progress(progress)
        , m_files(folder)
    {
    }

    // Waits for any other writer of the database to finish, then opens it and begins the run's
    // transaction. A database without messages is filled in bulk, the run keeping the uids it
    // stored. times: the messages' ts in ms since 1970, by position.
    void begin(const KikMessageList &messages, const QList<qint64> &times)
    {
        m_lock.acquireThrow([this](bool first) {
            if (first)
                postProgress(m_progress,
                             QStringLiteral("The local database %1 is in use by another import. Waiting for it to finish...")
                                 .arg(QDir(m_db.folder()).dirName()),
                             0, QString());
            m_progress->throwIfCanceled();
        });
        // Known only now: with the lock no other run makes or removes any of them meanwhile.
        for (const QString &path : {m_db.folder(), m_db.thumbsFolder(), m_db.profFolder(), m_db.filesFolder()}) {
            if (!QFileInfo::exists(path))
                m_createdFolders.prepend(path);
        }
        // Copies a killed run left behind go now, or into place when its commit was done.
        KikLocalFileStaging::sweep(m_db.folder());
        m_messages = &messages;
        m_times = &times;
        noteSharedMessages(messages);
        m_uids.emplace(messages);
        m_db.open();
        m_db.beginTran();
        m_bulk = m_db.beginBulkLoad();
        if (!m_bulk) {
            // Messages land all over the uid index: a larger page cache saves most re-reads.
            m_db.exec(QStringLiteral("PRAGMA cache_size=-32768"));
        }
    }

    // False when the message is not stored: its chat, or the chat's user, is not known.
    bool backupMessage(qsizetype position)
    {
        fetchAhead(*m_messages, position);
        const KikMessage *message = m_messages->at(position);
        if (!message->chat || !message->chat->user)
            return false;
        const qint64 chatId = chatIdOf(message->chat);
        const qint64 ts = m_times->at(position);
        const qint64 messageId = messageIdOf(position, chatId, ts);
        m_db.addChatMessage(chatId, messageId, ts);
        for (const KikChat *other : m_otherChats.value(message))
            m_db.addChatMessage(chatIdOf(other), messageId, ts);
        if (!message->attachment.isEmpty())
            copyAttachmentFiles(message);
        return true;
    }

    void commit()
    {
        m_db.endBulkLoad();
        // Recomputed inside the transaction: a commit never leaves new chats without a time.
        m_db.updateLastTs();
        m_db.commitTran();
        m_files.publish();
    }

    // For a run that commits nothing: the transaction is rolled back, and the files, the
    // database file and the folders this run itself brought into being are removed again,
    // newest first; the lock is still held, so none of them is another run's.
    void takeBack()
    {
        m_db.rollbackTran();
        m_db.close();
        m_files.discard();
        if (m_db.createdDatabase())
            QFile::remove(m_db.databasePath());
        for (const QString &folder : std::as_const(m_createdFolders))
            QDir().rmdir(folder);
    }

private:
    // A message a source lists in several chats names only one of them as its chat. The other
    // chats of the selection that list it are noted, so that it is stored in each of them.
    void noteSharedMessages(const KikMessageList &selection)
    {
        QSet<const KikChat *> chats;
        for (qsizetype i = 0; i < selection.size(); ++i) {
            fetchAhead(selection, i);
            if (const KikChat *chat = selection[i]->chat)
                chats.insert(chat);
        }
        for (const KikChat *chat : std::as_const(chats)) {
            const KikMessageList &listed = chat->messages;
            for (qsizetype i = 0; i < listed.size(); ++i) {
                fetchAhead(listed, i);
                if (listed[i]->chat != chat && chat->user)
                    m_otherChats[listed[i]].append(chat);
            }
        }
    }

    // The id of the stored message, storing it when there is none. A uid that names one message
    // of the selection names it in the database too: the first message stored under it, unless
    // several share it there. Any other message (no uid, or one other messages of the selection
    // carry too) is a row of its own, found again by what it is, counted within the chat: the
    // n-th alike in this run is the n-th alike stored. In bulk the database is not asked: only
    // the run's own messages are stored.
    qint64 messageIdOf(qsizetype position, qint64 chatId, qint64 ts)
    {
        const KikMessage *message = m_messages->at(position);
        const auto targetUserId = [&] { return message->target_user ? userIdOf(message->target_user) : 0; };
        const auto store = [&](qint64 target) { return m_db.insertMessage(message, target, ts); };
        if (m_uids->namesOneMessage(position)) {
            return m_uids->idOf(position, [&] {
                if (m_bulk)
                    return store(targetUserId());
                const QList<qint64> stored = m_db.findMessagesByUid(message->uid);
                if (stored.size() == 1)
                    return stored.first();
                const qint64 target = targetUserId();
                const qint64 alike = stored.isEmpty() ? 0 : m_db.findMessageByContent(chatId, message, target, ts, 0);
                return alike != 0 ? alike : store(target);
            });
        }
        const auto known = m_ownIds.constFind(message);
        if (known != m_ownIds.constEnd())
            return *known;
        const qint64 target = targetUserId();
        qint64 id = 0;
        if (!m_bulk) {
            const ContentKey key{chatId, target, ts, message->was_me, message->uid, message->body, message->content_id};
            id = m_db.findMessageByContent(chatId, message, target, ts, m_alikeMet[key]++);
        }
        if (id == 0)
            id = store(target);
        m_ownIds.insert(message, id);
        return id;
    }

    // The chat's id in the database, storing the chat with its user, members and pictures
    // the first time the database meets it. Within a run a chat is looked up once.
    qint64 chatIdOf(const KikChat *chat)
    {
        const auto known = m_chatIds.constFind(chat);
        if (known != m_chatIds.constEnd())
            return *known;
        const KikUser *user = chat->user;
        const qint64 userId = userIdOf(user);
        qint64 chatId = m_db.findChatByUserId(userId);
        if (chatId == 0) {
            chatId = m_db.insertChat(userId, chat);
            for (const KikMember &member : user->members) {
                m_db.saveMember(userId, member);
                if (member.user)
                    copyProfilePicture(member.user);
            }
            copyProfilePicture(user);
        }
        m_chatIds.insert(chat, chatId);
        return chatId;
    }

    // The user's id in the database, storing the user the first time the database meets it.
    // Within a run a user is looked up once.
    qint64 userIdOf(const KikUser *user)
    {
        const auto known = m_userIds.constFind(user);
        if (known != m_userIds.constEnd())
            return *known;
        qint64 userId = m_db.findUserByJid(user);
        if (userId == 0)
            userId = m_db.insertUser(user);
        m_userIds.insert(user, userId);
        return userId;
    }

    void copyProfilePicture(const KikUser *user)
    {
        m_files.copy(user->photo_path, m_db.profFolder(), sanitizeFileName(user->jid));
    }

    void copyAttachmentFiles(const KikMessage *message)
    {
        const struct
        {
            const char *key;
            const QString &source;
        } pictures[] = {{"image:preview", message->preview_path},
                        {"image:icon", message->icon_path},
                        {"image:png-preview", message->png_preview_path}};
        for (const auto &picture : pictures) {
            const QString name = message->attachment.value(QLatin1String(picture.key)).toString();
            if (!name.isEmpty())
                m_files.copy(picture.source, m_db.thumbsFolder(), name);
        }
        if (!message->content_id.isEmpty())
            m_files.copy(message->content_path, m_db.filesFolder(), message->content_id);
    }

    KikLocalDb m_db;
    KikLocalDbLock m_lock;
    AbsProgressTarget *m_progress;
    QStringList m_createdFolders;
    KikLocalFileStaging m_files;
    const KikMessageList *m_messages = nullptr;
    const QList<qint64> *m_times = nullptr;
    std::optional<KikUidTable> m_uids;
    bool m_bulk = false;
    QHash<const KikMessage *, qint64> m_ownIds;   // of the messages without a uid of their own
    QHash<ContentKey, qint64> m_alikeMet;
    QHash<const KikUser *, qint64> m_userIds;
    QHash<const KikChat *, qint64> m_chatIds;
    QHash<const KikMessage *, QList<const KikChat *>> m_otherChats;
};

}   // namespace

BackupKikMessagesThread::BackupKikMessagesThread(const KikMessageList &messages, const QString &databaseFolder,
                                                 AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_messages(messages)
    , m_databaseFolder(databaseFolder)
    , m_progress(progress)
{
}

BackupKikMessagesThread::~BackupKikMessagesThread() = default;

void BackupKikMessagesThread::run()
{
    postProgress(m_progress, QObject::tr("IDS_BACKING_UP_KIK_MESSAGES"), 0, QString());
    QList<qint64> times;
    std::optional<BackupRun> backup;
    runTask(
        m_progress,
        [&] {
            // An empty folder name would mean the working folder.
            if (m_databaseFolder.trimmed().isEmpty())
                failWith(QStringLiteral("No local database folder was given."));
            // Sorted here, not by the caller: a large selection takes a while.
            sortMessages(m_messages, Qt::AscendingOrder, &times);
            backup.emplace(m_databaseFolder, m_progress);
            backup->begin(m_messages, times);
            const qint64 total = m_messages.size();
            qint64 count = 0;
            qint64 skipped = 0;
            int shownPercent = -1;
            for (qsizetype position = 0; position < total; ++position) {
                m_progress->throwIfCanceled();
                ++count;
                // Formatting a report per message would cost more than some messages take to
                // store: reports go out when the percentage moves, every few hundred messages
                // and for the last one.
                const int percent = int(count * 100 / total);
                if (percent != shownPercent || count % kReportEvery == 0 || count == total) {
                    postProgress(m_progress, QString(), percent, QStringLiteral("Messages: %1/%2").arg(count).arg(total));
                    shownPercent = percent;
                }
                if (!backup->backupMessage(position))
                    ++skipped;
            }
            backup->commit();
            const int stored = int(count - skipped);
            QString done = m_wording == Wording::Imported ? QObject::tr("IDS_SUC_IMPORT_%n_MESSAGES", nullptr, stored)
                                                          : QObject::tr("IDS_SUC_BACKUP_%n_MESSAGES", nullptr, stored);
            if (skipped > 0)
                done += QLatin1Char(' ') + QObject::tr("IDS_SKIPPED_%n_MESSAGES_NO_CHAT", nullptr, int(skipped));
            return done;
        },
        [&] {
            if (backup)
                backup->takeBack();
        });
}

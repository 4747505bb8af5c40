#pragma once

#include "kikstore/KikStoreSchema.h"

#include <QString>
#include <QStringList>

// What a generated Kik container holds. Shares are between 0 and 1.
struct KikStoreOptions
{
    int contacts = 20;          // users besides the phone's owner and the groups
    int groups = 2;             // each group has its own chat
    int membersPerGroup = 4;    // drawn from the contacts
    int adminsPerGroup = 1;     // the owner first, then members
    int bansPerGroup = 1;       // contacts that are not members
    int chats = 10;             // one-to-one chats, one per contact (at most `contacts`)
    int messagesPerChat = 50;   // rows per chat, status lines included
    double attachmentShare = 0.05;
    double renderInstructionShare = 0.02;
    double emojiShare = 0.1;
    double statusLineShare = 0.02;   // rows of types 3 and 4 ("You started a group"), never loaded
    double profilePictureShare = 0.5;
    bool sideFiles = true;     // attachment descriptions, metadata, content and profile pictures
    bool collectUids = true;   // fill GeneratedKikStore::messageUids
    quint32 seed = 1;
    QString ownerUserName = QStringLiteral("me.owner");   // the phone's owner (ZFLAGS 258)
    KikStoreLayout layout = KikStoreLayout::Old;
};

struct GeneratedKikStore
{
    QString rootFolder;   // the container mirror
    QString storePath;    // rootFolder + "/Documents/kik.sqlite"
    qint64 ownerPk = 1;   // the phone's owner, Z_PK 1 of ZKIKUSER
    int users = 0;        // every ZKIKUSER row: owner, contacts and groups
    int groups = 0;
    int chats = 0;
    qint64 messages = 0;   // rows of types 1 and 2, the ones a reader loads
    qint64 statusLines = 0;
    int attachments = 0;
    int renderInstructionMessages = 0;
    int emojiMessages = 0;
    QStringList contactJids;   // in key order, from Z_PK 2
    QStringList groupJids;
    QStringList messageUids;   // loadable messages in key order (with collectUids)
    QStringList contentIds;    // every attachment row, in key order
    QStringList contentIdsWithoutDescription;
    QStringList contentAppIds;   // the app id of each of contentIds; empty without a description
};

// Writes a realistic mirror of Kik's app container: "Documents/kik.sqlite" with Kik's complete
// schema (every table and index, Z_PRIMARYKEY, Z_METADATA), and the files beside it:
// "Documents/attachments", "Documents/content_manager/metadata_cache" and "data_cache", and
// "Documents/profpix". Messages of all chats interleave in time as on a phone. The same
// options give the same store. A million messages take a few seconds.
class KikStoreGenerator
{
public:
    explicit KikStoreGenerator(const KikStoreOptions &options = {})
        : m_options(options)
    {
    }

    // Replaces any store in rootFolder. Raises std::runtime_error on failure; a half-written
    // store is removed.
    GeneratedKikStore generate(const QString &rootFolder) const;

private:
    KikStoreOptions m_options;
};

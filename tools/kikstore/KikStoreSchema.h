#pragma once

#include <QList>
#include <QStringList>

// Which Kik version's store to write. Old: the numbering of the store from a phone in
// the fixtures (KikUser is entity 6: Z_6MEMBERS, Z_3MESSAGES). New: newer app versions have
// more entities, so KikUser is 9 (Z_9MEMBERS ...), KikMessage 6 (Z_3MESSAGES pairs Z_3CHAT with
// Z_6MESSAGES), and ZKIKUSEREXTRA has the blob columns ZENTITYUSERDATA and ZROSTERENTRYDATA.
// The entities the program does not know (ZKIKCONTENTLINK, ZKIKMESSAGEREACTION,
// ZKIKSTICKERPACK) stand for what a newer app keeps besides; a write must leave them alone.
enum class KikStoreLayout { Old, New };

struct KikStoreEntity
{
    const char *name;   // Z_NAME
    const char *table;
    int number;   // Z_ENT
};

// Every entity of the layout in Z_PRIMARYKEY order.
QList<KikStoreEntity> kikStoreEntities(KikStoreLayout layout);
// The entity number of name in the layout; 0 when the layout has no such entity.
int kikStoreEntity(KikStoreLayout layout, const char *name);

// Kik's Core Data store as the phone creates it: every table and index, in the phone's order.
QStringList kikStoreSchema(KikStoreLayout layout);

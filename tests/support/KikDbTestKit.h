#pragma once

#include "kik/KikDataSet.h"

#include <QHash>
#include <QString>
#include <functional>

class AbsKikDb;
class KikLocalDb;
class Sqlite3DB;

// Small helpers shared by the tests of the message databases.
namespace KikDbTestKit {

// The text of the runtime error the action raises; empty when it raises none.
QString errorText(const std::function<void()> &action);

// The first column of the first row of a query (0 for no row or NULL).
qint64 scalar(Sqlite3DB &db, const QString &sql);

KikDataSetPtr loadAll(AbsKikDb &db);

QHash<QString, KikMessage *> messagesByUid(const KikDataSet &dataSet);

// Merges messages into a local database the way the backup does: users by jid, chats by
// user (with their members when new), messages by uid, memberships by pair, in one
// transaction; attachment pictures and content files are copied into its folders.
void mergeIntoLocal(KikLocalDb &db, const KikMessageList &messages);

// A mirror of Kik's app container at root holding a writable copy of the real store.
QString realStoreMirror(const QString &root);

// Every file below folder (hidden ones too), sorted.
QStringList filesUnder(const QString &folder);

bool writeFile(const QString &path, const QByteArray &data);

}

#pragma once

#include "kik/Export.h"

#include <QtGlobal>

class Sqlite3Statement;
class KikMessage;

// The columns of kik_message a message is stored in, and binding its values to them: shared
// by the statements that insert one message and those that insert many.
namespace KikMessageRow {

constexpr char Columns[] =
    "ts, rec_ts, target_user, uid, was_me, body, content_id, app_id, sub_app_id, render_ins, attachment, other";
constexpr int ColumnCount = 12;

// Binds the message to the ColumnCount parameters from firstPosition on; targetUserId is the
// stored id of its target user, 0 for none, and ts its time in ms since 1970 (0 when invalid).
// Absent values are bound as NULL, as the columns have no defaults.
PARLEWICK_KIK_EXPORT void bindThrow(Sqlite3Statement &statement, int firstPosition, const KikMessage *message,
                                    qint64 targetUserId, qint64 ts);

}

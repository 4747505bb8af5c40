#include "kik/KikMessageRow.h"

#include "db/Sqlite3Statement.h"
#include "db/TinyKv.h"
#include "kik/KikMessage.h"

namespace KikMessageRow {

void bindThrow(Sqlite3Statement &statement, int firstPosition, const KikMessage *message, qint64 targetUserId, qint64 ts)
{
    int position = firstPosition;
    const auto int64OrNull = [&](qint64 value, bool present) {
        if (present)
            statement.bindInt64Throw(position++, value);
        else
            statement.bindNullThrow(position++);
    };
    const auto textOrNull = [&](const QString &text) {
        if (text.isEmpty())
            statement.bindNullThrow(position++);
        else
            statement.bindTextThrow(position++, text);
    };
    const auto bytesOrNull = [&](const QByteArray &bytes) {
        statement.bindBlobThrow(position++, bytes.isEmpty() ? QByteArray() : bytes);
    };
    const bool hasRecTs = message->rec_ts.isValid();
    statement.bindInt64Throw(position++, ts);
    int64OrNull(hasRecTs ? message->rec_ts.toMSecsSinceEpoch() : 0, hasRecTs);
    int64OrNull(targetUserId, targetUserId != 0);
    statement.bindTextThrow(position++, message->uid);
    statement.bindInt64Throw(position++, message->was_me ? 1 : 0);
    textOrNull(message->body);
    textOrNull(message->content_id);
    textOrNull(message->app_id);
    textOrNull(message->sub_app_id);
    bytesOrNull(message->render_ins);
    // A map that cannot be encoded binds NULL; an encoded one is bound as it is.
    statement.bindBlobThrow(position++, message->attachment.isEmpty() ? QByteArray() : toTinyKv(message->attachment));
    bytesOrNull(message->other);
}

}

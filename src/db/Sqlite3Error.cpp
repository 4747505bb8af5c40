#include "db/Sqlite3Error.h"

#include <sqlite3.h>

namespace {
const int kMaxContext = 300;   // long scripts would bury the engine's message
}

std::runtime_error sqliteError(const QString &message, const QString &context)
{
    QString text = message;
    if (!context.isEmpty()) {
        QString shown = context.size() > kMaxContext ? context.left(kMaxContext) + QStringLiteral("...")
                                                     : context;
        text += QStringLiteral("<br/>") + shown.toHtmlEscaped();
    }
    return std::runtime_error(text.toUtf8().toStdString());
}

std::runtime_error sqliteError(sqlite3 *db, const QString &context)
{
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db))
                               : QStringLiteral("out of memory");
    return sqliteError(message, context);
}

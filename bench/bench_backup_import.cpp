// Backing up a million generated messages into a new local database, beside the sqlite3 shell
// copying the same rows into tables of the same schema with INSERT ... SELECT in the same run.
// The floor for writing those rows and their indexes is the copy that goes row by row (a WHERE
// clause keeps SQLite from its transfer shortcut); the shortcut itself, which moves the stored
// records and index entries between identical tables without looking at them, is shown too.
// Also the process's memory: before loading, with the data set loaded, and at its peak.
#include "BenchSupport.h"
#include "kik/IOSKikDb.h"
#include "kik/KikDataSet.h"
#include "kikstore/KikStoreGenerator.h"
#include "workers/BackupKikMessagesThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// The peak so far becomes the current size (Linux 4.0 and later).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The shell's copy of every table of the backed-up database into a fresh one of the same schema;
// rowByRow adds the clause that rules the transfer shortcut out.
QByteArray copyScript(const QString &database, bool rowByRow)
{
    QFile schema(QStringLiteral(":res/kiklocaldb.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray script = schema.readAll() + "\nATTACH '" + database.toUtf8() + "/talvora-kik.db' AS src;\nBEGIN;\n";
    for (const char *table : {"kik_user", "kik_user_members", "kik_chat", "kik_message", "kik_chat_messages"})
        script += QByteArray("INSERT INTO ") + table + " SELECT * FROM src." + table + (rowByRow ? " WHERE 1" : "") + ";\n";
    return script + "COMMIT;\n";
}

}   // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 wanted = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir work;
    if (!work.isValid() || wanted <= 0)
        return 1;

    const KikStoreOptions options = BenchSupport::largeStoreOptions(wanted);
    QElapsedTimer timer;
    timer.start();
    const GeneratedKikStore store = KikStoreGenerator(options).generate(work.filePath(QStringLiteral("kik")));
    std::printf("generated store: %lld messages in %.1f s\n", static_cast<long long>(store.messages), timer.nsecsElapsed() / 1e9);

    const qint64 beforeLoad = BenchSupport::statusBytes("VmRSS:");
    KikDataSetPtr dataSet = KikDataSetPtr::create();
    {
        IOSKikDb reader(store.rootFolder, work.filePath(QStringLiteral("thumbs")));
        reader.setOpenMode(IOSKikDb::ReadOnlyMode);
        reader.load(dataSet);
    }
    const qint64 loaded = BenchSupport::statusBytes("VmRSS:");
    const KikMessageList messages = dataSet->allMessages();

    const QString database = work.filePath(QStringLiteral("local"));
    BenchSupport::QuietProgress progress;
    resetPeak();
    timer.start();
    {
        BackupKikMessagesThread worker(messages, database, &progress);
        worker.start();
        worker.wait();
    }
    const double importSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 peak = BenchSupport::statusBytes("VmHWM:");
    if (!progress.error.isEmpty()) {
        std::printf("backup failed: %s\n", qUtf8Printable(progress.error));
        return 1;
    }

    const double shellSeconds =
        BenchSupport::shellSeconds(work.filePath(QStringLiteral("copy.db")), copyScript(database, true), true);
    const double shortcutSeconds =
        BenchSupport::shellSeconds(work.filePath(QStringLiteral("shortcut.db")), copyScript(database, false), true);

    std::printf("messages backed up:           %lld (%s)\n", static_cast<long long>(messages.size()),
                qUtf8Printable(progress.success));
    std::printf("BackupKikMessagesThread       %8.2f s  %10.0f messages/s\n", importSeconds, messages.size() / importSeconds);
    if (shellSeconds > 0) {
        std::printf("sqlite3 INSERT ... SELECT     %8.2f s  %10.0f messages/s (row by row)\n", shellSeconds,
                    messages.size() / shellSeconds);
        std::printf("ratio backup/shell            %8.2f   (goal: 1.0 or less)\n", importSeconds / shellSeconds);
        if (shortcutSeconds > 0)
            std::printf("  shell's transfer shortcut   %8.2f s  (records copied unread; ratio %.2f)\n", shortcutSeconds,
                        importSeconds / shortcutSeconds);
    } else {
        std::printf("sqlite3 shell not available: no baseline\n");
    }
    std::printf("memory before loading         %8.1f MiB\n", beforeLoad / kMiB);
    std::printf("memory with the data set      %8.1f MiB (data set %.1f MiB)\n", loaded / kMiB, (loaded - beforeLoad) / kMiB);
    std::printf("peak during the backup        %8.1f MiB (%.1f MiB above the loaded set; goal: below 100)\n", peak / kMiB,
                (peak - loaded) / kMiB);
    return 0;
}

// Backing up a million generated messages into a new local database, beside the sqlite3 shell
// copying the same rows into tables of the same schema with INSERT ... SELECT in the same run
// (the engine's floor for writing those rows and their indexes). Also the process's memory:
// before loading, with the data set loaded, and at its peak during the backup.
#include "kik/IOSKikDb.h"
#include "kik/KikDataSet.h"
#include "kikstore/KikStoreGenerator.h"
#include "workers/AbsProgressTarget.h"
#include "workers/BackupKikMessagesThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// A progress target that only remembers how the task ended.
class QuietProgress : public AbsProgressTarget
{
public:
    bool isCanceled() const override { return false; }
    bool isWaitingForTips() const override { return false; }
    void postProgress(const QString &, int, const QString &) override {}
    void postError(const QString &message) override { error = message; }
    void postSuccess(const QString &message) override { success = message; }
    void postTipsWait(const QString &) override {}

    QString error;
    QString success;
};

// A value of /proc/self/status ("VmRSS", "VmHWM") in bytes.
double statusBytes(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(key) + ':'))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').first().toDouble() * 1024.0;
    }
    return 0;
}

// The peak so far becomes the current size (Linux 4.0 and later).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Seconds the shell needs for the script, or a negative value when it fails.
double runShell(const QString &database, const QString &scriptFile)
{
    QProcess process;
    process.setStandardInputFile(scriptFile);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("sqlite3"), {database});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::printf("  sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 wanted = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir work;
    if (!work.isValid())
        return 1;

    KikStoreOptions options;
    options.contacts = 200;
    options.chats = 200;
    options.groups = 5;
    options.membersPerGroup = 8;
    options.messagesPerChat = int(wanted / (options.chats + options.groups));
    options.sideFiles = false;
    options.collectUids = false;
    QElapsedTimer timer;
    timer.start();
    const GeneratedKikStore store = KikStoreGenerator(options).generate(work.filePath(QStringLiteral("kik")));
    std::printf("generated store: %lld messages in %.1f s\n", static_cast<long long>(store.messages),
                timer.nsecsElapsed() / 1e9);

    const double beforeLoad = statusBytes("VmRSS");
    KikDataSetPtr dataSet = KikDataSetPtr::create();
    {
        IOSKikDb reader(store.rootFolder, work.filePath(QStringLiteral("thumbs")));
        reader.setOpenMode(IOSKikDb::ReadOnlyMode);
        reader.load(dataSet);
    }
    const double loaded = statusBytes("VmRSS");
    const KikMessageList messages = dataSet->allMessages();

    const QString database = work.filePath(QStringLiteral("local"));
    QuietProgress progress;
    resetPeak();
    timer.start();
    BackupKikMessagesThread worker(messages, database, &progress);
    worker.start();
    worker.wait();
    const double importSeconds = timer.nsecsElapsed() / 1e9;
    const double peak = statusBytes("VmHWM");
    if (!progress.error.isEmpty()) {
        std::printf("backup failed: %s\n", qUtf8Printable(progress.error));
        return 1;
    }

    QFile schema(QStringLiteral(":res/kiklocaldb.sql"));
    schema.open(QIODevice::ReadOnly);
    const QString copyScript = work.filePath(QStringLiteral("copy.sql"));
    writeFile(copyScript, schema.readAll() + "\nATTACH '" + database.toUtf8() + "/talvora-kik.db' AS src;\nBEGIN;\n"
                  "INSERT INTO kik_user SELECT * FROM src.kik_user;\n"
                  "INSERT INTO kik_user_members SELECT * FROM src.kik_user_members;\n"
                  "INSERT INTO kik_chat SELECT * FROM src.kik_chat;\n"
                  "INSERT INTO kik_message SELECT * FROM src.kik_message;\n"
                  "INSERT INTO kik_chat_messages SELECT * FROM src.kik_chat_messages;\n"
                  "COMMIT;\n");
    const double shellSeconds = runShell(work.filePath(QStringLiteral("copy.db")), copyScript);

    std::printf("messages backed up:           %lld (%s)\n", static_cast<long long>(messages.size()),
                qUtf8Printable(progress.success));
    std::printf("BackupKikMessagesThread       %8.2f s  %10.0f messages/s\n", importSeconds, messages.size() / importSeconds);
    std::printf("sqlite3 INSERT ... SELECT     %8.2f s  %10.0f messages/s\n", shellSeconds, messages.size() / shellSeconds);
    std::printf("ratio backup/shell            %8.2f   (goal: 3 or less)\n", importSeconds / shellSeconds);
    std::printf("memory before loading         %8.1f MiB\n", beforeLoad / kMiB);
    std::printf("memory with the data set      %8.1f MiB (data set %.1f MiB)\n", loaded / kMiB, (loaded - beforeLoad) / kMiB);
    std::printf("peak during the backup        %8.1f MiB (%.1f MiB above the loaded set; goal: below 100)\n",
                peak / kMiB, (peak - loaded) / kMiB);
    return 0;
}

// Merging 100,000 messages into a generated Kik store of 100,000 messages the way the transfer
// to a phone does (one transaction, then the consolidation pass), beside the sqlite3 shell
// copying the same message rows with one set-based statement and compacting the file.
#include "BenchSupport.h"

#include "kik/IOSKikDb.h"
#include "kik/KikRules.h"
#include "kikstore/KikStoreGenerator.h"

#include <QTemporaryDir>

#include <ctime>

#include <cstdio>
#include <stdexcept>

using namespace BenchSupport;

namespace {

// CPU seconds of this process: on a shared machine the wall clock also counts the waits.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

GeneratedKikStore generate(const QString &folder, qint64 messages, quint32 seed)
{
    KikStoreOptions options;
    options.contacts = 40;
    options.chats = 38;
    options.groups = 2;
    options.messagesPerChat = int((messages + 39) / 40);
    options.attachmentShare = 0.01;
    options.collectUids = false;
    options.seed = seed;
    return KikStoreGenerator(options).generate(folder);
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 messages = 100000;
    if (argc > 1 && QByteArray(argv[1]).toLongLong() > 0)
        messages = QByteArray(argv[1]).toLongLong();
    QTemporaryDir dir;
    try {
        std::printf("Merging %lld messages into a Kik store of as many\n", static_cast<long long>(messages));
        const GeneratedKikStore target = generate(dir.filePath(QStringLiteral("target")), messages, 3);
        const GeneratedKikStore source = generate(dir.filePath(QStringLiteral("source")), messages, 4);
        QFile::copy(target.storePath, dir.filePath(QStringLiteral("shell.sqlite")));

        IOSKikDb sourceDb(source.rootFolder);
        KikDataSetPtr data(new KikDataSet);
        sourceDb.load(data);
        KikMessageList list = data->allMessages();
        sortMessages(list);

        IOSKikDb db(target.rootFolder);
        db.open();
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuSeconds();
        db.beginTran();
        qint64 merged = 0;
        for (const KikMessage *message : std::as_const(list))
            merged += db.mergeMessage(message, target.rootFolder) ? 1 : 0;
        db.commitTran();
        const double mergeSeconds = timer.nsecsElapsed() / 1e9;
        const double mergeCpu = cpuSeconds() - cpuStart;
        timer.restart();
        db.consolidate();
        const double consolidateSeconds = timer.nsecsElapsed() / 1e9;
        const double consolidateCpu = cpuSeconds() - cpuStart - mergeCpu;
        std::printf("%-40s %8.3f s %10.0f messages/s  (cpu %.3f s)\n", "merge (one transaction)", mergeSeconds,
                    merged / mergeSeconds, mergeCpu);
        std::printf("%-40s %8.3f s                      (cpu %.3f s)\n", "consolidate (renumber, indexes, VACUUM)",
                    consolidateSeconds, consolidateCpu);
        std::printf("%-40s %8.3f s %10.0f messages/s\n", "merge + consolidate", mergeSeconds + consolidateSeconds,
                    merged / (mergeSeconds + consolidateSeconds));

        const QByteArray floor =
            "attach '" + source.storePath.toUtf8()
            + "' as s;\nbegin;\n"
              "insert into ZKIKMESSAGE(Z_ENT,Z_OPT,ZFLAGS,ZSTATE,ZSYSTEMSTATE,ZTYPE,ZUSER,ZRECEIVEDTIMESTAMP,"
              "ZTIMESTAMP,ZBODY,ZSTANZAID,ZRENDERINSTRUCTIONSET) select Z_ENT,Z_OPT,ZFLAGS,ZSTATE,ZSYSTEMSTATE,"
              "ZTYPE,ZUSER,ZRECEIVEDTIMESTAMP,ZTIMESTAMP,ZBODY,ZSTANZAID,ZRENDERINSTRUCTIONSET from s.ZKIKMESSAGE;\n"
              "commit;\ndetach s;\nvacuum;\n";
        const QString shellCopy = dir.filePath(QStringLiteral("shell.sqlite"));
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (!shell.isEmpty()) {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            timer.restart();
            process.start(shell, {shellCopy});
            process.write(floor);
            process.closeWriteChannel();
            process.waitForFinished(-1);
            const double shellSeconds = timer.nsecsElapsed() / 1e9;
            std::printf("%-40s %8.3f s   merge+consolidate/shell = %.2f\n", "  sqlite3 shell, set-based copy + VACUUM",
                        shellSeconds, (mergeSeconds + consolidateSeconds) / shellSeconds);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

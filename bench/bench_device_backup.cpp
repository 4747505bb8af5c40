// Loading Kik from a phone that keeps its container closed: the program's own device backup, and
// the backup with the reading of Kik's files out of it, beside Debian's idevicebackup2 alone
// backing up the same simulated iPhone in the same run; then a second load of the same phone
// after one new message, into the kept backup, and a third after Kik folded its log into the
// store. The program's part runs as a child process so that its memory peak (getrusage) is its own.
//
//   bench_device_backup [MESSAGES [ATTACHMENT_MIB]]     (default 200000 and 500)
#include "BenchSupport.h"
#include "KikBackupFixture.h"

#include "app/AppFolders.h"
#include "db/Sqlite3DB.h"
#include "device/DeviceCacheFolder.h"
#include "device/DeviceDescription.h"
#include "device/MobileDeviceFrameworks.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupManifest.h"
#include "simiphone/SimulatedIPhone.h"
#include "workers/IOSLoadKikFromiTunesThread.h"
#include "workers/IOSMobileBackupThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSharedPointer>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

const QString kUdid = QStringLiteral("00008120-001C2D3E4F506172");
const QString kGroup = QStringLiteral("group.com.kik.chat");
constexpr int kRounds = 2;

void writeAttachments(const QString &folder, int mebibytes)
{
    QDir().mkpath(folder);
    QByteArray block(1 << 20, '\0');
    QRandomGenerator random(3);
    for (int i = 0; i < mebibytes; ++i) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        QFile file(QDir(folder).filePath(QStringLiteral("%1-attachment").arg(i, 8, 16, QLatin1Char('0'))));
        file.open(QIODevice::WriteOnly);
        file.write(block);
    }
}

// The program's part, in the child: a device backup into the temporary backup folder under root
// (kept from an earlier run, if any), then Kik's files out of it. Prints "<backup seconds>
// <seconds in all> <peak bytes>".
int runProgram(const QString &root)
{
    QString error;
    if (!loadMobileDeviceFrameworks(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QDir().mkpath(dataFolder());
    setDeviceBackupRootForThisRun(root);

    QElapsedTimer timer;
    timer.start();
    DeviceDescription device;
    device.udid = kUdid;
    device.productVersion = QStringLiteral("17.5");
    BenchSupport::QuietProgress progress;
    IOSMobileBackupThread backup(device, &progress);
    backup.start();
    backup.wait();
    if (!progress.error.isEmpty()) {
        std::fprintf(stderr, "backup: %s\n", qPrintable(progress.error));
        return 1;
    }
    const double backupSeconds = timer.nsecsElapsed() / 1e9;
    auto manifest = QSharedPointer<BackupManifest>::create(QDir(backup.backupFolder()).filePath(kUdid));
    manifest->readInfo();
    manifest->load();
    // Into the phone's cache folder, as the program reads a phone.
    IOSLoadKikFromiTunesThread load(manifest, &progress, deviceCacheFolder(device));
    load.start();
    load.wait();
    if (!progress.error.isEmpty() || !load.found()) {
        std::fprintf(stderr, "load: %s\n", qPrintable(progress.error));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f %.3f %lld\n", backupSeconds, timer.nsecsElapsed() / 1e9, qint64(usage.ru_maxrss) * 1024);
    return 0;
}

double toolAloneSeconds(const QString &root)
{
    QDir().mkpath(root);
    QElapsedTimer timer;
    timer.start();
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.start(QStringLiteral("idevicebackup2"), {QStringLiteral("-u"), kUdid, QStringLiteral("backup"), root});
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

// Kik on the phone, running: it keeps its store open in WAL mode, so a new message goes into
// kik.sqlite-wal and the store itself changes only when Kik folds the log in.
class RunningKik
{
public:
    explicit RunningKik(const QString &store)
    {
        m_db.openThrow(store, Sqlite3DB::ReadWrite);
        m_db.execScriptThrow("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    }
    // A copy of the first message with the next key.
    void addMessage()
    {
        m_db.execScriptThrow("CREATE TEMP TABLE IF NOT EXISTS t AS SELECT * FROM ZKIKMESSAGE LIMIT 0; DELETE FROM t; "
                             "INSERT INTO t SELECT * FROM ZKIKMESSAGE LIMIT 1; "
                             "UPDATE t SET Z_PK = (SELECT MAX(Z_PK) + 1 FROM ZKIKMESSAGE), ZBODY = 'one new message'; "
                             "INSERT INTO ZKIKMESSAGE SELECT * FROM t;");
    }
    void foldLog() { m_db.execScriptThrow("PRAGMA wal_checkpoint(TRUNCATE);"); }

private:
    Sqlite3DB m_db;
};

// Figures of one run of the program's part: backup seconds, seconds in all, peak bytes.
QList<QByteArray> runProgramChild(const QString &root)
{
    const QList<QByteArray> figures = BenchSupport::runSelf({QStringLiteral("--child"), root}).trimmed().split(' ');
    return figures.size() == 3 ? figures : QList<QByteArray>();
}

}   // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral(".local/share")).toUtf8());
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--child"))
        return runProgram(args.value(1));

    const qint64 messages = args.value(0, QStringLiteral("200000")).toLongLong();
    const int mebibytes = args.value(1, QStringLiteral("500")).toInt();
    std::printf("Device backup of a phone with %lld messages and %d MiB of attachments in Kik's App Group store\n", messages,
                mebibytes);

    SimulatedIPhone sim(QDir(home.path()).filePath(QStringLiteral("phones")));
    SimPhoneOptions options;
    options.apps = {QStringLiteral("com.kik.chat")};
    options.groups = {kGroup};
    const SimPhoneFolder phone = sim.createPhone(kUdid, options);
    const QString account = phone.groupContainerPath(kGroup) + QStringLiteral("/cores/private/") + kikFixtureAccountId(1);
    const GeneratedKikStore store =
        KikStoreGenerator(BenchSupport::largeStoreOptions(messages)).generate(QDir(home.path()).filePath(QStringLiteral("kik")));
    QDir().mkpath(account);
    if (!QFile::rename(store.storePath, account + QStringLiteral("/kik.sqlite"))) {
        std::printf("could not place the store\n");
        return 1;
    }
    writeAttachments(account + QStringLiteral("/content_manager/data_cache"), mebibytes);
    sim.start();

    QList<double> tool, backupOnly, program, second, folded;
    qint64 peak = 0;
    RunningKik kik(account + QStringLiteral("/kik.sqlite"));
    for (int round = 0; round < kRounds; ++round) {
        const QString root = QDir(home.path()).filePath(QStringLiteral("round%1").arg(round));
        const QString programRoot = root + QStringLiteral("/program");
        tool << toolAloneSeconds(root + QStringLiteral("/tool"));
        const QList<QByteArray> first = runProgramChild(programRoot);
        kik.addMessage();
        const QList<QByteArray> afterMessage = runProgramChild(programRoot);
        kik.foldLog();
        const QList<QByteArray> afterFold = runProgramChild(programRoot);
        if (tool.last() < 0 || first.isEmpty() || afterMessage.isEmpty() || afterFold.isEmpty()) {
            std::printf("a run failed\n");
            return 1;
        }
        backupOnly << first.at(0).toDouble();
        program << first.at(1).toDouble();
        second << afterMessage.at(1).toDouble();
        folded << afterFold.at(1).toDouble();
        for (const QList<QByteArray> &figures : {first, afterMessage, afterFold})
            peak = std::max(peak, figures.at(2).toLongLong());
        QDir(root).removeRecursively();
        std::printf("  round %d: idevicebackup2 alone %.2f s, program's backup %.2f s (ratio %.2f), with reading %.2f s; "
                    "after one new message %.2f s (%.2f of the first), after the log was folded in %.2f s (%.2f)\n",
                    round + 1, tool.last(), backupOnly.last(), backupOnly.last() / tool.last(), program.last(), second.last(),
                    second.last() / program.last(), folded.last(), folded.last() / program.last());
    }
    const auto best = [](const QList<double> &times) { return *std::min_element(times.begin(), times.end()); };
    std::printf("Best: idevicebackup2 alone %.2f s, program's backup %.2f s, ratio %.2f (goal: 1.0 or less)\n", best(tool),
                best(backupOnly), best(backupOnly) / best(tool));
    std::printf("Best: program with reading %.2f s, ratio %.2f to the tool alone\n", best(program), best(program) / best(tool));
    std::printf("Second load after one new message: %.2f s, %.2f of the first (goal: 0.10 or less)\n", best(second),
                best(second) / best(program));
    // The whole store goes again then: its size sets the floor of this figure.
    std::printf("Load after Kik folded its log into the store: %.2f s, %.2f of the first\n", best(folded),
                best(folded) / best(program));
    std::printf("Program's peak memory: %.1f MiB (goal: below 200 MiB)\n", peak / 1048576.0);
    return 0;
}

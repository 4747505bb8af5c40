// Loading Kik from a phone that keeps its container closed: the program's own device backup, and
// the backup with the reading of Kik's files out of it, beside Debian's idevicebackup2 alone
// backing up the same simulated iPhone in the same run; then a second load of the same phone
// after one new message, into the kept backup. The program's part runs as a child process so
// that its memory peak (getrusage) is its own.
//
//   bench_device_backup [MESSAGES [ATTACHMENT_MIB]]     (default 200000 and 500)
#include "BenchSupport.h"
#include "KikBackupFixture.h"

#include "app/AppFolders.h"
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

    QList<double> tool, backupOnly, program, second;
    qint64 peak = 0;
    const QString storeFile = account + QStringLiteral("/kik.sqlite");
    for (int round = 0; round < kRounds; ++round) {
        const QString root = QDir(home.path()).filePath(QStringLiteral("round%1").arg(round));
        tool << toolAloneSeconds(root + QStringLiteral("/tool"));
        QList<QByteArray> figures =
            BenchSupport::runSelf({QStringLiteral("--child"), root + QStringLiteral("/program")}).trimmed().split(' ');
        if (tool.last() < 0 || figures.size() != 3) {
            std::printf("a run failed\n");
            return 1;
        }
        backupOnly << figures.at(0).toDouble();
        program << figures.at(1).toDouble();
        peak = std::max(peak, figures.at(2).toLongLong());
        // One new message: a copy of the first with the next key; nothing else on the phone changes.
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"),
                     {storeFile, QStringLiteral("CREATE TEMP TABLE t AS SELECT * FROM ZKIKMESSAGE LIMIT 1; "
                                                "UPDATE t SET Z_PK = (SELECT MAX(Z_PK) + 1 FROM ZKIKMESSAGE), "
                                                "ZBODY = 'one new message'; INSERT INTO ZKIKMESSAGE SELECT * FROM t;")});
        if (!sqlite.waitForFinished(-1) || sqlite.exitCode() != 0) {
            std::printf("no new message: %s\n", sqlite.readAllStandardError().constData());
            return 1;
        }
        figures = BenchSupport::runSelf({QStringLiteral("--child"), root + QStringLiteral("/program")}).trimmed().split(' ');
        if (figures.size() != 3) {
            std::printf("the second load failed\n");
            return 1;
        }
        second << figures.at(1).toDouble();
        peak = std::max(peak, figures.at(2).toLongLong());
        QDir(root).removeRecursively();
        std::printf("  round %d: idevicebackup2 alone %.2f s, program's backup %.2f s (ratio %.2f), with reading %.2f s; "
                    "second load %.2f s (%.2f of the first)\n",
                    round + 1, tool.last(), backupOnly.last(), backupOnly.last() / tool.last(), program.last(), second.last(),
                    second.last() / program.last());
    }
    const auto best = [](const QList<double> &times) { return *std::min_element(times.begin(), times.end()); };
    std::printf("Best: idevicebackup2 alone %.2f s, program's backup %.2f s, ratio %.2f (goal: 1.0 or less)\n", best(tool),
                best(backupOnly), best(backupOnly) / best(tool));
    std::printf("Best: program with reading %.2f s, ratio %.2f to the tool alone\n", best(program), best(program) / best(tool));
    std::printf("Second load after one new message: %.2f s, %.2f of the first (goal: 0.10 or less)\n", best(second),
                best(second) / best(program));
    std::printf("Program's peak memory: %.1f MiB (goal: below 200 MiB)\n", peak / 1048576.0);
    return 0;
}

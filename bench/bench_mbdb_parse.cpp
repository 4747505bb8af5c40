// Reading Manifest.mbdb and building the file tree of a large backup (500,000 records), in MB/s,
// beside the speed of merely hashing the same bytes (SHA-1) in the same run.
#include "PhoneFileRecords.h"
#include "itunes/BackupFileTree.h"
#include "itunes/ManifestDb.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRecords = 500000;

double megabytesPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return double(bytes) / 1e6 / (double(nanoseconds) / 1e9);
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Manifest.mbdb"));
    writeManifestDb(phoneFileRecords(kRecords), path);
    const qint64 bytes = QFileInfo(path).size();
    std::printf("Manifest.mbdb: %d records, %.1f MB\n", kRecords, double(bytes) / 1e6);

    qint64 bestHash = -1, bestParse = -1, bestTree = -1;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
        const qint64 hashNs = timer.nsecsElapsed();

        timer.restart();
        const MbdbIndex index = readManifestDb(path);
        const qint64 parseNs = timer.nsecsElapsed();
        BackupFileTree tree;
        tree.build(index);
        const qint64 treeNs = timer.nsecsElapsed();
        if (index.size() != kRecords || digest.isEmpty() || tree.allNodes().isEmpty()) {
            std::fprintf(stderr, "unexpected result\n");
            return 1;
        }
        bestHash = bestHash < 0 ? hashNs : std::min(bestHash, hashNs);
        bestParse = bestParse < 0 ? parseNs : std::min(bestParse, parseNs);
        bestTree = bestTree < 0 ? treeNs : std::min(bestTree, treeNs);
    }
    std::printf("baseline: read + SHA-1 of the file       %8.1f MB/s\n", megabytesPerSecond(bytes, bestHash));
    std::printf("readManifestDb (read + parse + index)    %8.1f MB/s\n", megabytesPerSecond(bytes, bestParse));
    std::printf("readManifestDb + file tree               %8.1f MB/s  (%.0f ms)\n", megabytesPerSecond(bytes, bestTree),
                double(bestTree) / 1e6);
    return 0;
}

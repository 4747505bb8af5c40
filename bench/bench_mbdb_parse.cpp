// Reading Manifest.mbdb and building the file tree of a large backup (500,000 records), in MB/s,
// beside the speed of merely hashing the same bytes (SHA-1) in the same run.
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

// A phone's spread of domains: a crowded home and camera roll, a couple of hundred apps.
MbdbIndex makeIndex()
{
    QRandomGenerator random(42);
    MbdbIndex index;
    index.reserve(kRecords);
    QList<QByteArray> domains = {"HomeDomain", "CameraRollDomain", "MediaDomain", "WirelessDomain", "KeychainDomain"};
    for (int app = 0; app < 200; ++app)
        domains.append("AppDomain-com.vendor" + QByteArray::number(app) + ".app");
    for (int app = 0; app < 20; ++app)
        domains.append("AppDomainGroup-group.com.vendor" + QByteArray::number(app));
    int made = 0;
    while (index.size() < kRecords) {
        const QByteArray domain = domains.at(int(random.bounded(qsizetype(domains.size()))));
        QByteArray folder = random.bounded(2) ? "Library/Caches" : "Documents";
        const int depth = int(random.bounded(4));
        for (int d = 0; d < depth; ++d)
            folder += "/folder" + QByteArray::number(random.bounded(40));
        const int files = 1 + int(random.bounded(30));
        for (int f = 0; f <= files && index.size() < kRecords; ++f, ++made) {
            _MbdbRecord rec;
            rec.domain = domain;
            rec.path = f == 0 ? folder : folder + "/file-" + QByteArray::number(random.generate()) + ".dat";
            rec.mode = f == 0 ? 040755 : 0100644;
            rec.inodeLow = quint32(made);
            rec.userId = rec.groupId = 501;
            rec.modificationTime = rec.accessTime = rec.changeTime = 1450000000 + quint32(made);
            rec.size = f == 0 ? 0 : 1 + random.bounded(1000000);
            rec.protectionClass = f == 0 ? 0 : 3;
            if (f != 0)
                rec.dataHash = QCryptographicHash::hash(rec.path.bytes, QCryptographicHash::Sha1);
            index.insert(backupFileName(rec.domain.bytes, rec.path.bytes), rec);
        }
    }
    return index;
}

double megabytesPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return double(bytes) / 1e6 / (double(nanoseconds) / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Manifest.mbdb"));
    writeManifestDb(makeIndex(), path);
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

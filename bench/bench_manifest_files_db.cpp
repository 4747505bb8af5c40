// Reading a Manifest.db of 300,000 rows (every MBFile archive, then the file tree), beside the
// sqlite3 shell reading the same rows and blobs in the same run.
#include "BenchSupport.h"
#include "PhoneFileRecords.h"

#include "itunes/BackupFileTree.h"
#include "itunes/ManifestFilesDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

constexpr int kRows = 300000;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Manifest.db"));
    writeManifestFilesDb(phoneFileRecords(kRows), path);
    std::printf("Manifest.db: %d rows, %.1f MB\n", kRows, double(QFileInfo(path).size()) / 1e6);

    double bestShell = -1, bestRead = -1;
    for (int round = 0; round < 3; ++round) {
        const double shell = BenchSupport::shellSeconds(
            path, "SELECT fileID, domain, relativePath, flags, hex(file) FROM Files;\n");
        QElapsedTimer timer;
        timer.start();
        const ManifestFilesContent content = readManifestFilesDb(path, path);
        BackupFileTree tree;
        tree.build(content.index);
        const double read = timer.nsecsElapsed() / 1e9;
        if (content.index.size() != kRows || tree.isEmpty()) {
            std::printf("read %lld rows of %d: wrong\n", qlonglong(content.index.size()), kRows);
            return 1;
        }
        if (shell >= 0 && (bestShell < 0 || shell < bestShell))
            bestShell = shell;
        if (bestRead < 0 || read < bestRead)
            bestRead = read;
    }
    std::printf("  read + tree:        %.3f s\n", bestRead);
    if (bestShell >= 0)
        std::printf("  sqlite3 shell rows: %.3f s   ratio %.2f\n", bestShell, bestRead / bestShell);
    else
        std::printf("  sqlite3 shell:      not available\n");
    return 0;
}

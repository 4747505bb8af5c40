// Extracting a 512 MiB file from an encrypted iTunes backup, beside
// `openssl enc -d -aes-256-cbc -nopad` decrypting the same stored bytes in the same run.
#include "ItunesBackupBuilder.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr qint64 kFileBytes = 512LL * 1024 * 1024;
constexpr int kRounds = 3;

QByteArray writeRandomFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray block(1 << 20, '\0');
    QRandomGenerator random(1);
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    for (qint64 done = 0; done < kFileBytes; done += block.size()) {
        block[0] = char(done >> 20);   // no two blocks alike
        block[1] = char(done >> 28);
        file.write(block);
        hash.addData(block);
    }
    return hash.result();
}

QByteArray fileSha1(const QString &path, qint64 limit)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    qint64 left = limit;
    while (left > 0) {
        const QByteArray chunk = file.read(std::min<qint64>(left, 1 << 20));
        if (chunk.isEmpty())
            break;
        hash.addData(chunk);
        left -= chunk.size();
    }
    return hash.result();
}

double mibPerSecond(qint64 ns)
{
    return double(kFileBytes) / (1024.0 * 1024.0) / (double(ns) / 1e9);
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain.bin"));
    const QByteArray plainHash = writeRandomFile(plain);

    ItunesBackupBuilder builder;
    builder.setPassword(QStringLiteral("bench"), 1000);
    builder.addLocalFile(QStringLiteral("AppDomain-com.kik.chat"), QStringLiteral("Documents/big.bin"), plain);
    const QString folder = dir.filePath(QStringLiteral("backup"));
    try {
        builder.build(folder);
    } catch (const std::runtime_error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    QFile::remove(plain);

    BackupManifest backup(folder);
    backup.readInfo();
    backup.load();
    if (!backup.unlock(Secret::fromUtf8("bench"))) {
        std::fprintf(stderr, "backup does not unlock\n");
        return 1;
    }
    const BackupFileNode *node = backup.fileTree().node(QStringLiteral("Applications/com.kik.chat/Documents/big.bin"));
    const QString stored = QDir(folder).filePath(node->backupName());
    const QByteArray key = backup.keybag()->fileKey(node->record().protectionClass, node->record().encryptionKey.bytes);
    const QStringList opensslArgs = {QStringLiteral("enc"),
                                     QStringLiteral("-d"),
                                     QStringLiteral("-aes-256-cbc"),
                                     QStringLiteral("-K"),
                                     QString::fromLatin1(key.toHex()),
                                     QStringLiteral("-iv"),
                                     QString(32, QLatin1Char('0')),
                                     QStringLiteral("-nopad"),
                                     QStringLiteral("-in"),
                                     stored,
                                     QStringLiteral("-out"),
                                     dir.filePath(QStringLiteral("openssl.out"))};
    const QString ours = dir.filePath(QStringLiteral("extract.out"));

    qint64 bestOurs = -1, bestOpenssl = -1;
    for (int round = 0; round < kRounds; ++round) {
        QFile::remove(ours);
        QFile::remove(dir.filePath(QStringLiteral("openssl.out")));
        QElapsedTimer timer;
        timer.start();
        backup.extractFile(node, ours);
        const qint64 oursNs = timer.nsecsElapsed();

        timer.restart();
        if (QProcess::execute(QStringLiteral("openssl"), opensslArgs) != 0) {
            std::fprintf(stderr, "openssl enc failed\n");
            return 1;
        }
        const qint64 opensslNs = timer.nsecsElapsed();
        bestOurs = bestOurs < 0 ? oursNs : std::min(bestOurs, oursNs);
        bestOpenssl = bestOpenssl < 0 ? opensslNs : std::min(bestOpenssl, opensslNs);
    }
    const bool same = fileSha1(ours, kFileBytes) == plainHash
                      && fileSha1(dir.filePath(QStringLiteral("openssl.out")), kFileBytes) == plainHash
                      && QFileInfo(ours).size() == kFileBytes;
    std::printf("baseline: openssl enc -d -aes-256-cbc   %8.1f MiB/s\n", mibPerSecond(bestOpenssl));
    std::printf("BackupManifest::extractFile            %8.1f MiB/s\n", mibPerSecond(bestOurs));
    std::printf("ratio (ours / openssl)                  %8.2f   output %s\n", double(bestOpenssl) / double(bestOurs),
                same ? "identical to the original" : "DIFFERS");
    return same ? 0 : 1;
}

// Unlocking an encrypted backup whose keybag has the cost phones give it (DPIC 10,000,000
// rounds of PBKDF2-HMAC-SHA256, then ITER 10,000 of PBKDF2-HMAC-SHA1), beside OpenSSL's
// PKCS5_PBKDF2_HMAC doing the same two-stage derivation alone, in the same run.
#include "BenchSupport.h"
#include "ItunesBackupBuilder.h"
#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "workers/UnlockBackupThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr quint32 kDpic = 10000000;
constexpr quint32 kIter = 10000;
constexpr int kRounds = 3;
const QString kPassword = QStringLiteral("correct horse battery staple");

QByteArray opensslTwoStage(const BackupKeybag &bag)
{
    const QByteArray password = kPassword.toUtf8();
    const QByteArray dpsl = bag.attributes().value("DPSL"), salt = bag.attributes().value("SALT");
    unsigned char stage1[32], key[32];
    PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), reinterpret_cast<const uchar *>(dpsl.constData()),
                      int(dpsl.size()), int(BackupKeybag::number(bag.attributes().value("DPIC"))), EVP_sha256(), 32, stage1);
    PKCS5_PBKDF2_HMAC(reinterpret_cast<const char *>(stage1), 32, reinterpret_cast<const uchar *>(salt.constData()),
                      int(salt.size()), int(BackupKeybag::number(bag.attributes().value("ITER"))), EVP_sha1(), 32, key);
    return QByteArray(reinterpret_cast<const char *>(key), 32);
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ItunesBackupBuilder builder;
    builder.setPassword(kPassword, kIter);
    builder.setKeybagFormat(ItunesBackupBuilder::KeybagFormat::Modern, kDpic);
    builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
    try {
        builder.build(dir.path());
    } catch (const std::runtime_error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    auto backup = QSharedPointer<BackupManifest>::create(dir.path());
    backup->readInfo();
    const BackupKeybag bag = BackupKeybag::parseKeybag(backup->keybagBlob());

    qint64 bestOurs = -1, bestOpenssl = -1;
    bool unlocked = true;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        BenchSupport::QuietProgress progress;
        UnlockBackupThread worker(backup, Secret::fromUtf8(kPassword.toUtf8()), &progress);
        worker.start();
        worker.wait();
        const qint64 oursNs = timer.nsecsElapsed();
        unlocked = unlocked && worker.keybag() && worker.keybag()->classKeys().value(3).value("KEY") == builder.classKey(3);

        timer.restart();
        const QByteArray key = opensslTwoStage(bag);
        const qint64 opensslNs = timer.nsecsElapsed();
        unlocked = unlocked && key.size() == 32;
        bestOurs = bestOurs < 0 ? oursNs : std::min(bestOurs, oursNs);
        bestOpenssl = bestOpenssl < 0 ? opensslNs : std::min(bestOpenssl, opensslNs);
    }
    std::printf("keybag DPIC %u, ITER %u, best of %d\n", kDpic, kIter, kRounds);
    std::printf("baseline: PKCS5_PBKDF2_HMAC, both stages   %8.3f s\n", double(bestOpenssl) / 1e9);
    std::printf("UnlockBackupThread (parse, derive, unwrap) %8.3f s\n", double(bestOurs) / 1e9);
    std::printf("ratio (ours / baseline)                    %8.2f   goal <= 1.30   %s\n", double(bestOurs) / double(bestOpenssl),
                unlocked ? "unlocked" : "DID NOT UNLOCK");
    return unlocked ? 0 : 1;
}

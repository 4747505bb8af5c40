// Reading a Manifest.db of 300,000 rows (every MBFile archive, then the file tree), beside the
// sqlite3 shell reading the same rows and blobs in the same run; and the same list encrypted, as
// iOS 10.2 and later store it: this program decrypting it to a private copy and reading that,
// beside `openssl enc -d` followed by the shell.
#include "BenchSupport.h"
#include "PhoneFileRecords.h"

#include "itunes/AesCbcDecryptor.h"
#include "itunes/AesCbcEncryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupFileTree.h"
#include "itunes/ManifestFilesDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRows = 300000;
constexpr int kRounds = 5;
constexpr qint64 kPieceBytes = 1 << 20;
const QByteArray kShellQuery = "SELECT fileID, domain, relativePath, flags, hex(file) FROM Files;\n";

[[noreturn]] void die(const char *what)
{
    std::printf("%s\n", what);
    std::exit(1);
}

void encryptFile(const QString &from, const QString &to, const QByteArray &key)
{
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        die("cannot make the encrypted copy");
    AesCbcEncryptor encryptor(key);
    while (!in.atEnd())
        out.write(encryptor.encrypt(in.read(kPieceBytes)));
    out.write(encryptor.finish());
}

// What the program does with an encrypted list: decrypt it to a private copy, padding dropped.
void decryptFile(const QString &from, const QString &to, const QByteArray &key)
{
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || in.size() % 16 != 0)
        die("cannot decrypt the encrypted copy");
    AesCbcDecryptor decryptor(key);
    QByteArray piece(kPieceBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(piece.data(), kPieceBytes);
        if (got <= 0)
            break;
        auto *bytes = reinterpret_cast<uchar *>(piece.data());
        decryptor.decrypt(bytes, bytes, size_t(got));
        qint64 keep = got;
        if (in.atEnd()) {
            QByteArray last = piece.mid(got - 16, 16);
            if (!pkcs7Unpad(last))
                die("bad padding");
            keep = got - 16 + last.size();
        }
        out.write(piece.constData(), keep);
    }
}

double openSslSeconds(const QString &from, const QString &to, const QByteArray &key)
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        return -1;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(openssl, {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"), QStringLiteral("-K"),
                            QString::fromLatin1(key.toHex()), QStringLiteral("-iv"), QString(32, QLatin1Char('0')),
                            QStringLiteral("-in"), from, QStringLiteral("-out"), to});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

double readSeconds(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    const ManifestFilesContent content = readManifestFilesDb(path, path);
    BackupFileTree tree;
    tree.build(content.index);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (content.index.size() != kRows || tree.isEmpty())
        die("the list read back is wrong");
    return seconds;
}

// Times of the rounds; printed as best, median and worst (the machine may be shared).
struct Figure
{
    QList<double> seconds;
    bool failed = false;

    void add(double s) { s < 0 ? void(failed = true) : seconds.append(s); }
    double median() const
    {
        QList<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }
    double best() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double worst() const { return *std::max_element(seconds.begin(), seconds.end()); }
    void print(const char *name) const
    {
        if (failed)
            std::printf("  %-34s not available\n", name);
        else
            std::printf("  %-34s %.3f s  (best %.3f, worst %.3f)\n", name, median(), best(), worst());
    }
};

void printRatio(const char *name, const Figure &ours, const Figure &baseline)
{
    if (!baseline.failed)
        std::printf("  %-34s %.2f  (of best times %.2f)\n", name, ours.median() / baseline.median(),
                    ours.best() / baseline.best());
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("Manifest.db"));
    const QString encrypted = dir.filePath(QStringLiteral("Manifest.db.encrypted"));
    const QString shellCopy = dir.filePath(QStringLiteral("openssl.db"));
    const QString ownCopy = dir.filePath(QStringLiteral("decrypted.db"));
    writeManifestFilesDb(phoneFileRecords(kRows), plain);
    QByteArray key(32, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(key.data()), 8);
    encryptFile(plain, encrypted, key);
    std::printf("Manifest.db: %d rows, %.1f MB; median of %d rounds\n", kRows, double(QFileInfo(plain).size()) / 1e6, kRounds);

    Figure shell, read, openSslShell, decryptRead;
    for (int round = 0; round < kRounds; ++round) {
        shell.add(BenchSupport::shellSeconds(plain, kShellQuery));
        read.add(readSeconds(plain));

        const double openSsl = openSslSeconds(encrypted, shellCopy, key);
        const double shellOnCopy = BenchSupport::shellSeconds(shellCopy, kShellQuery);
        openSslShell.add(openSsl < 0 || shellOnCopy < 0 ? -1 : openSsl + shellOnCopy);
        QFile::remove(shellCopy);

        QElapsedTimer timer;
        timer.start();
        decryptFile(encrypted, ownCopy, key);
        const double decrypt = timer.nsecsElapsed() / 1e9;
        decryptRead.add(decrypt + readSeconds(ownCopy));
        QFile::remove(ownCopy);
    }
    std::printf("plain list\n");
    read.print("read + tree:");
    shell.print("sqlite3 shell rows:");
    printRatio("ratio:", read, shell);
    std::printf("encrypted list\n");
    decryptRead.print("decrypt + read + tree:");
    openSslShell.print("openssl enc -d + sqlite3 shell:");
    printRatio("ratio:", decryptRead, openSslShell);
    return 0;
}

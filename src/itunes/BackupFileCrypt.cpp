#include "itunes/BackupFileCrypt.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "app/RegularFile.h"
#include "itunes/AesCbcDecryptor.h"
#include "itunes/AesCbcEncryptor.h"
#include "itunes/BackupCrypto.h"

#include <QFile>

namespace {

constexpr qint64 kBlockBytes = 16;
constexpr qint64 kBatchBytes = 1 << 20;
const QByteArray kSqliteHeader("SQLite format 3\0", 16);
constexpr int kPageSizeOffset = 16;

// The page size a database header gives (two bytes, big-endian; 1 stands for 65536).
qint64 sqlitePageBytes(const QByteArray &header)
{
    const int value = (uchar(header[kPageSizeOffset]) << 8) | uchar(header[kPageSizeOffset + 1]);
    return value == 1 ? 65536 : value >= 512 ? value : 512;
}

void openBoth(QFile &in, QFile &out)
{
    openRegularFileThrow(in, in.fileName());
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        failWith(QStringLiteral("can not create %1. %2").arg(out.fileName(), fileWriteReason(out)));
}

void writeAll(QFile &out, const QByteArray &bytes)
{
    if (out.write(bytes) != bytes.size())
        failWith(QStringLiteral("can not write %1. %2").arg(out.fileName(), fileWriteReason(out)));
}

QByteArray readBatch(QFile &in)
{
    QByteArray bytes = in.read(kBatchBytes);
    if (bytes.isEmpty() && in.error() != QFileDevice::NoError)
        failWith(QStringLiteral("can not read %1. %2").arg(in.fileName(), in.errorString()));
    return bytes;
}

}   // namespace

qint64 encryptBackupFileThrow(const QString &source, const QString &target, const QByteArray &key)
{
    QFile in(source);
    QFile out(target);
    openBoth(in, out);
    AesCbcEncryptor encryptor(key);
    qint64 written = 0;
    for (QByteArray plain = readBatch(in); !plain.isEmpty(); plain = readBatch(in)) {
        const QByteArray cipher = encryptor.encrypt(plain);
        writeAll(out, cipher);
        written += cipher.size();
    }
    const QByteArray last = encryptor.finish();
    writeAll(out, last);
    if (!out.flush())
        failWith(QStringLiteral("can not write %1. %2").arg(target, fileWriteReason(out)));
    return written + last.size();
}

void decryptManifestFilesDbThrow(const QString &source, const QString &target, const QByteArray &key, const QString &sourceName)
{
    const QString damaged =
        QStringLiteral("%1 cannot be decrypted: the file is damaged or the wrong key was used.").arg(sourceName);
    QFile in(source);
    QFile out(target);
    openBoth(in, out);
    if (in.size() == 0 || in.size() % kBlockBytes != 0)
        failWith(damaged);
    AesCbcDecryptor decryptor(key);
    QByteArray held;   // the last block seen, written once it is known not to be the last
    qint64 pageBytes = 0;
    for (QByteArray batch = readBatch(in); !batch.isEmpty(); batch = readBatch(in)) {
        if (batch.size() % kBlockBytes != 0)
            failWith(damaged);   // the file changed while it was read
        auto *bytes = reinterpret_cast<uchar *>(batch.data());
        decryptor.decrypt(bytes, bytes, size_t(batch.size()));
        if (pageBytes == 0) {
            if (!batch.startsWith(kSqliteHeader) || batch.size() < kPageSizeOffset + 2)
                failWith(damaged);
            pageBytes = sqlitePageBytes(batch);
        }
        writeAll(out, held);
        held = batch.right(kBlockBytes);
        batch.chop(kBlockBytes);
        writeAll(out, batch);
    }
    // A file of whole pages was written without a padding block (some tools do so); any other
    // ends in one, and a byte changed near its end spoils it.
    if (in.size() % pageBytes != 0 && !pkcs7Unpad(held))
        failWith(QStringLiteral("%1 is damaged: its last block does not end in valid padding, so its end was changed or cut.")
                     .arg(sourceName));
    writeAll(out, held);
    if (!out.flush())
        failWith(QStringLiteral("can not write %1. %2").arg(target, fileWriteReason(out)));
}

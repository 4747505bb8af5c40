#include "TestEnv.h"
#include "ThrownText.h"
#include "WireBytes.h"

#include "itunes/AesCbcDecryptor.h"
#include "itunes/AesCbcEncryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupKeybag.h"

#include <QCryptographicHash>
#include <QtTest>

#include <stdexcept>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray counting(int from, int count)
{
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char(from + i);
    return bytes;
}

struct KeybagHeader
{
    QByteArray salt;
    quint32 iterations;
    QByteArray dpsl;   // empty: a keybag from before iOS 10.2
    quint32 dpic = 0;
};

// A keybag as phones write it, with one password-protected class.
QByteArray keybagBlob(const KeybagHeader &header, quint32 protectionClass, const QByteArray &wpky)
{
    QByteArray bag = tlv("VERS", be32(header.dpsl.isEmpty() ? 3 : 5)) + tlv("TYPE", be32(1)) + tlv("UUID", QByteArray(16, 'u'))
                     + tlv("HMCK", QByteArray(40, 'h')) + tlv("WRAP", be32(0)) + tlv("SALT", header.salt)
                     + tlv("ITER", be32(header.iterations));
    if (!header.dpsl.isEmpty())
        bag += tlv("DPWT", be32(1)) + tlv("DPIC", be32(header.dpic)) + tlv("DPSL", header.dpsl);
    return bag + tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", be32(protectionClass)) + tlv("WRAP", be32(3))
           + tlv("KTYP", be32(0)) + tlv("WPKY", wpky);
}

QByteArray decrypted(const QByteArray &key, QByteArray cipher)
{
    AesCbcDecryptor decryptor(key);
    auto *bytes = reinterpret_cast<uchar *>(cipher.data());
    decryptor.decrypt(bytes, bytes, size_t(cipher.size()));
    return pkcs7Unpad(cipher) ? cipher : QByteArray("(bad padding)");
}

QByteArray encrypted(const QByteArray &key, const QByteArray &plain)
{
    AesCbcEncryptor encryptor(key);
    const QByteArray body = encryptor.encrypt(plain);
    return body + encryptor.finish();
}

const KeybagHeader kHashcat{hex("2721336781705041205314422175267631184867"), 10000,
                            hex("99fafc983e732998adb9fadc162a2e382143f115"), 1000};
const QByteArray kHashcatWpky = hex("17a3b858e79bc273be43a9f113b71efe7ec8e7e401396b350180b4592ef45db67ffef7b2d64329a5");

}   // namespace

class TestBackupKeybag : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void knownAnswers()
    {
        // PBKDF2-HMAC-SHA256 (RFC 7914, section 11).
        QCOMPARE(pbkdf2HmacSha256("passwd", "salt", 1, 64).toHex(),
                 QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"));

        // hashcat's self-test: the two-stage derivation of iOS 10.2 and later.
        BackupKeybag hashcat = BackupKeybag::parseKeybag(keybagBlob(kHashcat, 1, kHashcatWpky));
        QVERIFY(hashcat.unlock("hashcat"));
        QCOMPARE(hashcat.classKeys().value(1).value("KEY").toHex(),
                 QByteArray("2ed7042e87b50000fa6ba698661c000013194470a1f70000c35bd72ce0360000"));
        QVERIFY(!hashcat.unlock("hashcaT"));
        QVERIFY(!hashcat.classKeys().value(1).contains("KEY"));

        // The project's own vector, down to a file.
        const KeybagHeader own{counting(0x21, 20), 10000, counting(0x01, 20), 1000};
        BackupKeybag bag = BackupKeybag::parseKeybag(
            keybagBlob(own, 3, hex("70d3e53df6c56d8195eca26a5b89a318c98bcdbf9c542ffd199aa2732894c65ba71a308bb0447a54")));
        QVERIFY(bag.unlock("parlewick"));
        QCOMPARE(bag.classKeys().value(3).value("KEY"), counting(0x40, 32));
        const QByteArray fileKey =
            bag.fileKey(3, hex("03000000838fd5a6e263fbd3a563e678bf04e10ceb8e921406bdd4c53e486afeb41c73d10e565eadc42515b4"));
        QCOMPARE(fileKey, counting(0x60, 32));
        const QByteArray helloCipher = encrypted(fileKey, "hello kik\n");
        QCOMPARE(helloCipher.toHex(), QByteArray("27e13367f5f9302209e6eca585b5307c"));
        const QByteArray digest = QCryptographicHash::hash(helloCipher, QCryptographicHash::Sha1).toHex();
        QVERIFY(digest.startsWith("ac1f8b7b") && digest.endsWith("89014349"));
        QCOMPARE(decrypted(fileKey, helloCipher), QByteArray("hello kik\n"));
        QCOMPARE(encrypted(fileKey, QByteArray()).toHex(), QByteArray("bf619edf9e6f14874f4b60883b10deb7"));
        QCOMPARE(decrypted(fileKey, hex("bf619edf9e6f14874f4b60883b10deb7")), QByteArray(""));

        // Before iOS 10.2: SHA-1 only. Its class 2 key (zeros) wraps a Manifest.db key (zeros).
        const KeybagHeader old{QByteArray(20, '\0'), 10000, QByteArray()};
        BackupKeybag oldBag = BackupKeybag::parseKeybag(
            keybagBlob(old, 2, hex("eba582ae3f5731863d270bd875e4c15566bd7847f98536f6674cf6cadc113f8b5bb7a71ebc48b7a5")));
        QVERIFY(oldBag.unlock("0000"));
        QCOMPARE(oldBag.classKeys().value(2).value("KEY"), QByteArray(32, '\0'));
        const QByteArray manifestKey =
            hex("0200000097317494343807e690fd1e431413963dc0e3deb4907fb89fa36ce65126d0ea1301381fb3a2941e2f");
        const QByteArray dbKey = oldBag.unwrapManifestKey(manifestKey);
        QCOMPARE(dbKey, QByteArray(32, '\0'));
        QCOMPARE(decrypted(dbKey, hex("78b51ca5374c3ad575174288688cda49")), QByteArray("Test data"));
    }

    void manifestKeyFailuresAreClear()
    {
        const KeybagHeader old{QByteArray(20, '\0'), 10000, QByteArray()};
        BackupKeybag bag = BackupKeybag::parseKeybag(
            keybagBlob(old, 2, hex("eba582ae3f5731863d270bd875e4c15566bd7847f98536f6674cf6cadc113f8b5bb7a71ebc48b7a5")),
            QStringLiteral("/b/Manifest.plist"));
        const QByteArray wrapped = hex("97317494343807e690fd1e431413963dc0e3deb4907fb89fa36ce65126d0ea1301381fb3a2941e2f");
        const QByteArray classTwo("\x02\0\0\0", 4);
        // Still locked: no class is unlocked yet.
        QVERIFY(thrownText([&] { bag.unwrapManifestKey(classTwo + wrapped); }).contains("class 2"));
        QVERIFY(bag.unlock("0000"));
        // The class is little-endian: class 2 spelt big-endian names another class.
        QCOMPARE(thrownText([&] { bag.unwrapManifestKey(QByteArray("\0\0\0\x02", 4) + wrapped); }),
                 QStringLiteral("The ManifestKey in /b/Manifest.plist names protection class 33554432, which the "
                                "keybag does not unlock."));
        QByteArray flipped = classTwo + wrapped;
        flipped[20] = char(flipped[20] ^ 0x01);
        QVERIFY(thrownText([&] { bag.unwrapManifestKey(flipped); }).contains("does not unwrap"));
        QVERIFY(thrownText([&] { bag.unwrapManifestKey(classTwo + wrapped.left(32)); }).contains("36 bytes long"));
    }

    void damagedKeybagIsNoWrongPassword_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<QString>("reason");
        auto protectedClass = [](const QByteArray &wrapped) {
            return tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", be32(1)) + tlv("WRAP", be32(2)) + tlv("WPKY", wrapped);
        };
        const QByteArray wpky = protectedClass(kHashcatWpky);
        const QByteArray salt = tlv("SALT", kHashcat.salt), iter = tlv("ITER", be32(10000));
        const QByteArray dp = tlv("DPIC", be32(1000)) + tlv("DPSL", kHashcat.dpsl);
        const QByteArray head = tlv("UUID", QByteArray(16, 'u')) + tlv("WRAP", be32(0));
        QTest::newRow("no SALT") << head + iter + dp + wpky << "SALT";
        QTest::newRow("short SALT") << head + tlv("SALT", QByteArray(19, 's')) + iter + dp + wpky << "SALT";
        QTest::newRow("no ITER") << head + salt + dp + wpky << "ITER";
        QTest::newRow("ITER 0") << head + salt + tlv("ITER", be32(0)) + dp + wpky << "ITER";
        QTest::newRow("ITER absurd") << head + salt + tlv("ITER", be32(0x7FFFFFFF)) + dp + wpky << "ITER";
        QTest::newRow("DPSL alone") << head + salt + iter + tlv("DPSL", kHashcat.dpsl) + wpky << "DPSL and DPIC";
        QTest::newRow("DPIC absurd") << head + salt + iter + tlv("DPIC", be32(0xFFFFFFFF)) + tlv("DPSL", kHashcat.dpsl) + wpky
                                     << "DPIC";
        QTest::newRow("short DPSL") << head + salt + iter + tlv("DPIC", be32(1000)) + tlv("DPSL", QByteArray(8, 'd')) + wpky
                                    << "DPSL";
        QTest::newRow("short WPKY") << head + salt + iter + dp + protectedClass(kHashcatWpky.left(39)) << "class 1";
        QByteArray flipped = kHashcatWpky;
        flipped[20] = char(flipped[20] ^ 0x40);
        const QByteArray damagedClass =
            tlv("UUID", QByteArray(16, 'd')) + tlv("CLAS", be32(3)) + tlv("WRAP", be32(2)) + tlv("WPKY", flipped);
        QTest::newRow("one key damaged") << head + salt + iter + dp + wpky + damagedClass << "class 3 does not open";
    }
    void damagedKeybagIsNoWrongPassword()
    {
        QFETCH(QByteArray, blob);
        QFETCH(QString, reason);
        BackupKeybag bag = BackupKeybag::parseKeybag(blob, QStringLiteral("/b/Manifest.plist"));
        const QString text = thrownText([&] { bag.unlock("hashcat"); });
        QVERIFY2(text.startsWith(QStringLiteral("The keybag in /b/Manifest.plist is damaged: ")), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestBackupKeybag)
#include "TestBackupKeybag.moc"

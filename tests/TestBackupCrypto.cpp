#include "TestEnv.h"
#include "WireBytes.h"

#include "itunes/AesCbcDecryptor.h"
#include "itunes/AesCbcEncryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupKeybag.h"

#include <QRandomGenerator>
#include <QtTest>

#include <stdexcept>

namespace {

QByteArray bytesOf(int count, char fill)
{
    return QByteArray(count, fill);
}

// A keybag as phones write it: header attributes, then one UUID-led entry per class.
QByteArray makeKeybag(const QByteArray &password, quint32 iterations, const QList<QPair<int, quint32>> &classes,
                      QMap<int, QByteArray> *classKeys)
{
    const QByteArray salt = bytesOf(20, 's');
    const QByteArray passwordKey = pbkdf2HmacSha1(password, salt, iterations, 32);
    QByteArray bag = tlv("VERS", be32(3)) + tlv("TYPE", be32(1)) + tlv("UUID", bytesOf(16, 'u')) + tlv("WRAP", be32(0))
                     + tlv("SALT", salt) + tlv("ITER", be32(iterations));
    for (const auto &[cls, wrap] : classes) {
        const QByteArray key = bytesOf(32, char('A' + cls));
        if (classKeys)
            classKeys->insert(cls, key);
        const QByteArray wrapped = wrap & 2 ? aesKeyWrap(passwordKey, key) : bytesOf(40, 'h');
        bag += tlv("UUID", bytesOf(16, char(cls))) + tlv("CLAS", be32(quint32(cls))) + tlv("WRAP", be32(wrap))
               + tlv("KTYP", be32(0)) + tlv("WPKY", wrapped);
    }
    return bag;
}

}   // namespace

class TestBackupCrypto : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void pbkdf2PublishedVectors_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<quint32>("iterations");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("c=1") << QByteArray("password") << QByteArray("salt") << 1u
                             << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6");
        QTest::newRow("c=2") << QByteArray("password") << QByteArray("salt") << 2u
                             << QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
        QTest::newRow("c=4096") << QByteArray("password") << QByteArray("salt") << 4096u
                                << QByteArray("4b007901b765489abead49d926f721d065a429c1");
        QTest::newRow("long, 25 bytes") << QByteArray("passwordPASSWORDpassword")
                                        << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096u
                                        << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
        QTest::newRow("embedded NUL") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096u
                                      << QByteArray("56fa6aa75548099dcc37d7f03425e0c3");
    }
    void pbkdf2PublishedVectors()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(quint32, iterations);
        QFETCH(QByteArray, expected);
        QCOMPARE(pbkdf2HmacSha1(password, salt, iterations, int(expected.size() / 2)).toHex(), expected);
    }

    void keyWrapPublishedVectors_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("wrapped");
        QTest::newRow("128-bit key") << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF")
                                     << QByteArray::fromHex("64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7");
        QTest::newRow("192-bit key") << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF0001020304050607")
                                     << QByteArray::fromHex("A8F9BC1612C68B3FF6E6F4FBE30E71E4769C8B80A32CB8958CD5D17D6B254DA1");
        QTest::newRow("256-bit key") << QByteArray::fromHex("00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F")
                                     << QByteArray::fromHex(
                                            "28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
    }
    void keyWrapPublishedVectors()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, wrapped);
        const QByteArray kek = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
        QCOMPARE(aesKeyWrap(kek, plain), wrapped);
        QCOMPARE(aesKeyUnwrap(kek, wrapped), plain);
    }

    void keyUnwrapRejectsWrongKeyAndDamage()
    {
        const QByteArray kek(32, '\x01');
        const QByteArray key(32, '\x5a');
        const QByteArray wrapped = aesKeyWrap(kek, key);
        QCOMPARE(wrapped.size(), 40);
        QVERIFY(aesKeyUnwrap(QByteArray(32, '\x02'), wrapped).isEmpty());
        QByteArray flipped = wrapped;
        flipped[17] = char(flipped[17] ^ 0x01);
        QVERIFY(aesKeyUnwrap(kek, flipped).isEmpty());
        QVERIFY(aesKeyUnwrap(kek, wrapped.left(39)).isEmpty());   // not n x 8 bytes
        QVERIFY(aesKeyUnwrap(kek, wrapped.left(8)).isEmpty());    // no key in it
        QVERIFY(aesKeyUnwrap(kek.left(16), wrapped).isEmpty());   // only 256-bit KEKs
    }

    void cbcPublishedVector()
    {
        // NIST SP 800-38A, F.2.5/F.2.6 CBC-AES256
        const QByteArray key = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
        const QByteArray iv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        const QByteArray cipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                                      "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
        const QByteArray plain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                                                     "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
        AesCbcDecryptor decryptor(key, iv);
        QByteArray out(cipher.size(), '\0');
        decryptor.decrypt(reinterpret_cast<const uchar *>(cipher.constData()), reinterpret_cast<uchar *>(out.data()),
                          size_t(cipher.size()));
        QCOMPARE(out.toHex(), plain.toHex());
        AesCbcEncryptor encryptor(key, iv);
        // Whole blocks come out at once, then one block of nothing but padding.
        const QByteArray first = encryptor.encrypt(plain.left(20));
        QCOMPARE((first + encryptor.encrypt(plain.mid(20))).toHex(), cipher.toHex());
        QCOMPARE(encryptor.finish().size(), 16);
    }

    void cbcStreamsInPiecesRoundTrip()
    {
        // Fed in uneven pieces (chaining across calls, in place), both directions must give
        // what one call gives, and the padding must come off again.
        QRandomGenerator random(7);
        const QByteArray key = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
        for (int size : {0, 1, 15, 16, 17, 16 * 1000 + 5}) {
            QByteArray plain(size, '\0');
            for (char &c : plain)
                c = char(random.bounded(256));
            AesCbcEncryptor whole(key);
            QByteArray expected = whole.encrypt(plain);
            expected += whole.finish();
            QCOMPARE(expected.size(), (size / 16 + 1) * 16);
            AesCbcEncryptor pieces(key);
            QByteArray cipher;
            for (qsizetype at = 0; at < size; at += 7)
                cipher += pieces.encrypt(plain.mid(at, 7));
            cipher += pieces.finish();
            QCOMPARE(cipher, expected);

            AesCbcDecryptor decryptor(key);
            QByteArray data = cipher;
            auto *bytes = reinterpret_cast<uchar *>(data.data());
            size_t done = 0;
            for (size_t piece : {16u, 48u, 128u, 144u}) {
                if (done + piece > size_t(data.size()))
                    break;
                decryptor.decrypt(bytes + done, bytes + done, piece);
                done += piece;
            }
            decryptor.decrypt(bytes + done, bytes + done, size_t(data.size()) - done);
            QVERIFY(pkcs7Unpad(data));
            QCOMPARE(data, plain);
        }
    }

    void pkcs7UnpadRefusesBadPadding_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not whole blocks") << QByteArray(15, '\x01');
        QTest::newRow("count 0") << QByteArray(15, 'a') + QByteArray(1, '\0');
        QTest::newRow("count 17") << QByteArray(32, '\x11');
        QTest::newRow("uneven bytes") << QByteArray(13, 'a') + QByteArray::fromHex("020303");
    }
    void pkcs7UnpadRefusesBadPadding()
    {
        QFETCH(QByteArray, data);
        const QByteArray before = data;
        QVERIFY(!pkcs7Unpad(data));
        QCOMPARE(data, before);
    }

    void parseKeybagSortsAttributesAndClasses()
    {
        QByteArray blob = makeKeybag("pw", 10, {{1, 2}, {2, 1}}, nullptr);
        blob += tlv("UUID", bytesOf(16, 'z')) + tlv("CLAS", be32(1)) + tlv("WRAP", be32(1)) + tlv("XTRA", "x");
        const BackupKeybag bag = BackupKeybag::parseKeybag(blob);
        QCOMPARE(bag.attributes().value("UUID"), bytesOf(16, 'u'));   // the first UUID and WRAP
        QCOMPARE(BackupKeybag::number(bag.attributes().value("WRAP")), 0u);
        QCOMPARE(BackupKeybag::number(bag.attributes().value("ITER")), 10u);
        QVERIFY(bag.attributes().contains("XTRA"));   // unknown tags belong to the bag
        QCOMPARE(bag.classKeys().keys(), QList<quint32>({1, 2}));
        // A later entry with the same class number replaces the earlier one.
        QCOMPARE(bag.classKeys().value(1).value("UUID"), bytesOf(16, 'z'));
        QVERIFY(!bag.classKeys().value(1).contains("WPKY"));
        QCOMPARE(bag.classKeys().value(2).value("WPKY"), bytesOf(40, 'h'));
    }

    void parseKeybagRefusesCutRecords()
    {
        const QByteArray blob = makeKeybag("pw", 10, {{1, 2}}, nullptr);
        for (qsizetype cut : {qsizetype(3), qsizetype(7), blob.size() - 1}) {
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, BackupKeybag::parseKeybag(blob.left(cut)));
        }
        QByteArray huge = tlv("SALT", "abc");
        huge[7] = char(0xFF);   // length far beyond the blob
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, BackupKeybag::parseKeybag(huge));
    }

    void unlockRightAndWrongPassword()
    {
        QMap<int, QByteArray> keys;
        const QByteArray blob = makeKeybag("correct horse", 50, {{1, 2}, {3, 2}, {6, 1}}, &keys);
        BackupKeybag wrong = BackupKeybag::parseKeybag(blob);
        QVERIFY(!wrong.unlock("wrong horse"));
        for (const auto &entry : wrong.classKeys())
            QVERIFY(!entry.contains("KEY"));

        BackupKeybag bag = BackupKeybag::parseKeybag(blob);
        QVERIFY(bag.unlock("correct horse"));
        QCOMPARE(bag.classKeys().value(1).value("KEY"), keys.value(1));
        QCOMPARE(bag.classKeys().value(3).value("KEY"), keys.value(3));
        // A key tied to the phone's hardware stays locked.
        QVERIFY(!bag.classKeys().value(6).contains("KEY"));
    }

    void unlockRefusesKeybagsNoPasswordOpens()
    {
        // Nothing protected by the password: any password would "unlock" it.
        BackupKeybag hardwareOnly = BackupKeybag::parseKeybag(makeKeybag("pw", 10, {{6, 1}}, nullptr));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, hardwareOnly.unlock("pw"));
        // A forged iteration count would freeze the program.
        const QByteArray passwordClass = tlv("UUID", bytesOf(16, 'c')) + tlv("CLAS", be32(1)) + tlv("WRAP", be32(2))
                                         + tlv("WPKY", aesKeyWrap(QByteArray(32, 'k'), QByteArray(32, 'v')));
        BackupKeybag forged = BackupKeybag::parseKeybag(tlv("UUID", bytesOf(16, 'u')) + tlv("WRAP", be32(0))
                                                        + tlv("ITER", be32(0xFFFFFFF0u)) + passwordClass);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, forged.unlock("pw"));
        // Without SALT and ITER no password could open it: damaged, never a wrong password.
        BackupKeybag bare = BackupKeybag::parseKeybag(tlv("UUID", bytesOf(16, 'u')) + tlv("WRAP", be32(0)) + passwordClass);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, bare.unlock("pw"));
    }

    void fileKeyRules()
    {
        QMap<int, QByteArray> keys;
        BackupKeybag bag = BackupKeybag::parseKeybag(makeKeybag("pw", 10, {{3, 2}, {6, 1}}, &keys));
        QVERIFY(bag.unlock("pw"));
        const QByteArray fileKey(32, '\x42');
        const QByteArray wrapped = aesKeyWrap(keys.value(3), fileKey);
        // The class comes from the record, not from the four bytes in front of the key.
        const QByteArray field = QByteArray("\x09\0\0\0", 4) + wrapped;
        QCOMPARE(bag.fileKey(3, field), fileKey);
        QVERIFY(bag.fileKey(6, field).isEmpty());            // class still locked
        QVERIFY(bag.fileKey(9, field).isEmpty());            // no such class
        QVERIFY(bag.fileKey(3, field.left(43)).isEmpty());   // wrapped key not 40 bytes
        QVERIFY(bag.fileKey(3, field + "x").isEmpty());
        QVERIFY(bag.fileKey(3, QByteArray("abc")).isEmpty());
        QVERIFY(bag.fileKey(3, QByteArray(4, '\0') + aesKeyWrap(QByteArray(32, '\x07'), fileKey)).isEmpty());
        // A record without a class: the field's own, little-endian.
        QCOMPARE(bag.fileKey(0, QByteArray("\x03\0\0\0", 4) + wrapped), fileKey);
        QVERIFY(bag.fileKey(0, QByteArray("\0\0\0\x03", 4) + wrapped).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupCrypto)
#include "TestBackupCrypto.moc"

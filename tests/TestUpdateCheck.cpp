#include "LoopbackHttpServer.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/VendorHost.h"
#include "app/VolumeSerial.h"
#include "widgets/MessageBoxes.h"
#include "widgets/UpdateCheck.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWidget>
#include <QtTest>

#include <memory>

// The start-up version check and its advertisement against a loopback stand-in for the
// vendor's server, and the address of the manual check.
class TestUpdateCheck : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<LoopbackHttpServer> server;
    QList<QPair<QMessageBox::Icon, QString>> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QList<QUrl> opened;
    int exits = 0;

    static QString dataPath(const char *name) { return QDir(dataFolder()).filePath(QLatin1String(name)); }

    static QByteArray readFile(const char *name)
    {
        QFile file(dataPath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void removeRemembered()
    {
        for (const char *name : {LastCheckFileName, LastAdvFileName}) {
            QFile::remove(dataPath(name));
            QDir(dataPath(name)).removeRecursively();
        }
    }

    // The check time must be the moment of the check, as plain decimal seconds.
    static void verifyCheckTimeWritten(qint64 notBefore)
    {
        const QByteArray content = readFile(LastCheckFileName);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]+$")).match(QString::fromLatin1(content)).hasMatch(),
                 content.constData());
        QVERIFY(content.toLongLong() >= notBefore);
        QVERIFY(content.toLongLong() <= QDateTime::currentSecsSinceEpoch());
    }

    // The start-up check's road from the server to the handlers, as the main window takes it.
    std::optional<QByteArray> fetch(const QUrl &url)
    {
        QNetworkAccessManager client;
        QNetworkReply *reply = getFromVendor(&client, url);
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 20000))
            return QByteArray("<no end>");
        return vendorAnswer(reply);
    }

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        setUpdateExitForTests([this] { ++exits; });
        setMessageBoxTestHook([this](QMessageBox::Icon icon, const QString &text) {
            boxes.append({icon, text});
            return answer;
        });
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        setUpdateExitForTests({});
        setMessageBoxTestHook({});
    }

    void init()
    {
        removeRemembered();
        boxes.clear();
        opened.clear();
        exits = 0;
        answer = QMessageBox::Ok;
        server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(server->isListening());
        qputenv("PARLEWICK_VENDOR_HOST", server->hostAndPort().toLatin1());
    }

    void checkIsDueOnceADay_data()
    {
        QTest::addColumn<QByteArray>("stored");   // "<missing>", "<folder>" or content; %now is replaced
        QTest::addColumn<qint64>("secondsBack");
        QTest::addColumn<bool>("due");
        QTest::newRow("never checked") << QByteArray("<missing>") << qint64(0) << true;
        QTest::newRow("unreadable") << QByteArray("<folder>") << qint64(0) << true;
        QTest::newRow("86401 seconds back") << QByteArray("%now") << qint64(86401) << true;
        QTest::newRow("86400 seconds back") << QByteArray("%now") << qint64(86400) << false;
        QTest::newRow("just now") << QByteArray("%now") << qint64(0) << false;
        QTest::newRow("in the future") << QByteArray("%now") << qint64(-60) << true;
        QTest::newRow("zero") << QByteArray("0") << qint64(0) << true;
        QTest::newRow("not a number") << QByteArray("yesterday") << qint64(0) << true;
        QTest::newRow("empty") << QByteArray() << qint64(0) << true;
        QTest::newRow("number then zero byte") << QByteArray("%now\0junk", 9) << qint64(10) << false;
        QTest::newRow("overlong") << QByteArray(100000, '7') << qint64(0) << true;
    }

    void checkIsDueOnceADay()
    {
        QFETCH(QByteArray, stored);
        QFETCH(qint64, secondsBack);
        QFETCH(bool, due);
        const qint64 now = 1750000000;
        if (stored == "<folder>")
            QVERIFY(QDir().mkpath(dataPath(LastCheckFileName)));
        else if (stored != "<missing>")
            writeFileBytes(dataPath(LastCheckFileName), stored.replace("%now", QByteArray::number(now - secondsBack)));
        QCOMPARE(isUpdateCheckDue(now), due);
    }

    void requestsReachTheVendorServer()
    {
        server->setAnswer("/sms_check_update.php", {200, "no update"});
        server->setAnswer("/adv.php", {200, "<a href=\"http://x.invalid/\">News</a>"});
        QCOMPARE(fetch(versionCheckUrl()), std::optional<QByteArray>("no update"));
        QCOMPARE(fetch(advertisementUrl()), std::optional<QByteArray>("<a href=\"http://x.invalid/\">News</a>"));
        QCOMPARE(server->requests().size(), 2);
        QCOMPARE(server->requests().at(0).method, QByteArray("GET"));
        QCOMPARE(server->requests().at(0).target,
                 QByteArray("/sms_check_update.php?pid=7D2A94E0C15B38F6A0E4C92D1B73F58E&ver=1&q=1"));
        QCOMPARE(server->requests().at(1).target, QByteArray("/adv.php?pid=7D2A94E0C15B38F6A0E4C92D1B73F58E"));
        QCOMPARE(server->requests().at(1).headers.value("host"), server->hostAndPort().toLatin1());
    }

    // Whatever the server does, only a whole 200 answer of sensible size is handed on (so the
    // check time is not written either), and an endless answer is hung up on.
    void brokenServerChangesNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("contentLength");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<bool>("listening");
        const QByteArray offer("http://127.0.0.1/a.exe");
        QTest::newRow("not found") << 404 << offer << qint64(-1) << false << true;
        QTest::newRow("server error") << 500 << offer << qint64(-1) << false << true;
        QTest::newRow("redirect") << 302 << offer << qint64(-1) << false << true;
        QTest::newRow("huge, no length") << 200 << offer + QByteArray(4 << 20, 'h') << qint64(-2) << false << true;
        QTest::newRow("endless") << 200 << QByteArray(1 << 16, 'e') << qint64(-2) << true << true;
        QTest::newRow("huge length announced") << 200 << offer << qint64(1LL << 40) << false << true;
        QTest::newRow("cut short") << 200 << QByteArray("<a href=\"http://127.0.0.1/\">") << qint64(500) << false << true;
        QTest::newRow("no server") << 200 << offer << qint64(-1) << false << false;
    }

    void brokenServerChangesNothing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(qint64, contentLength);
        QFETCH(bool, endless);
        QFETCH(bool, listening);
        for (const QByteArray path : {"/sms_check_update.php", "/adv.php"})
            server->setAnswer(path, {status, body, contentLength, endless});
        if (!listening)
            server->close();

        QCOMPARE(fetch(versionCheckUrl()), std::nullopt);
        QCOMPARE(fetch(advertisementUrl()), std::nullopt);
        QVERIFY(server->waitUntilAllClosed());
        QVERIFY(server->streamedBytes() < (64 << 20));
    }

    void emptyAnswerIsAnAnswer()
    {
        server->setAnswer("/adv.php", {200, QByteArray()});
        QCOMPARE(fetch(advertisementUrl()), std::optional<QByteArray>(QByteArray()));
    }

    void newVersionDownloadNowOpensAndEnds()
    {
        writeFileBytes(dataPath(LastCheckFileName), "1000");
        QWidget window;
        window.show();
        answer = QMessageBox::Yes;
        handleVersionAnswer("HTTP://127.0.0.1/setup.exe\r\n", &window);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, QMessageBox::Question);
        QCOMPARE(boxes.first().second, QStringLiteral("A new version of Parlewick is available. To support your phone, "
                                                      "please download the latest version."));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1/setup.exe"))});
        QVERIFY(!window.isVisible());
        QCOMPARE(exits, 1);
    }

    void newVersionLaterRemembersTheCheck()
    {
        writeFileBytes(dataPath(LastCheckFileName), "1000");
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QWidget window;
        window.show();
        answer = QMessageBox::No;
        handleVersionAnswer("http://127.0.0.1/setup.exe", &window);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(opened.isEmpty());
        QVERIFY(window.isVisible());
        QCOMPARE(exits, 0);
        verifyCheckTimeWritten(before);
    }

    void obsoleteVersionForcesTheDownload()
    {
        answer = QMessageBox::Cancel;   // however the box is closed
        handleVersionAnswer("http://127.0.0.1/setup.exe", nullptr);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, QMessageBox::Warning);
        QCOMPARE(boxes.first().second, QStringLiteral("This version of Talvora software has become obsolete. Please "
                                                      "download the latest version to install on your computer."));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1/setup.exe"))});
        QCOMPARE(exits, 1);
        QCOMPARE(readFile(LastCheckFileName), QByteArray("<missing>"));
    }

    // An answer that is no plain http address is no offer: nothing is shown or opened, and
    // the check still counts as done.
    void answersThatAreNoAddressShowNothing_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("zero bytes") << QByteArray(16, '\0');
        QTest::newRow("address after zero byte") << QByteArray("\0http://127.0.0.1/a", 19);
        QTest::newRow("text") << QByteArray("no update available");
        QTest::newRow("other scheme") << QByteArray("https://127.0.0.1/a.exe");
        QTest::newRow("scheme only") << QByteArray("http://");
        QTest::newRow("space inside") << QByteArray("http://127.0.0.1/a b");
        QTest::newRow("second line") << QByteArray("http://127.0.0.1/a\nfile:///etc/passwd");
        QTest::newRow("control character") << QByteArray("http://127.0.0.1/\x01");
        QTest::newRow("8-bit byte") << QByteArray("http://127.0.0.1/\xe9");
        QTest::newRow("bad host") << QByteArray("http://[::1/a");
    }

    void answersThatAreNoAddressShowNothing()
    {
        QFETCH(QByteArray, body);
        writeFileBytes(dataPath(LastCheckFileName), "1000");
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        handleVersionAnswer(body, nullptr);
        QVERIFY(boxes.isEmpty());
        QVERIFY(opened.isEmpty());
        QCOMPARE(exits, 0);
        verifyCheckTimeWritten(before);
    }

    void advertisementBecomesAnOrangeLink()
    {
        const QString markup = takeAdvertisement("<A href=\"http://x.invalid/\">Caf\xc3\xa9 <b>news</b></A>\n");
        const QString expected = QStringLiteral("<a style=\"color:#FF8B00;text-decoration:none;\" href=\"http://x.invalid/\">"
                                                "Café <b>news</b></A>\n");
        QCOMPARE(markup, expected);
        QCOMPARE(readFile(LastAdvFileName), expected.toUtf8());
        QCOMPARE(lastAdvertisement(), expected);

        // Anything else keeps the link remembered before.
        for (const QByteArray &other : {QByteArray(), QByteArray(8, '\0'), QByteArray(" <a href=\"x\">"),
                                        QByteArray("<b>bold</b>"), QByteArray("Server busy")}) {
            QVERIFY(takeAdvertisement(other).isEmpty());
            QCOMPARE(lastAdvertisement(), expected);
        }
    }

    void noAdvertisementRemembered()
    {
        QVERIFY(lastAdvertisement().isEmpty());
        writeFileBytes(dataPath(LastAdvFileName), QByteArray(VendorAnswerLimit * 4, 'x'));   // damaged
        QVERIFY(lastAdvertisement().isEmpty());
    }

    void manualCheckCarriesTheVolume()
    {
        const QUrl url = manualUpdateCheckUrl(4294967295u);
        QCOMPARE(url.scheme(), QStringLiteral("http"));
        QCOMPARE(url.authority(), server->hostAndPort());
        QCOMPARE(url.path(), QStringLiteral("/sms_check_update.php"));
        QCOMPARE(url.query(), QStringLiteral("pid=7D2A94E0C15B38F6A0E4C92D1B73F58E&ver=1&vs=4294967295&sys=linux"));
        QVERIFY(
            manualUpdateCheckUrl(currentVolumeSerial()).query().contains(QStringLiteral("&vs=%1&").arg(currentVolumeSerial())));
    }

    void volumeSerialFromFileSystemUuid_data()
    {
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<quint32>("serial");
        QTest::newRow("FAT") << "5A1B-2C3D" << quint32(0x5A1B2C3D);
        QTest::newRow("NTFS low half") << "1A2B3C4D5E6F7A8B" << quint32(0x5E6F7A8B);
        QTest::newRow("ext4") << "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0" << quint32(0x0F1E2D3C);
        QTest::newRow("too short") << "ABC-1" << UnknownVolumeSerial;
        QTest::newRow("not hex") << "WXYZ-WXYZ" << UnknownVolumeSerial;
    }

    void volumeSerialFromFileSystemUuid()
    {
        QFETCH(QString, uuid);
        QFETCH(quint32, serial);
        QCOMPARE(volumeSerialFromUuid(uuid), serial);
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "TestUpdateCheck.moc"

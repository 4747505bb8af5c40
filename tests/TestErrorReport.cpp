#include "LoopbackHttpServer.h"
#include "TestEnv.h"

#include "app/ErrorReport.h"
#include "app/ErrorReportHook.h"
#include "app/Preferences.h"
#include "widgets/ErrorReportConsent.h"
#include "widgets/MessageBoxes.h"

#include <QThread>
#include <QtTest>

#include <memory>

// The error report as the vendor's server receives it: posted after every critical box,
// each field encoded so that the server can take it back apart.
class TestErrorReport : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<LoopbackHttpServer> server;
    int boxes = 0;

    // The server's side of encodeReportField.
    static QString decodeField(QByteArray field)
    {
        field.replace('!', '/');
        field.replace('-', '=');
        const auto decoded = QByteArray::fromBase64Encoding(field, QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? QString::fromUtf8(*decoded) : QStringLiteral("<not base64: %1>").arg(QString::fromLatin1(field));
    }

    // The fields of a posted body in order, decoded.
    static QList<QPair<QByteArray, QString>> decodeBody(const QByteArray &body)
    {
        QList<QPair<QByteArray, QString>> fields;
        for (const QByteArray &pair : body.split('&')) {
            const qsizetype equals = pair.indexOf('=');
            fields.append({pair.left(equals), decodeField(pair.mid(equals + 1))});
        }
        return fields;
    }

    static QList<QPair<QByteArray, QString>> expectedFields(const QString &error)
    {
        return {{"prod", QStringLiteral("Parlewick")}, {"ver", QStringLiteral("3.1.01(1)")}, {"err", error}};
    }

    void useServer(LoopbackHttpServer &target) { qputenv("PARLEWICK_VENDOR_HOST", target.hostAndPort().toLatin1()); }

private slots:
    void initTestCase()
    {
        // The user agreed to reports (asking and paths: TestPrivacy).
        Preferences agreed;
        agreed.errorReports = agreed.errorReportsAsked = true;
        agreed.save();
        installErrorReporter();
        setMessageBoxTestHook([this](QMessageBox::Icon, const QString &) {
            ++boxes;
            return QMessageBox::Ok;
        });
    }

    void cleanupTestCase()
    {
        setMessageBoxTestHook({});
        setErrorReporter({});
    }

    void init()
    {
        boxes = 0;
        server = std::make_unique<LoopbackHttpServer>();
        QVERIFY(server->isListening());
        server->setAnswer("/err_report.php", {200, "ok"});
        useServer(*server);
    }

    void fieldEncoding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("no fill") << "abc"
                                 << "YWJj";
        QTest::newRow("two fill characters") << "a"
                                             << "YQ--";
        // UTF-8 bytes, "/" turned into "!" and "=" into "-".
        QTest::newRow("slash and fill") << QStringLiteral("é?ü") << "w6k!w7w-";
        QTest::newRow("plus stays") << "???~~~"
                                    << "Pz8!fn5+";
    }

    void fieldEncoding()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(encodeReportField(text), encoded);
        QCOMPARE(decodeField(encoded.toLatin1()), text);
    }

    void reportTextIsPlainedBeforeEncoding_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("reported");
        QTest::newRow("break and entities") << "a<br/>b &lt;x&gt;"
                                            << "a\r\nb <x>";
        QTest::newRow("break spellings") << "1<br>2<BR/>3< br />4<Br  >5"
                                         << "1\r\n2\r\n3\r\n4\r\n5";
        QTest::newRow("entities are case-sensitive") << "&LT;&lt;&amp;lt;"
                                                     << "&LT;<&amp;lt;";
        QTest::newRow("other tags stay") << "<b>bold</b> <a href=\"x\">y</a>"
                                         << "<b>bold</b> <a href=\"x\">y</a>";
    }

    void reportTextIsPlainedBeforeEncoding()
    {
        QFETCH(QString, shown);
        QFETCH(QString, reported);
        QCOMPARE(decodeBody(errorReportBody(shown)), expectedFields(reported));
    }

    void criticalBoxPostsItsTextToTheServer()
    {
        showCritical(QStringLiteral("a<br/>b &lt;x&gt;"));
        QVERIFY(server->waitForRequests(1));
        const LoopbackHttpServer::Request &request = server->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.target, QByteArray("/err_report.php"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(request.headers.value("host"), server->hostAndPort().toLatin1());
        QVERIFY(request.body.startsWith("prod="));
        QCOMPARE(decodeBody(request.body), expectedFields(QStringLiteral("a\r\nb <x>")));
        QCOMPARE(boxes, 1);
    }

    void reportErrorPostsTheWholeShownText()
    {
        reportError(QStringLiteral("disk full"));
        QVERIFY(server->waitForRequests(1));
        // The server is an address, which has no mailbox: the box points to the log, whose path
        // stays on this computer.
        const QString expected = QStringLiteral("An Error Occurred. \r\n\r\ndisk full\r\n\r\nThe log tells more: <path>");
        QCOMPARE(decodeBody(server->requests().first().body), expectedFields(expected));
    }

    void reportFromAWorkerThreadIsPostedByTheApplication()
    {
        std::unique_ptr<QThread> worker(QThread::create([] { sendErrorReport(QStringLiteral("from a worker")); }));
        worker->start();
        QVERIFY(worker->wait(10000));
        QVERIFY(server->waitForRequests(1));
        QCOMPARE(decodeBody(server->requests().first().body), expectedFields(QStringLiteral("from a worker")));
    }

    // Whatever the server does, the program carries on silently; a later report still goes out.
    void failedReportsShowNothing_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("contentLength");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<bool>("listening");
        QTest::newRow("server error") << 500 << QByteArray("boom") << qint64(-1) << false << true;
        QTest::newRow("huge answer") << 200 << QByteArray(4 << 20, 'x') << qint64(-2) << false << true;
        QTest::newRow("endless answer") << 200 << QByteArray(1 << 16, 'x') << qint64(-2) << true << true;
        QTest::newRow("answer cut short") << 200 << QByteArray("ok") << qint64(1000) << false << true;
        QTest::newRow("no server") << 200 << QByteArray() << qint64(-1) << false << false;
    }

    void failedReportsShowNothing()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(qint64, contentLength);
        QFETCH(bool, endless);
        QFETCH(bool, listening);
        LoopbackHttpServer later;   // listening already, so it cannot take the closed port
        later.setAnswer("/err_report.php", {200, "ok"});
        server->setAnswer("/err_report.php", {status, body, contentLength, endless});
        if (!listening)
            server->close();
        sendErrorReport(QStringLiteral("first"));
        if (listening)
            QVERIFY(server->waitForRequests(1));
        // An answer that never ends is given up, not read to the end.
        QVERIFY(server->waitUntilAllClosed());
        QVERIFY(server->streamedBytes() < (64 << 20));

        useServer(later);
        sendErrorReport(QStringLiteral("second"));
        QVERIFY(later.waitForRequests(1));
        QCOMPARE(decodeBody(later.requests().first().body), expectedFields(QStringLiteral("second")));
        QCOMPARE(boxes, 0);
    }
};

QTEST_MAIN(TestErrorReport)
#include "TestErrorReport.moc"

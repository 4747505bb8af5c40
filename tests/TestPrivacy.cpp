#include "TestEnv.h"

#include "BoxRecorder.h"
#include "LoopbackHttpServer.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/ErrorReport.h"
#include "app/ErrorReportHook.h"
#include "app/LogHandler.h"
#include "app/PathScrub.h"
#include "app/Preferences.h"
#include "app/VendorHost.h"
#include "ui/AboutUsForm.h"
#include "ui/MainWindow.h"
#include "ui/ManualViewer.h"
#include "ui/PreferencesDialog.h"
#include "widgets/ErrorReportConsent.h"
#include "widgets/KikBubblePage.h"
#include "widgets/MessageBoxes.h"
#include "widgets/UpdateCheck.h"
#include "workers/DeviceTransferNotes.h"
#include "workers/IOSMobileRestoreThread.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QtTest>

#include <stdexcept>

// What leaves the computer: nothing without a vendor host; with one, error reports only after
// the user agreed, and never with the paths of the user's files. Help is the shipped manual.
class TestPrivacy : public QObject
{
    Q_OBJECT
    TestEnv env;
    QList<QUrl> opened;

    static void savePreferences(bool updateChecks, bool errorReports, bool asked)
    {
        Preferences preferences = Preferences::load();
        preferences.updateChecks = updateChecks;
        preferences.errorReports = errorReports;
        preferences.errorReportsAsked = asked;
        preferences.save();
    }

    static QString reportedError(const QByteArray &body)
    {
        QByteArray field = body.mid(body.indexOf("&err=") + 5);
        field.replace('!', '/').replace('-', '=');
        return QString::fromUtf8(QByteArray::fromBase64(field));
    }

    static QStringList menuSlots(MainWindow &window)
    {
        QStringList names;
        for (const QAction *action : window.menuBar()->findChildren<QAction *>())
            names << action->objectName();
        return names;
    }

    // Every text a person can read in the widget and below it: titles, tips, labels, buttons,
    // placeholders, actions and rich text.
    static QStringList shownTexts(QWidget &top)
    {
        QList<QObject *> parts = top.findChildren<QObject *>();
        parts.prepend(&top);
        QStringList texts;
        for (const QObject *part : std::as_const(parts)) {
            for (const char *name : {"windowTitle", "toolTip", "statusTip", "text", "placeholderText", "html"})
                texts << part->property(name).toString();
        }
        return texts;
    }

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }

private slots:
    void initTestCase()
    {
        WindowTestKit::prepareApplication();
        QFile::remove(QDir(dataFolder()).filePath(QLatin1String(LastCheckFileName)));   // a check would be due
        setupLogging(env.path("logs"), 10, false);
        installErrorReporter();
        for (const QString scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
    }

    void cleanupTestCase()
    {
        setErrorReporter({});
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    void scrubsPathsOfTheUserFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("scrubbed");
        const QString home = QDir::homePath();
        QTest::newRow("unix path") << "cannot open /media/bob/backup/Manifest.db: disk I/O error"
                                   << "cannot open <path> disk I/O error";
        QTest::newRow("home with spaces") << "read " + home + "/Kik Backups/My Phone/kik.sqlite failed"
                                          << "read <path> failed";
        QTest::newRow("windows path") << "C:\\Users\\Bob Smith\\AppData\\x.db is locked"
                                      << "<path> is locked";
        QTest::newRow("quoted") << "The file \"/srv/a b/c.db\" and 'D:\\x y\\z' stay closed."
                                << "The file \"<path>\" and '<path>' stay closed.";
        QTest::newRow("file address") << "see file:///tmp/x.html"
                                      << "see <path>";
        QTest::newRow("network share") << "\\\\server\\share\\kik is gone"
                                       << "<path> is gone";
        // What is not a path of the user's stays readable.
        QTest::newRow("web address and markup") << "<b>Failed</b> see http://help.example/a/b 3/4 done"
                                                << "<b>Failed</b> see http://help.example/a/b 3/4 done";
        QTest::newRow("store inside the app") << "no Documents/kik.sqlite in it"
                                              << "no Documents/kik.sqlite in it";
    }

    void scrubsPathsOfTheUserFiles()
    {
        QFETCH(QString, text);
        QFETCH(QString, scrubbed);
        QCOMPARE(scrubPaths(text), scrubbed);
    }

    // Even with every online choice turned on, no host means no request and no vendor page;
    // the server, named and then taken away again, sees nothing until a host is set again.
    void withoutAHostNothingGoesOnline()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray address = "127.0.0.1:" + QByteArray::number(server.serverPort());
        qputenv("PARLEWICK_VENDOR_HOST", address);
        qputenv("PARLEWICK_VENDOR_HOST", "");
        savePreferences(true, true, true);
        BoxRecorder boxes;
        {
            MainWindow window;
            QVERIFY(!menuSlots(window).contains("miCheckUpdate"));
            QVERIFY(!menuSlots(window).contains("miFeedback"));
            QVERIFY(menuSlots(window).contains("miPreferences"));
            window.commands().checkForUpdate();
            window.commands().sendFeedback();
            window.commands().openHomePage();
            reportError(QStringLiteral("disk full"));
            sendErrorReport(QStringLiteral("direct"));

            // Help is the manual inside the program.
            QAction *help = window.menuBar()->findChild<QAction *>(QStringLiteral("miHelp"));
            QVERIFY(help);
            help->trigger();
            auto *viewer = window.findChild<ManualViewer *>();
            QVERIFY(viewer && viewer->isVisible());
            // The user manual, whole to its last part, with nothing of the developers' README.
            const QString manual = viewer->browser()->toPlainText();
            for (const char *part : {"Importing an iTunes backup", "Troubleshooting phones", "man parlewick-cli"})
                QVERIFY2(manual.contains(QLatin1String(part)), part);
            QVERIFY(!manual.contains(QLatin1String("Quick start")));
            help->trigger();
            QCOMPARE(window.findChildren<ManualViewer *>().size(), 1);

            // Nor do pictures a chat points to on the web load: the bubbles are a local page.
            KikBubblePage page;
            QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
            page.setHtml(QStringLiteral("<img src=\"http://%1/tracker.png\">").arg(QLatin1String(address)),
                         QUrl(QStringLiteral("file:///")));
            QVERIFY(loaded.wait(20000));
        }
        QCOMPARE(boxes.texts(QMessageBox::Question), QStringList());   // nobody is asked either
        QVERIFY(opened.isEmpty());

        // The first connection the server then sees is the one made with a host.
        qputenv("PARLEWICK_VENDOR_HOST", address);
        sendErrorReport(QStringLiteral("with a host"));
        QVERIFY(QTest::qWaitFor([&server] { return server.hasPendingConnections(); }, 10000));
        const std::unique_ptr<QTcpSocket> first(server.nextPendingConnection());
        QVERIFY(QTest::qWaitFor([&first] { return first->canReadLine(); }, 10000));
        QCOMPARE(first->readLine(), QByteArray("POST /err_report.php HTTP/1.1\r\n"));
        qputenv("PARLEWICK_VENDOR_HOST", "");
    }

    // With a host: the update check waits for the user's say-so in Preferences.
    void updateCheckOnlyWhenTurnedOn()
    {
        LoopbackHttpServer server;
        server.setAnswer("/sms_check_update.php", {200, "no update"});
        qputenv("PARLEWICK_VENDOR_HOST", server.hostAndPort().toLatin1());
        savePreferences(false, false, false);
        {
            MainWindow window;
            QVERIFY(window.findChildren<QNetworkReply *>().isEmpty());
            QVERIFY(menuSlots(window).contains("miCheckUpdate"));
            PreferencesDialog dialog(&window);
            QCheckBox *updates = dialog.findChild<QCheckBox *>(QStringLiteral("chkUpdateChecks"));
            QVERIFY(updates && !updates->isChecked());
            updates->setChecked(true);
            dialog.accept();
        }
        MainWindow again;
        QVERIFY(server.waitForRequests(2));
        QStringList paths;
        for (const LoopbackHttpServer::Request &request : server.requests())
            paths << QString::fromLatin1(request.path());
        QVERIFY(paths.contains(QLatin1String("/sms_check_update.php")));
        qputenv("PARLEWICK_VENDOR_HOST", "");
    }

    // With a host: asked once at the first error box; a No sends nothing then or later; a Yes
    // (or Preferences) sends reports, without paths.
    void errorReportsAfterConsentOnly()
    {
        LoopbackHttpServer server;
        server.setAnswer("/err_report.php", {200, "ok"});
        qputenv("PARLEWICK_VENDOR_HOST", server.hostAndPort().toLatin1());
        savePreferences(false, false, false);
        BoxRecorder boxes(QMessageBox::No);
        showCritical(QStringLiteral("first"));
        showCritical(QStringLiteral("second"));
        QCOMPARE(boxes.texts(QMessageBox::Question), QStringList(errorReportQuestion()));
        QVERIFY(!Preferences::load().errorReports);

        savePreferences(false, false, false);
        boxes.clear();
        boxes.setQuestionAnswer(QMessageBox::Yes);
        const QString path = QDir::homePath() + QStringLiteral("/My Kik/Documents/kik.sqlite");
        reportError(QStringLiteral("cannot read %1: database disk image is malformed").arg(path));
        QCOMPARE(boxes.texts(QMessageBox::Question).size(), 1);
        QVERIFY(server.waitForRequests(1));
        const QString sent = reportedError(server.requests().first().body);
        QVERIFY2(sent.contains(QLatin1String("cannot read <path> database disk image is malformed")), qPrintable(sent));
        QVERIFY2(!sent.contains(QDir::homePath()) && !sent.contains(QLatin1String("My Kik")), qPrintable(sent));
        // Only the report made after the Yes went out.
        QCOMPARE(server.requests().size(), 1);
        qputenv("PARLEWICK_VENDOR_HOST", "");
    }

    // A build that names no vendor host has none, whatever its source says, and nothing the
    // window, its dialogs, notes and error boxes show carries a build placeholder or a dead address.
    // As built, and as a build that names its vendor's server.
    void noPlaceholderReachesTheUser_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("as built") << QStringLiteral(PARLEWICK_CONFIGURED_VENDOR_HOST);
        QTest::newRow("named vendor") << QStringLiteral("www.vendor.example:8080");
    }

    void noPlaceholderReachesTheUser()
    {
        QFETCH(QString, host);
        qputenv("PARLEWICK_VENDOR_HOST", host.toUtf8());
        savePreferences(false, false, true);   // a named vendor is never asked anything here
        BoxRecorder boxes;
        QStringList texts;
        {
            MainWindow window;
            window.commands().showHelp();   // the manual is a child of the window
            texts << shownTexts(window);
        }
        AboutUsForm about;
        texts << shownTexts(about);
        PreferencesDialog preferences;
        texts << shownTexts(preferences);
        reportError(QStringLiteral("disk full"));
        texts << boxes.texts() << deviceRestoreNotes()
              << IOSMobileRestoreThread::restoreErrorText(std::runtime_error("Find My iPhone must be disabled"));
        qputenv("PARLEWICK_VENDOR_HOST", "");

        static const QRegularExpression placeholder(
            QStringLiteral("PARLEWICK_[A-Z]|VENDOR_|\\.invalid\\b|http://(/|$|\"|<)|href=\"\""));
        for (const QString &text : std::as_const(texts))
            QVERIFY2(!text.contains(placeholder), qPrintable(text));
        const QString ending =
            host.isEmpty() ? QDir::toNativeSeparators(logFolder()) : QStringLiteral("contact support@vendor.example for help.");
        if (host.isEmpty() || host.contains(QLatin1String("vendor.example")))
            QVERIFY2(boxes.texts().last().endsWith(ending), qPrintable(boxes.texts().last()));
    }
};

QTEST_MAIN(TestPrivacy)
#include "TestPrivacy.moc"

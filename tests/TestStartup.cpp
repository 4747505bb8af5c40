#include "TestEnv.h"

#include "TestFiles.h"
#include "app/AppConstants.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

// Starts the real program without a screen and checks that it comes up, logs and keeps running.
class TestStartup : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void startsLogsAndStaysUp()
    {
        const QString program = TestEnv::binaryDir() + QLatin1String("/bin/parlewick");
        QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program + " is not built"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), env.home());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), env.path(".local/share"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("PARLEWICK_VENDOR_HOST"), QString());
        if (geteuid() == 0)   // the web engine refuses to run sandboxed as root
            environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));

        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {});
        QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));

        const QString dataFolder = env.path(QStringLiteral(".local/share/Talvora/%1").arg(AppConstants::ProductId));
        const QString logs = QDir(dataFolder).filePath(QStringLiteral("qlogs"));
        // Up until the web view has shown its first page: the window and the web engine must
        // not bring it down.
        QByteArray logText;
        QDeadlineTimer deadline(120000);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            logText = logsText(logs).toUtf8();
            if (logText.contains("message view loaded"))
                break;
            process.waitForFinished(200);
        }
        const bool running = process.state() == QProcess::Running;
        process.kill();
        process.waitForFinished(10000);

        QVERIFY2(running, process.readAll().constData());
        QVERIFY(QFileInfo(dataFolder).isDir());
        QVERIFY(QFileInfo(QDir(dataFolder).filePath("qlogs")).isDir());
        QVERIFY2(logText.contains(") Parlewick 3.1.01 starting; data folder "), logText.constData());
        QVERIFY(logText.contains("(D "));
        QVERIFY(logText.contains("phone library loaded"));
        QVERIFY2(logText.contains("message view loaded: true"), logText.constData());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"

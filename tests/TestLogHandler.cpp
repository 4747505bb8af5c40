#include "TestEnv.h"

#include "StreamCapture.h"

#include "app/LogHandler.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QtTest>

#include <unistd.h>

class TestLogHandler : public QObject
{
    Q_OBJECT
    TestEnv env;
    QtMessageHandler testLibHandler = nullptr;

    // The day the log clock says, whatever the date of the run.
    QDate day{2026, 3, 9};

    QString todayName() const { return QStringLiteral("log-%1.txt").arg(day.toString(QStringLiteral("yyyyMMdd"))); }

    QStringList readLines(const QString &folder) const
    {
        QFile file(QDir(folder).filePath(todayName()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static void createOldLogs(const QString &folder, int count)
    {
        QDir().mkpath(folder);
        for (int day = 1; day <= count; ++day) {
            QFile file(QDir(folder).filePath(QStringLiteral("log-202401%1.txt").arg(day, 2, 10, QLatin1Char('0'))));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

private slots:
    void initTestCase()
    {
        testLibHandler = qInstallMessageHandler(nullptr);
        qInstallMessageHandler(testLibHandler);
        setLogClock([this] { return day; });
    }

    void cleanup() { qInstallMessageHandler(testLibHandler); }

    void keepsTheTenNewestFiles()
    {
        const QString folder = env.path("rotate12");
        createOldLogs(folder, 12);
        QDir().mkpath(QDir(folder).filePath("a-folder"));   // only plain files count
        setupLogging(folder, 10);
        const QStringList left = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(left.size(), 10);
        QCOMPARE(left.first(), QStringLiteral("log-20240103.txt"));
        QCOMPARE(left.last(), QStringLiteral("log-20240112.txt"));
        QVERIFY(QFileInfo(QDir(folder).filePath("a-folder")).isDir());
    }

    void tenFilesAreLeftAlone()
    {
        const QString folder = env.path("rotate10");
        createOldLogs(folder, 10);
        setupLogging(folder, 10);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 10);
    }

    void writesOneLinePerMessageByKind()
    {
        const QString folder = env.path("kinds/qlogs");   // created by the first message
        setupLogging(folder, 10);
        qDebug("debug %s", "line");
        qWarning("100%% sure: %%1 and %%2 stay");
        qCritical("critical");
        qInfo("info");
        qDebug() << "ünïcödé";

        const QStringList lines = readLines(folder);
        QCOMPARE(lines.size(), 5);
        const QRegularExpression time(QStringLiteral("\\d\\d:\\d\\d:\\d\\d"));
        const QStringList expected = {
            QStringLiteral("(D T) debug line"), QStringLiteral("(W T) 100% sure: %1 and %2 stay"),
            QStringLiteral("(C T) critical"),   QStringLiteral("(T) info"),
            QStringLiteral("(D T) ünïcödé"),
        };
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(QString(lines.at(i)).replace(time, QStringLiteral("T")), expected.at(i));
    }

    void debugLinesAreEchoedToStdoutUnlessTurnedOff()
    {
        const QString folder = env.path("echo");
        {
            StreamCapture out(STDOUT_FILENO);
            setupLogging(folder, 10);
            qDebug("shown");
            qWarning("not echoed");
            setupLogging(folder, 10, false);
            qDebug("quiet");
            QCOMPARE(out.text(), QByteArray("shown\n"));
        }
        const QStringList lines = readLines(folder);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.last().endsWith(QLatin1String(" quiet")));
    }

    void failedOpenIsRetriedWithTheNextMessage()
    {
        // While a plain file sits where the folder should be, nothing can be written.
        const QString folder = env.path("blocked");
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        setupLogging(folder, 10);
        qWarning("lost");
        QVERIFY(QFile::remove(folder));
        qWarning("kept");
        const QStringList lines = readLines(folder);
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(QLatin1String(" kept")));
    }

    // A phone polled again and again writes the same lines: each run of repeats is one line
    // and a count; a line of another kind or text ends the run.
    void repeatedLinesAreCounted()
    {
        const QString folder = env.path("repeats");
        setupLogging(folder, 10);
        for (int i = 0; i < 5; ++i)
            qDebug("mobiledevice_connect 0000 failed: -3");
        qWarning("mobiledevice_connect 0000 failed: -3");
        qWarning("device gone");
        qWarning("device gone");
        setupLogging(folder, 10);   // a restart of the log writes what it still counted
        qDebug("once");

        const QRegularExpression time(QStringLiteral("\\d\\d:\\d\\d:\\d\\d"));
        QStringList lines = readLines(folder);
        for (QString &line : lines)
            line.replace(time, QStringLiteral("T"));
        QCOMPARE(lines, QStringList({"(D T) mobiledevice_connect 0000 failed: -3", "(D T) (the line above came 4 more times)",
                                     "(W T) mobiledevice_connect 0000 failed: -3", "(W T) device gone",
                                     "(W T) (the line above came 1 more times)", "(D T) once"}));
    }

    // Each day has its file; the day is asked when a file is opened, not per line.
    void aNewDayStartsANewFile()
    {
        const QString folder = env.path("days");
        setupLogging(folder, 10);
        qWarning("first day");
        day = day.addDays(1);
        qWarning("still the open file");
        setupLogging(folder, 10);
        qWarning("second day");
        QCOMPARE(readLines(folder).size(), 1);
        day = day.addDays(-1);
        QCOMPARE(readLines(folder).size(), 2);
        day = day.addDays(1);
    }

    void linesFromManyThreadsStayWhole()
    {
        const QString folder = env.path("threads");
        setupLogging(folder, 10);
        constexpr int threadCount = 6;
        constexpr int linesPerThread = 400;
        const QString padding(300, QLatin1Char('x'));   // long lines make torn writes likely
        QList<QThread *> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads << QThread::create([t, padding] {
                for (int n = 0; n < linesPerThread; ++n)
                    qWarning("thread %d line %d %s", t, n, qPrintable(padding));
            });
        }
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }

        const QRegularExpression pattern(QStringLiteral("^\\(W \\d\\d:\\d\\d:\\d\\d\\) thread (\\d+) line (\\d+) (x+)$"));
        QSet<QString> seen;
        QList<int> lastLineOfThread(threadCount, -1);
        const QStringList lines = readLines(folder);
        for (const QString &line : lines) {
            const QRegularExpressionMatch match = pattern.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line.left(80)));
            QCOMPARE(match.captured(3), padding);
            const int t = match.captured(1).toInt();
            const int n = match.captured(2).toInt();
            QVERIFY(n > lastLineOfThread[t]);   // each thread's lines in the order written
            lastLineOfThread[t] = n;
            seen.insert(match.captured(1) + QLatin1Char('/') + match.captured(2));
        }
        QCOMPARE(lines.size(), threadCount * linesPerThread);
        QCOMPARE(seen.size(), threadCount * linesPerThread);
    }
};

QTEST_GUILESS_MAIN(TestLogHandler)
#include "TestLogHandler.moc"

#include "TestEnv.h"

#include "StreamCapture.h"
#include "cli/ConsoleProgress.h"
#include "workers/TaskRun.h"

#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::atomic<int> g_testHandlerCalls{0};
void testHandler(int)
{
    ++g_testHandlerCalls;
}

// Runs `body` on its own thread, as a worker does.
class LambdaWorker : public QThread
{
public:
    explicit LambdaWorker(std::function<void()> body)
        : m_body(std::move(body))
    {
    }

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

}   // namespace

class TestConsoleProgress : public QObject
{
    Q_OBJECT
    TestEnv env;
    struct sigaction m_original
    { };

private slots:
    void init()
    {
        // Ctrl-C outside a ConsoleProgress must not end the test run.
        g_testHandlerCalls = 0;
        struct sigaction action
        { };
        action.sa_handler = testHandler;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_original);
    }

    void cleanup() { sigaction(SIGINT, &m_original, nullptr); }

    void noProgressDrawnWhenStderrIsNotATerminal()
    {
        StreamCapture err(STDERR_FILENO);
        {
            ConsoleProgress progress;
            progress.postProgress(QStringLiteral("Backing up Kik messages..."), 0, QString());
            progress.postProgress(QString(), 50, QStringLiteral("Messages: 1/2"));
            QCOMPARE(err.text(), QByteArray());
            progress.postTipsWait(QStringLiteral("Please unlock your iPhone."));
            QVERIFY(!progress.isWaitingForTips());
        }
        QCOMPARE(err.text(), QByteArray("Please unlock your iPhone.\n"));
    }

    // Without a terminal a notice is a line of its own, once, however often it is posted.
    void noticeIsWrittenOnceWithoutATerminal()
    {
        StreamCapture err(STDERR_FILENO);
        {
            ConsoleProgress progress;
            progress.postNotice(QStringLiteral("Type the passcode on the iPhone."));
            progress.postNotice(QStringLiteral("Type the passcode on the iPhone."));
            progress.postNotice(QString());
            progress.postProgress(QString(), 50, QStringLiteral("Messages: 1/2"));
        }
        QCOMPARE(err.text(), QByteArray("Type the passcode on the iPhone.\n"));
    }

    void ctrlCSetsTheCancelFlagWhileTheObjectLives()
    {
        {
            ConsoleProgress progress;
            QVERIFY(!progress.isCanceled());
            raise(SIGINT);
            QVERIFY(progress.isCanceled());
            QCOMPARE(g_testHandlerCalls.load(), 0);
            QVERIFY_THROWS_EXCEPTION(TaskCanceled, progress.throwIfCanceled());
        }
        raise(SIGINT);   // the handler from before is back
        QCOMPARE(g_testHandlerCalls.load(), 1);
        ConsoleProgress next;
        QVERIFY(!next.isCanceled());
    }

    void nestedObjectsShareOneCtrlC()
    {
        struct sigaction current
        { };
        {
            ConsoleProgress stretch;
            {
                ConsoleProgress task;
                QVERIFY(!task.isCanceled());
                raise(SIGINT);
                QVERIFY(task.isCanceled());
                QVERIFY(stretch.isCanceled());   // the enclosing stretch stops too
            }
            // The next Ctrl-C ends the process, and a task begun now is canceled from the start.
            sigaction(SIGINT, nullptr, &current);
            QVERIFY(current.sa_handler == SIG_DFL);
            ConsoleProgress next;
            QVERIFY(next.isCanceled());
        }
        sigaction(SIGINT, nullptr, &current);
        QVERIFY(current.sa_handler == testHandler);
        QCOMPARE(g_testHandlerCalls.load(), 0);
        ConsoleProgress fresh;
        QVERIFY(!fresh.isCanceled());
    }

    void secondCtrlCEndsTheProcess()
    {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            signal(SIGINT, SIG_DFL);
            ConsoleProgress progress;
            raise(SIGINT);
            if (!progress.isCanceled())
                _exit(3);
            raise(SIGINT);
            _exit(4);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status), qPrintable(QStringLiteral("exit code %1").arg(WEXITSTATUS(status))));
        QCOMPARE(WTERMSIG(status), SIGINT);
    }

    void workerOutcomes()
    {
        {
            ConsoleProgress progress;
            LambdaWorker worker([&] {
                postProgress(&progress, QStringLiteral("Counting"), 0, QString());
                postSuccess(&progress, QStringLiteral("Successfully counted 3."));
            });
            QCOMPARE(progress.runWorker(worker), ConsoleProgress::Succeeded);
            QVERIFY(worker.isFinished());
            QCOMPARE(progress.successText(), QStringLiteral("Successfully counted 3."));
        }
        {
            ConsoleProgress progress;
            LambdaWorker worker([&] { postError(&progress, QStringLiteral("Disk full")); });
            QCOMPARE(progress.runWorker(worker), ConsoleProgress::Failed);
            QCOMPARE(progress.errorText(), QStringLiteral("Disk full"));
        }
        {
            // A worker that says nothing has not succeeded.
            ConsoleProgress progress;
            LambdaWorker worker([] {});
            QCOMPARE(progress.runWorker(worker), ConsoleProgress::Failed);
            QVERIFY(!progress.errorText().isEmpty());
        }
        {
            // Work that was finished before a late Ctrl-C stays a success.
            ConsoleProgress progress;
            LambdaWorker worker([&] {
                postSuccess(&progress, QString());
                raise(SIGINT);
            });
            QCOMPARE(progress.runWorker(worker), ConsoleProgress::Succeeded);
        }
    }

    void ctrlCStopsAWorkerAtItsNextCheck()
    {
        ConsoleProgress progress;
        int units = 0;
        LambdaWorker worker([&] {
            runTask(&progress, [&] {
                for (units = 0; units < 1000; ++units) {
                    progress.throwIfCanceled();
                    if (units == 3)
                        raise(SIGINT);   // delivered to this thread, as a real Ctrl-C may be
                }
                return QStringLiteral("all done");
            });
        });
        QCOMPARE(progress.runWorker(worker), ConsoleProgress::Canceled);
        QCOMPARE(units, 4);
        QVERIFY(progress.successText().isEmpty());
        QVERIFY(progress.errorText().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConsoleProgress)
#include "TestConsoleProgress.moc"

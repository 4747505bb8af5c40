// The top level every worker shares: exactly one success, error or cancel per run, whatever the
// work throws, and what the run made is undone after a cancel or an error.

#include "TestEnv.h"

#include "RecordingProgress.h"
#include "workers/TaskRun.h"

#include <QtTest>

#include <stdexcept>

class TestTaskRun : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void eachEndingPostsExactlyOneOutcome()
    {
        int takenBack = 0;
        const auto takeBack = [&] { ++takenBack; };

        RecordingProgress done;
        runTask(
            &done, [] { return QStringLiteral("Successfully counted 3."); }, takeBack);
        QCOMPARE(done.successes(), QStringList{QStringLiteral("Successfully counted 3.")});
        QCOMPARE(done.errors(), QStringList());
        QCOMPARE(done.cancels(), 0);
        QCOMPARE(takenBack, 0);

        RecordingProgress canceled;
        canceled.cancel();
        runTask(
            &canceled,
            [&] {
                canceled.throwIfCanceled();
                return QStringLiteral("never");
            },
            takeBack);
        QCOMPARE(canceled.successes() + canceled.errors(), QStringList());
        QCOMPARE(canceled.cancels(), 1);
        QCOMPARE(takenBack, 1);

        // A handler for errors never takes a cancel for one.
        RecordingProgress passedThrough;
        runTask(&passedThrough, []() -> QString {
            try {
                throw TaskCanceled();
            } catch (const std::exception &) {
                return QStringLiteral("taken for an error");
            }
        });
        QCOMPARE(passedThrough.cancels(), 1);
        QCOMPARE(passedThrough.successes(), QStringList());

        RecordingProgress failed;
        runTask(
            &failed, []() -> QString { throw std::runtime_error("Disk full"); }, takeBack,
            [](const std::exception &error) { return QStringLiteral("Stopped: ") + QString::fromUtf8(error.what()); });
        QCOMPARE(failed.errors(), QStringList{QStringLiteral("Stopped: Disk full")});
        QCOMPARE(failed.successes(), QStringList());
        QCOMPARE(failed.cancels(), 0);
        QCOMPARE(takenBack, 2);

        // Anything else thrown (an integer, as cancels once were) is an error, never a silent end.
        RecordingProgress odd;
        runTask(
            &odd, []() -> QString { throw -1; }, takeBack);
        QCOMPARE(odd.errors(), QStringList{QStringLiteral("The task stopped on an unexpected error.")});
        QCOMPARE(odd.successes(), QStringList());
        QCOMPARE(odd.cancels(), 0);
        QCOMPARE(takenBack, 3);

        // Undoing that fails does not change the outcome.
        RecordingProgress stuck;
        runTask(
            &stuck, []() -> QString { throw TaskCanceled(); }, [] { throw std::runtime_error("in use"); });
        QCOMPARE(stuck.cancels(), 1);
        QCOMPARE(stuck.errors(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTaskRun)
#include "TestTaskRun.moc"

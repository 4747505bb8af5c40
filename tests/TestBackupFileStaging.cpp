// Files put into a backup folder all together or not at all.

#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"

#include "itunes/BackupFileStaging.h"

#include <QDir>
#include <QtTest>

#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs work in a child process that dies the moment work calls the function it is given, as
// a killed program would: nothing after that point runs, no destructor either.
void dieWithin(const std::function<void(const std::function<void()> &die)> &work)
{
    const pid_t child = fork();
    if (child == 0) {
        work([] { _exit(0); });
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}   // namespace

class TestBackupFileStaging : public QObject
{
    Q_OBJECT
    TestEnv env;

    QString folder;
    QString newContent;

private slots:
    void init()
    {
        folder = env.path("backup");
        QDir(folder).removeRecursively();
        writeFileBytes(folder + "/existing", "old");
        writeFileBytes(folder + "/Manifest.mbdb", "index");
        newContent = env.path("new-content");
        writeFileBytes(newContent, "new");
    }

    void aCommitPutsEveryFileInPlace()
    {
        BackupFileStaging staging(folder);
        staging.stageThrow(newContent, "existing");
        staging.stageThrow(newContent, "added");
        QVERIFY(staging.isStaged("added"));
        bool lastStepRan = false;
        staging.commitThrow([&] { lastStepRan = true; });
        QVERIFY(lastStepRan);
        QCOMPARE(treeOf(folder), (QMap<QString, QByteArray>{{"Manifest.mbdb", "index"}, {"existing", "new"}, {"added", "new"}}));
    }

    // A last step that fails (the index could not be written) takes every file back.
    void aFailedLastStepLeavesTheFolderAsItWas()
    {
        const QMap<QString, QByteArray> before = treeOf(folder);
        {
            BackupFileStaging staging(folder);
            staging.stageThrow(newContent, "existing");
            staging.stageThrow(newContent, "added");
            QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                     staging.commitThrow([] { throw std::runtime_error("index not written"); }));
        }
        QCOMPARE(treeOf(folder), before);
    }

    void stagedCopiesNeverCommittedGo()
    {
        const QMap<QString, QByteArray> before = treeOf(folder);
        {
            BackupFileStaging staging(folder);
            staging.stageThrow(newContent, "added");
        }
        QCOMPARE(treeOf(folder), before);
    }

    // Killed while placing the files, before the last one (the list): readers still get the
    // old content, and the next writer puts the folder back as it was.
    void aCommitCutShortBeforeItsLastFileIsTakenBack()
    {
        const QMap<QString, QByteArray> before = treeOf(folder);
        dieWithin([&](const std::function<void()> &die) {
            BackupFileStaging staging(folder);
            staging.stageThrow(newContent, "existing");
            staging.stageThrow(newContent, "added");
            staging.commitThrow(die);   // the list, staged last, never came
        });
        QVERIFY(BackupFileStaging::isCutShortBeforeCommit(folder, "Manifest.mbdb"));
        QCOMPARE(readFileBytes(BackupFileStaging::oldContentPath(folder + "/existing")), QByteArray("old"));
        BackupFileStaging(folder).recoverInterrupted("Manifest.mbdb");
        QCOMPARE(treeOf(folder), before);
        QVERIFY(!BackupFileStaging::isCutShortBeforeCommit(folder, "Manifest.mbdb"));
    }

    // Killed once the list was in place: the new files stay, the old ones go.
    void aCommitCutShortAfterItsLastFileIsFinished()
    {
        writeFileBytes(env.path("new-index"), "new index");
        dieWithin([&](const std::function<void()> &die) {
            BackupFileStaging staging(folder);
            staging.stageThrow(newContent, "existing");
            staging.stageThrow(newContent, "added");
            staging.stageThrow(env.path("new-index"), "Manifest.mbdb");
            staging.commitThrow(die);
        });
        QVERIFY(!BackupFileStaging::isCutShortBeforeCommit(folder, "Manifest.mbdb"));
        BackupFileStaging(folder).recoverInterrupted("Manifest.mbdb");
        QCOMPARE(treeOf(folder),
                 (QMap<QString, QByteArray>{{"Manifest.mbdb", "new index"}, {"existing", "new"}, {"added", "new"}}));
    }

    void copiesStagedByAKilledWriterGo()
    {
        const QMap<QString, QByteArray> before = treeOf(folder);
        dieWithin([&](const std::function<void()> &die) {
            BackupFileStaging staging(folder);
            staging.stageThrow(newContent, "ab/added");
            die();
        });
        QVERIFY(treeOf(folder) != before);
        BackupFileStaging(folder).recoverInterrupted("Manifest.mbdb");
        QCOMPARE(treeOf(folder), before);
    }

    // A write into the backup never follows a link: a linked folder on the way is refused, a
    // link planted where the commit keeps its own list is replaced. Nothing lands outside.
    void linksInTheBackupAreNeverFollowed()
    {
        const QString outside = env.path("outside");
        QDir(outside).removeRecursively();
        writeFileBytes(outside + "/victim", "keep");
        const QMap<QString, QByteArray> outsideBefore = treeOf(outside);
        QVERIFY(QFile::link(outside, folder + "/ab"));
        {
            BackupFileStaging staging(folder);
            QVERIFY(thrownText([&] { staging.stageThrow(newContent, "ab/added"); }).contains("is a link to somewhere else"));
            QVERIFY(QFile::link(outside + "/victim", folder + "/.parlewick-added"));
            staging.stageThrow(newContent, "existing");
            staging.commitThrow([] {});
        }
        QCOMPARE(treeOf(outside), outsideBefore);
        QCOMPARE(readFileBytes(folder + "/existing"), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(folder + "/.parlewick-added") && !QFileInfo(folder + "/.parlewick-added").isSymLink());
    }

    void anUnreadableFileIsReportedWithItsTarget()
    {
        BackupFileStaging staging(folder);
        try {
            staging.stageThrow(env.path("missing"), "added");
            QFAIL("no error");
        } catch (const std::runtime_error &error) {
            QVERIFY2(QString::fromUtf8(error.what()).startsWith("can not write " + folder + "/added. "), error.what());
        }
        QVERIFY(!staging.isStaged("added"));
    }
};

QTEST_GUILESS_MAIN(TestBackupFileStaging)
#include "TestBackupFileStaging.moc"

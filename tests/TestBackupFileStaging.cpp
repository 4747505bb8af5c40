// Files put into a backup folder all together or not at all.

#include "TestEnv.h"
#include "TestFiles.h"

#include "itunes/BackupFileStaging.h"

#include <QDir>
#include <QtTest>

#include <stdexcept>

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
        QCOMPARE(treeOf(folder), (QMap<QString, QByteArray>{
                                     {"Manifest.mbdb", "index"}, {"existing", "new"}, {"added", "new"}}));
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

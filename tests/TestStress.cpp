// Sudden death and races, a few trials of each kind: parlewick-cli killed at a change it makes
// (drawn from a fixed seed) while importing, exporting and transferring into a backup and at
// steps of a transfer's commit, two imports into one new database at once, and two transfers
// into one backup at once, from one data folder and from two. scripts/stress.sh runs many more.

#include "TestEnv.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "StressTrials.h"
#include "kikstore/KikStoreGenerator.h"

#include <QtTest>

#include <memory>

class TestStress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void trials_data();
    void trials();

private:
    TestEnv m_env;
    std::unique_ptr<StressTrials> m_trials;
};

void TestStress::initTestCase()
{
    KikStoreOptions options;
    options.contacts = 6;
    options.chats = 5;
    options.groups = 1;
    options.messagesPerChat = 40;
    options.attachmentShare = 0.3;
    options.collectUids = false;
    const QString source = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("source"))).rootFolder;
    options.seed = 2;
    options.chats = 2;
    const QString other = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("other"))).rootFolder;
    options.seed = 3;
    const QString third = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("third"))).rootFolder;
    ItunesBackupBuilder builder;
    builder.setFormat(BackupFormat::FilesDb);
    addKikToBackup(builder, other, KikFixturePlace::Documents);
    builder.build(m_env.path(QStringLiteral("backup")));
    try {
        m_trials = std::make_unique<StressTrials>(StressBench{TestEnv::binaryDir() + QStringLiteral("/bin/parlewick-cli"),
                                                              m_env.path(QStringLiteral("work")), source, other,
                                                              m_env.path(QStringLiteral("backup")), third});
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }
}

void TestStress::trials_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<quint32>("seed");
    for (const char *kind : {"import", "export", "transfer", "writers"})
        for (quint32 seed : {1u, 2u, 3u})
            QTest::addRow("%s %u", kind, seed) << QString::fromLatin1(kind) << seed;
    // The steps of the commit where the files and then the list move.
    for (quint32 seed : {6u, 8u})
        QTest::addRow("commit %u", seed) << QStringLiteral("commit") << seed;
    QTest::addRow("concurrent 1") << QStringLiteral("concurrent") << 1u;
    QTest::addRow("homes 2") << QStringLiteral("homes") << 2u;
}

void TestStress::trials()
{
    QFETCH(QString, kind);
    QFETCH(quint32, seed);
    QStringList problems;
    if (kind == QLatin1String("import"))
        problems = m_trials->importTrial(seed, KillAt::Change);
    else if (kind == QLatin1String("export"))
        problems = m_trials->exportTrial(seed, KillAt::Change);
    else if (kind == QLatin1String("transfer"))
        problems = m_trials->transferTrial(seed, KillAt::Change);
    else if (kind == QLatin1String("writers"))
        problems = m_trials->writersTrial(seed);
    else if (kind == QLatin1String("commit"))
        problems = m_trials->commitTrial(seed);
    else
        problems = m_trials->concurrentTrial(seed, kind == QLatin1String("homes"));
    qInfo().noquote() << m_trials->lastRun();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestStress)
#include "TestStress.moc"

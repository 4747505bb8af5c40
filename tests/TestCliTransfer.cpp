// parlewick-cli transfer, run as the built tool against backups the fixture tools make.

#include "TestEnv.h"

#include "CliRun.h"
#include "KikBackupFixture.h"
#include "KikDbTestKit.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3ReadOnly.h"
#include "itunes/BackupWriteLock.h"
#include "kikstore/KikStoreGenerator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// Message rows of a Kik store (a copy the tool extracted).
qint64 messageRows(const QString &storePath, const QString &where = QString())
{
    Sqlite3DB db;
    const std::unique_ptr<QTemporaryDir> copy = openReadOnlyThrow(db, storePath, privateTemporaryFolderThrow);
    return KikDbTestKit::scalar(db, QStringLiteral("select count(*) from ZKIKMESSAGE")
                                        + (where.isEmpty() ? QString() : QStringLiteral(" where ") + where));
}

QByteArray folderDigest(const QString &folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext())
        files << it.next();
    files.sort();
    for (const QString &path : files) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        hash.addData(path.toUtf8());
        hash.addData(file.readAll());
    }
    return hash.result();
}

}   // namespace

class TestCliTransfer : public QObject
{
    Q_OBJECT
    TestEnv env;
    GeneratedKikStore m_source;
    QString m_target;   // a container mirror holding the real store

    QString buildBackup(const QString &name, BackupFormat format, KikFixturePlace place, const QStringList &accounts = {},
                        const QString &password = QString())
    {
        ItunesBackupBuilder builder;
        builder.setFormat(format);
        if (!password.isEmpty())
            builder.setPassword(password, 50);
        if (accounts.isEmpty())
            addKikToBackup(builder, m_target, place);
        for (const QString &account : accounts)
            addKikToBackup(builder, m_target, place, account);
        const QString folder = env.path(QStringLiteral("backups/") + name);
        builder.build(folder);
        return folder;
    }

    // The store the backup holds now, as the tool itself extracts it.
    QString extracted(const QString &backup, const QStringList &extra = {})
    {
        const QString out = env.path(QStringLiteral("extracted/") + QFileInfo(backup).fileName());
        QDir(out).removeRecursively();
        const CliRun run = runCliTool(
            QStringList{QStringLiteral("extract"), QStringLiteral("--backup"), backup, QStringLiteral("--out"), out} + extra);
        return run.code == 0 ? run.outText().trimmed() + QStringLiteral("/Documents/kik.sqlite") : QString();
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(env.path(QStringLiteral("tmp")));
        qputenv("TMPDIR", env.path(QStringLiteral("tmp")).toUtf8());
        KikStoreOptions options;
        options.contacts = 4;
        options.chats = 3;
        options.groups = 1;
        options.messagesPerChat = 6;
        options.sideFiles = false;
        options.seed = 7;
        m_source = KikStoreGenerator(options).generate(env.path(QStringLiteral("source")));
        m_target = env.path(QStringLiteral("target"));
        const QString documents = m_target + QStringLiteral("/Documents/");
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), documents).isEmpty());
        QVERIFY(QFile::rename(documents + QStringLiteral("kik_ios.sqlite"), documents + QStringLiteral("kik.sqlite")));
    }

    // Into both formats and both places: the messages arrive once, a second run adds nothing.
    void messagesArriveOnceInEveryKindOfBackup_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("place");
        QTest::newRow("Manifest.mbdb, Documents") << int(BackupFormat::Mbdb) << int(KikFixturePlace::Documents);
        QTest::newRow("Manifest.db, App Group") << int(BackupFormat::FilesDb) << int(KikFixturePlace::Group);
    }

    void messagesArriveOnceInEveryKindOfBackup()
    {
        QFETCH(int, format);
        QFETCH(int, place);
        const QString backup = buildBackup(QString::number(format) + QString::number(place), BackupFormat(format),
                                           KikFixturePlace(place), {kikFixtureAccountId(1)});
        const qint64 before = messageRows(extracted(backup));
        QVERIFY(before > 0);

        const QStringList transfer{QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder,
                                   QStringLiteral("--to-backup"), backup};
        const CliRun first = runCliTool(transfer);
        QVERIFY2(first.code == 0, qPrintable(first.err));
        QVERIFY2(first.outText().startsWith(
                     QStringLiteral("Successfully transferred %1 messages into the iTunes backup ").arg(m_source.messages)),
                 qPrintable(first.outText()));
        const QString store = extracted(backup);
        QCOMPARE(messageRows(store), before + m_source.messages);
        QCOMPARE(messageRows(store, QStringLiteral("ZSTANZAID='%1'").arg(m_source.messageUids.first())), 1);

        const CliRun second = runCliTool(transfer);
        QVERIFY2(second.code == 0, qPrintable(second.err));
        QCOMPARE(messageRows(extracted(backup)), before + m_source.messages);
    }

    // --chat takes one chat; --account picks the account written to, and without it the
    // accounts are listed and nothing changes.
    void chatAndAccountChoice()
    {
        const QString first = kikFixtureAccountId(1), second = kikFixtureAccountId(2);
        const QString backup = buildBackup(QStringLiteral("two"), BackupFormat::Mbdb, KikFixturePlace::Group, {first, second});
        const QByteArray untouched = folderDigest(backup);
        const QStringList base{
            QStringLiteral("transfer"), QStringLiteral("--kik"),     m_source.rootFolder, QStringLiteral("--to-backup"), backup,
            QStringLiteral("--chat"),   m_source.contactJids.first()};
        const CliRun unchosen = runCliTool(base);
        QCOMPARE(unchosen.code, 1);
        QVERIFY2(unchosen.err.contains(first) && unchosen.err.contains(second), qPrintable(unchosen.err));
        QCOMPARE(folderDigest(backup), untouched);

        const qint64 before = messageRows(extracted(backup, {QStringLiteral("--account"), second}));
        const CliRun chosen = runCliTool(base + QStringList{QStringLiteral("--account"), second});
        QVERIFY2(chosen.code == 0, qPrintable(chosen.err));
        const qint64 added = messageRows(extracted(backup, {QStringLiteral("--account"), second})) - before;
        QVERIFY(added > 0 && added < m_source.messages);
        QCOMPARE(messageRows(extracted(backup, {QStringLiteral("--account"), first})), before);

        const CliRun noChat = runCliTool(base.mid(0, 5) + QStringList{QStringLiteral("--chat"), QStringLiteral("nobody")});
        QCOMPARE(noChat.code, 1);
        QCOMPARE(noChat.err.trimmed(), QStringLiteral("There is no chat named nobody."));
    }

    // One writer per backup, whichever data folder it runs from: a run that finds another
    // writer's lock waits, saying so; Ctrl-C stops it with nothing changed; it goes on once the
    // lock is let go, and a lock left by a writer that ended is taken over. No lock file and no
    // working folder stay behind.
    void aSecondWriterWaitsForTheFirstFromAnyDataFolder()
    {
        const QString backup = buildBackup(QStringLiteral("locked"), BackupFormat::FilesDb, KikFixturePlace::Documents);
        const QByteArray before = folderDigest(backup);
        const QString otherHome = env.path(QStringLiteral("other-home"));
        QProcessEnvironment other = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            other.insert(QLatin1String(name), otherHome + QLatin1Char('/') + QLatin1String(name));
        const QStringList transfer{QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder,
                                   QStringLiteral("--to-backup"), backup};
        auto held = std::make_unique<BackupWriteLock>(backup);
        held->acquireOrBusyThrow();
        for (const bool interrupt : {true, false}) {
            QProcess run;
            run.setProcessEnvironment(other);
            run.setReadChannel(QProcess::StandardError);
            run.start(TestEnv::binaryDir() + QStringLiteral("/bin/parlewick-cli"), transfer);
            QString err;
            while (!err.contains(QStringLiteral("Waiting for it to finish")) && run.waitForReadyRead(60000))
                err += QString::fromUtf8(run.readAllStandardError());
            QVERIFY2(err.contains(QStringLiteral("is being written by another task")), qPrintable(err));
            if (interrupt)
                ::kill(pid_t(run.processId()), SIGINT);
            else
                held.reset();
            QVERIFY(run.waitForFinished(120000));
            QCOMPARE(run.exitCode(), interrupt ? 130 : 0);
            if (interrupt) {
                held.reset();
                QCOMPARE(folderDigest(backup), before);
                held = std::make_unique<BackupWriteLock>(backup);
                held->acquireOrBusyThrow();
            }
        }
        QVERIFY(!QFileInfo::exists(BackupWriteLock::lockPathFor(backup)));
        const qint64 after = messageRows(extracted(backup));

        // A writer that was killed left its lock: the next one takes it over at once.
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString lockPath = BackupWriteLock::lockPathFor(backup);
        QByteArray lockBytes;
        {
            BackupWriteLock probe(backup);
            probe.acquireOrBusyThrow();
            lockBytes = readFileBytes(lockPath);
        }
        writeFileBytes(lockPath, QByteArray::number(endedPid) + lockBytes.mid(lockBytes.indexOf('\n')));
        const CliRun again = runCliTool(transfer, other);
        QVERIFY2(again.code == 0 && !again.err.contains(QStringLiteral("Waiting")), qPrintable(again.err));
        QCOMPARE(messageRows(extracted(backup)), after);
        QVERIFY(!QFileInfo::exists(BackupWriteLock::lockPathFor(backup)));
        QCOMPARE(QDir(otherHome + QStringLiteral("/XDG_CACHE_HOME/parlewick")).entryList({QStringLiteral("work-*")}, QDir::Dirs),
                 QStringList());
    }

    void wrongUseAndRefusalsChangeNothing()
    {
        const CliRun noTarget = runCliTool({QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder});
        QCOMPARE(noTarget.code, 2);
        const CliRun misplacedAccount = runCliTool({QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder,
                                                    QStringLiteral("--source-account"), kikFixtureAccountId(1),
                                                    QStringLiteral("--to-backup"), env.path(QStringLiteral("x"))});
        QCOMPARE(misplacedAccount.code, 2);

        const QString unfinished = env.path(QStringLiteral("backups/unfinished"));
        ItunesBackupBuilder builder;
        builder.setFinished(false);
        addKikToBackup(builder, m_target, KikFixturePlace::Documents);
        builder.build(unfinished);
        const QByteArray before = folderDigest(unfinished);
        const CliRun refused = runCliTool({QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder,
                                           QStringLiteral("--to-backup"), unfinished});
        QCOMPARE(refused.code, 1);
        QCOMPARE(folderDigest(unfinished), before);

        // One byte changed near the end of an encrypted list: damage, never sealed again.
        const QString damaged = buildBackup(QStringLiteral("bad-padding"), BackupFormat::FilesDb, KikFixturePlace::Documents, {},
                                            QStringLiteral("pw"));
        QFile list(damaged + QStringLiteral("/Manifest.db"));
        QVERIFY(list.open(QIODevice::ReadWrite));
        QVERIFY(list.seek(list.size() - 20));
        const char byte = list.read(1).at(0);
        QVERIFY(list.seek(list.size() - 20));
        list.write(QByteArray(1, char(byte ^ 0x01)));
        list.close();
        const QByteArray beforeDamaged = folderDigest(damaged);
        QProcessEnvironment withPassword = QProcessEnvironment::systemEnvironment();
        withPassword.insert(QStringLiteral("PARLEWICK_BACKUP_PASSWORD"), QStringLiteral("pw"));
        const CliRun resealed = runCliTool(
            {QStringLiteral("transfer"), QStringLiteral("--kik"), m_source.rootFolder, QStringLiteral("--to-backup"), damaged},
            withPassword);
        QCOMPARE(resealed.code, 1);
        QVERIFY2(resealed.err.contains(QStringLiteral("Manifest.db is damaged: its last block does not end in valid padding")),
                 qPrintable(resealed.err));
        QCOMPARE(folderDigest(damaged), beforeDamaged);
    }
};

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "TestCliTransfer.moc"

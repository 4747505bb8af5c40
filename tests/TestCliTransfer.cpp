// parlewick-cli transfer, run as the built tool against backups the fixture tools make.

#include "TestEnv.h"

#include "CliRun.h"
#include "KikBackupFixture.h"
#include "KikDbTestKit.h"

#include "ItunesBackupBuilder.h"
#include "app/PrivateCache.h"
#include "db/Sqlite3DB.h"
#include "db/Sqlite3ReadOnly.h"
#include "kikstore/KikStoreGenerator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

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

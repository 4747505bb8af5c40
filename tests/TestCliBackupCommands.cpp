#include "TestEnv.h"

#include "CliRun.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString kKikDomain = QStringLiteral("AppDomain-com.kik.chat");

}   // namespace

// backups and extract, run as the built tool.
class TestCliBackupCommands : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_container;
    QString m_plain;
    QString m_encrypted;

    QString buildBackup(const QString &folder, const ItunesBackupDevice &device, const QString &password)
    {
        ItunesBackupBuilder builder(device);
        if (!password.isEmpty())
            builder.setPassword(password, 50);
        builder.addFolder(kKikDomain, m_container);
        builder.build(folder);
        return folder;
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(env.path(QStringLiteral("tmp")));
        qputenv("TMPDIR", env.path(QStringLiteral("tmp")).toUtf8());
        m_container = env.path(QStringLiteral("container"));
        const QString documents = m_container + QStringLiteral("/Documents/");
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), documents).isEmpty());
        QVERIFY(QFile::rename(documents + QStringLiteral("kik_ios.sqlite"), documents + QStringLiteral("kik.sqlite")));
        writeFileBytes(documents + QStringLiteral("attachments/c0ffee"), QByteArray(3000, 'a'));
        writeFileBytes(documents + QStringLiteral("profpix/thumb_ann@talk.kik.com"), QByteArray(700, 'p'));

        ItunesBackupDevice older;
        older.date = QDateTime(QDate(2015, 1, 2), QTime(3, 4, 5), Qt::UTC);
        m_plain = buildBackup(env.path(QStringLiteral("root/") + older.uniqueDeviceId), older, QString());
        ItunesBackupDevice newer;
        newer.deviceName = QStringLiteral("Work\tphone");   // a name from the phone may hold a tab
        m_encrypted = buildBackup(env.path(QStringLiteral("root/encrypted-copy")), newer, QStringLiteral("correct horse"));
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("root/not-a-backup"))));
        writeFileBytes(env.path(QStringLiteral("password")), "correct horse\n");
        writeFileBytes(env.path(QStringLiteral("wrong-password")), "battery staple\n");
    }

    void backupsListsNewestFirst()
    {
        // A backup whose metadata cannot be read is reported and the others are still listed.
        const QString broken = env.path(QStringLiteral("root/broken"));
        QVERIFY(QDir().mkpath(broken + QStringLiteral("/Manifest.plist")));
        writeFileBytes(broken + QStringLiteral("/Manifest.mbdb"), "mbdb");
        const QString hostile = env.path(QStringLiteral("root/hostile"));
        writeFileBytes(hostile + QStringLiteral("/Manifest.mbdb"), "mbdb");
        writeFileBytes(hostile + QStringLiteral("/Manifest.plist"),
                       "<plist>" + QByteArray("<array><!--</array>-->").repeated(200000) + "</plist>");
        // A FIFO planted as either property list is never waited on.
        QStringList fifos;
        for (const char *name : {"Status.plist", "Manifest.plist"}) {
            const QString folder = env.path(QStringLiteral("root/fifo-") + QLatin1String(name));
            QVERIFY(QDir().mkpath(folder));
            for (const char *file : {"Manifest.plist", "Status.plist", "Manifest.mbdb"}) {
                if (qstrcmp(file, name) != 0)
                    QVERIFY(QFile::copy(m_plain + QLatin1Char('/') + QLatin1String(file),
                                        folder + QLatin1Char('/') + QLatin1String(file)));
            }
            const QString fifo = folder + QLatin1Char('/') + QLatin1String(name);
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            fifos << fifo;
        }

        const CliRun run = runCliTool({QStringLiteral("backups"), QStringLiteral("--root"), env.path(QStringLiteral("root"))});
        QCOMPARE(run.code, 0);
        const QStringList expected = {
            QStringLiteral("Work phone-encrypted-copy\t2016-03-14T09:26:53Z\t1\t") + m_encrypted
                + QStringLiteral("\t9.3.5\tfinished"),
            QStringLiteral("Test iPhone\t2015-01-02T03:04:05Z\t0\t") + m_plain + QStringLiteral("\t9.3.5\tfinished"),
        };
        QCOMPARE(run.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
        QVERIFY2(run.err.contains(QStringLiteral("load %1 error.").arg(broken)), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("load %1 error. %1/Manifest.plist is damaged").arg(hostile)),
                 qPrintable(run.err));
        for (const QString &fifo : fifos)
            QVERIFY2(
                run.err.contains(
                    QStringLiteral("load %1 error. Cannot read %2: it is not a regular file").arg(QFileInfo(fifo).path(), fifo)),
                qPrintable(run.err));

        const CliRun empty =
            runCliTool({QStringLiteral("backups"), QStringLiteral("--root"), env.path(QStringLiteral("nowhere"))});
        QCOMPARE(empty.code, 0);
        QCOMPARE(empty.out, QByteArray());
        QVERIFY(QDir(broken).removeRecursively());
        QVERIFY(QDir(hostile).removeRecursively());
        for (const QString &fifo : fifos)
            QVERIFY(QDir(QFileInfo(fifo).path()).removeRecursively());
    }

    void modernBackupsAreReadAndUnfinishedOnesRefused()
    {
        ItunesBackupDevice device;
        device.productVersion = QStringLiteral("17.5");
        ItunesBackupBuilder builder(device);
        builder.setFormat(BackupFormat::FilesDb);
        builder.addFolder(kKikDomain, m_container);
        const QString modern = env.path(QStringLiteral("modern-root/done"));
        builder.build(modern);
        builder.setFinished(false);
        const QString cut = env.path(QStringLiteral("modern-root/cut"));
        builder.build(cut);

        const CliRun listed =
            runCliTool({QStringLiteral("backups"), QStringLiteral("--root"), env.path(QStringLiteral("modern-root"))});
        QCOMPARE(listed.code, 0);
        QStringList lines = listed.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).endsWith(cut + QStringLiteral("\t17.5\tunfinished")), qPrintable(lines.at(0)));
        QVERIFY2(lines.at(1).endsWith(modern + QStringLiteral("\t17.5\tfinished")), qPrintable(lines.at(1)));

        const QString out = env.path(QStringLiteral("out-modern"));
        CliRun run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), modern, QStringLiteral("--out"), out});
        QCOMPARE(run.code, 0);
        QCOMPARE(treeOf(out + QStringLiteral("/com.kik.chat")), treeOf(m_container));

        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), cut, QStringLiteral("--out"),
                          env.path(QStringLiteral("out-cut"))});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("This iTunes Backup is unfinished (Status.plist says it is uploading, "
                                                 "not finished)")),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("out-cut/com.kik.chat/Documents/kik.sqlite"))));
        QVERIFY(QFile::remove(cut + QStringLiteral("/Status.plist")));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), cut, QStringLiteral("--out"),
                          env.path(QStringLiteral("out-cut"))});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("This iTunes Backup is unfinished (Status.plist is missing)")),
                 qPrintable(run.err));
    }

    void extractGivesTheFilesOfPlainAndEncryptedBackups()
    {
        const QMap<QString, QByteArray> expected = treeOf(m_container);
        const QString plainOut = env.path(QStringLiteral("out-plain"));
        CliRun run =
            runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), m_plain, QStringLiteral("--out"), plainOut});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.outText().trimmed(), plainOut + QStringLiteral("/com.kik.chat"));
        QCOMPARE(treeOf(plainOut + QStringLiteral("/com.kik.chat")), expected);

        const QString encryptedOut = env.path(QStringLiteral("out-encrypted"));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), m_encrypted, QStringLiteral("--out"),
                          encryptedOut, QStringLiteral("--password-file"), env.path(QStringLiteral("password"))});
        QCOMPARE(run.code, 0);
        QCOMPARE(treeOf(encryptedOut + QStringLiteral("/com.kik.chat")), expected);

        // The password may come from the environment instead.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PARLEWICK_BACKUP_PASSWORD"), QStringLiteral("correct horse"));
        const QString fromEnvironment = env.path(QStringLiteral("out-environment"));
        run = runCliTool(
            {QStringLiteral("extract"), QStringLiteral("--backup"), m_encrypted, QStringLiteral("--out"), fromEnvironment},
            environment);
        QCOMPARE(run.code, 0);
        QCOMPARE(treeOf(fromEnvironment + QStringLiteral("/com.kik.chat")), expected);
    }

    void namesThatCleanUpAlikeNeverReplaceEachOther()
    {
        ItunesBackupBuilder builder;
        builder.setFormat(BackupFormat::FilesDb);
        builder.addFolder(kKikDomain, m_container);
        // Rows whose names clean up to those of Kik's store and of an attachment.
        builder.addFile(kKikDomain, QStringLiteral("Documents/kik.sqlite\n"), "14-byte decoy.");
        builder.addFile(kKikDomain, QStringLiteral("Documents/attachments/c0ffee\r"), "decoy attachment");
        builder.addFile(kKikDomain, QStringLiteral("Documents/attachments/be:ef"), "decoy");
        builder.addFile(kKikDomain, QStringLiteral("Documents/attachments/beef"), "clean");
        const QString backup = env.path(QStringLiteral("alike"));
        builder.build(backup);

        const QString out = env.path(QStringLiteral("out-alike"));
        const CliRun run =
            runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), backup, QStringLiteral("--out"), out});
        QCOMPARE(run.code, 0);
        QMap<QString, QByteArray> expected = treeOf(m_container);
        expected.insert(QStringLiteral("Documents/attachments/beef"), "clean");
        QCOMPARE(treeOf(out + QStringLiteral("/com.kik.chat")), expected);
    }

    void extractFailures()
    {
        const QString out = env.path(QStringLiteral("out-failures"));
        QVERIFY(QDir().mkpath(out));
        CliRun run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), m_encrypted, QStringLiteral("--out"), out,
                                 QStringLiteral("--password-file"), env.path(QStringLiteral("wrong-password"))});
        QCOMPARE(run.code, 1);
        QCOMPARE(run.err.trimmed(), QStringLiteral("Invalid password."));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // No password at all, and stdin is not a terminal: a usage error.
        QProcessEnvironment noPassword = QProcessEnvironment::systemEnvironment();
        noPassword.remove(QStringLiteral("PARLEWICK_BACKUP_PASSWORD"));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), m_encrypted, QStringLiteral("--out"), out},
                         noPassword);
        QCOMPARE(run.code, 2);

        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), env.path(QStringLiteral("missing")),
                          QStringLiteral("--out"), out});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("does not exist")), qPrintable(run.err));

        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), env.path(QStringLiteral("root/not-a-backup")),
                          QStringLiteral("--out"), out});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Cannot find ")), qPrintable(run.err));

        ItunesBackupBuilder noKik;
        noKik.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
        noKik.build(env.path(QStringLiteral("no-kik")));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), env.path(QStringLiteral("no-kik")),
                          QStringLiteral("--out"), out});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Found no Kik data in your iTunes Backup.")), qPrintable(run.err));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // Kik's folders without a store: what was written (decrypted) into OUT goes again.
        ItunesBackupBuilder noStore;
        noStore.setPassword(QStringLiteral("correct horse"), 50);
        noStore.addFile(kKikDomain, QStringLiteral("Documents/attachments/c0ffee"), QByteArray(3000, 'a'));
        noStore.build(env.path(QStringLiteral("no-store")));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), env.path(QStringLiteral("no-store")),
                          QStringLiteral("--out"), out, QStringLiteral("--password-file"), env.path(QStringLiteral("password"))});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Found no Kik data in your iTunes Backup.")), qPrintable(run.err));
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        QCOMPARE(runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), m_plain}).code, 2);
        const CliRun help = runCliTool({QStringLiteral("extract"), QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY(help.outText().contains(QStringLiteral("--password-file FILE")));
    }
};

QTEST_GUILESS_MAIN(TestCliBackupCommands)
#include "TestCliBackupCommands.moc"

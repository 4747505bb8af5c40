// Running out of room: parlewick-cli imports, exports, extracts and transfers into a small file
// system (a tmpfs, where one can be mounted) or under a file size limit (RLIMIT_FSIZE, works
// anywhere). Each says so naming where it wrote, and leaves everything as it was.

#include "TestEnv.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "TestFiles.h"
#include "kikstore/KikStoreGenerator.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

enum class Room { Plenty, SmallFileSystem, FileSizeLimit };

const rlim_t kFileSizeLimit = 96 * 1024;

struct ToolRun
{
    int code = -1;
    QString err;
};

ToolRun runTool(const QStringList &arguments, Room room, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (room == Room::FileSizeLimit) {
        process.setChildProcessModifier([] {
            // SIGXFSZ keeps its default (ending the process): the program ignores it itself, so
            // that writes past the limit fail with EFBIG.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{kFileSizeLimit, kFileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    process.start(TestEnv::binaryDir() + QStringLiteral("/bin/parlewick-cli"), arguments);
    ToolRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.code = process.exitCode();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Room the files take on a tmpfs: whole pages.
qint64 folderBytes(const QString &folder)
{
    qint64 bytes = 0;
    for (const QByteArray &content : treeOf(folder))
        bytes += (content.size() + 4095) / 4096 * 4096;
    return bytes;
}

// A tmpfs of the given size at folder, unmounted again at the end.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &folder, qint64 bytes)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount(QFile::encodeName(m_folder).constData());
    }
    bool mounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};

bool saysDiskIsFull(const QString &err, const QString &where)
{
    return (err.contains(QLatin1String("disk is full")) || err.contains(QLatin1String("too large for this disk or limit")))
           && err.contains(where);
}

}   // namespace

class TestFailingWrites : public QObject
{
    Q_OBJECT
    TestEnv m_env;
    QString m_source;   // a Kik folder whose store and database outgrow the room
    QString m_backup;   // an iTunes backup holding another Kik store
    int m_place = 0;

    // Where the writes of a run go: a fresh folder, on a small file system for that room.
    QString placeFor(Room room, qint64 bytes, std::unique_ptr<SmallFileSystem> &mounted)
    {
        const QString folder = m_env.path(QStringLiteral("room%1").arg(++m_place));
        if (room == Room::SmallFileSystem) {
            mounted = std::make_unique<SmallFileSystem>(folder, bytes);
            if (!mounted->mounted())
                return QString();
        }
        QDir().mkpath(folder);
        return folder;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_env.path(QStringLiteral("tmp")));
        return environment;
    }

private slots:
    void initTestCase()
    {
        QDir().mkpath(m_env.path(QStringLiteral("tmp")));
        KikStoreOptions options;
        options.contacts = 6;
        options.chats = 6;
        options.groups = 1;
        options.messagesPerChat = 300;
        options.attachmentShare = 0.2;
        options.collectUids = false;
        m_source = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("source"))).rootFolder;
        ItunesBackupBuilder builder;
        builder.setFormat(BackupFormat::FilesDb);
        options.seed = 2;
        addKikToBackup(builder, KikStoreGenerator(options).generate(m_env.path(QStringLiteral("other"))).rootFolder,
                       KikFixturePlace::Documents);
        m_backup = m_env.path(QStringLiteral("backup"));
        builder.build(m_backup);
        // Exports read this database.
        const ToolRun import = runTool(
            {QStringLiteral("import"), QStringLiteral("--kik"), m_source, QStringLiteral("--into"), QStringLiteral("whole")},
            Room::Plenty, environment());
        QCOMPARE(import.code, 0);
    }

    void writesThatDoNotFit_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("task");
        for (const char *task : {"import", "export", "extract", "transfer"}) {
            QTest::addRow("%s, small file system", task) << int(Room::SmallFileSystem) << QString::fromLatin1(task);
            QTest::addRow("%s, file size limit", task) << int(Room::FileSizeLimit) << QString::fromLatin1(task);
        }
    }

    void writesThatDoNotFit()
    {
        QFETCH(int, room);
        QFETCH(QString, task);
        const Room where = Room(room);
        std::unique_ptr<SmallFileSystem> mounted;
        QProcessEnvironment env = environment();
        if (task == QLatin1String("import")) {
            // The data folder has room for the program's start, not for the database.
            const QString data = placeFor(where, 256 * 1024, mounted);
            if (data.isEmpty())
                QSKIP("no tmpfs can be mounted here (that needs root)");
            env.insert(QStringLiteral("XDG_DATA_HOME"), data);
            const ToolRun run = runTool(
                {QStringLiteral("import"), QStringLiteral("--kik"), m_source, QStringLiteral("--into"), QStringLiteral("full")},
                where, env);
            QCOMPARE(run.code, 1);
            QVERIFY2(saysDiskIsFull(run.err, QStringLiteral("local_databases/full")), qPrintable(run.err));
            // Nothing stored: no database, or one without messages; no copies.
            const QMap<QString, QByteArray> left = treeOf(data);
            for (auto it = left.cbegin(); it != left.cend(); ++it)
                QVERIFY2(it.key().contains(QLatin1String("qlogs/")) || it.key().endsWith(QLatin1String(".lock")),
                         qPrintable(it.key()));
        } else if (task == QLatin1String("export")) {
            const QString out = placeFor(where, 64 * 1024, mounted);
            if (out.isEmpty())
                QSKIP("no tmpfs can be mounted here (that needs root)");
            const QString file = out + QStringLiteral("/messages.txt");
            const ToolRun run = runTool({QStringLiteral("export"), QStringLiteral("--db"), QStringLiteral("whole"),
                                         QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--out"), file},
                                        where, env);
            QCOMPARE(run.code, 1);
            QVERIFY2(saysDiskIsFull(run.err, file), qPrintable(run.err));
            QVERIFY2(treeOf(out).isEmpty(), qPrintable(treeOf(out).keys().join(QLatin1Char(' '))));
        } else if (task == QLatin1String("extract")) {
            const QString out = placeFor(where, 64 * 1024, mounted);
            if (out.isEmpty())
                QSKIP("no tmpfs can be mounted here (that needs root)");
            const ToolRun run = runTool(
                {QStringLiteral("extract"), QStringLiteral("--backup"), m_backup, QStringLiteral("--out"), out}, where, env);
            QCOMPARE(run.code, 1);
            QVERIFY2(saysDiskIsFull(run.err, out), qPrintable(run.err));
            QVERIFY2(treeOf(out).isEmpty(), qPrintable(treeOf(out).keys().join(QLatin1Char(' '))));
        } else {
            // The backup fits, with a little room to spare; the store merged into it does not.
            const QString copy = placeFor(where, folderBytes(m_backup) + 64 * 1024, mounted);
            if (copy.isEmpty())
                QSKIP("no tmpfs can be mounted here (that needs root)");
            const QMap<QString, QByteArray> files = treeOf(m_backup);
            for (auto it = files.cbegin(); it != files.cend(); ++it)
                writeFileBytes(copy + QLatin1Char('/') + it.key(), it.value());
            const ToolRun run = runTool(
                {QStringLiteral("transfer"), QStringLiteral("--kik"), m_source, QStringLiteral("--to-backup"), copy}, where, env);
            QCOMPARE(run.code, 1);
            QVERIFY2(saysDiskIsFull(run.err, copy) || saysDiskIsFull(run.err, QStringLiteral("kik.sqlite")), qPrintable(run.err));
            const QMap<QString, QByteArray> after = treeOf(copy);
            QStringList changed;
            for (const QString &name : after.keys() + files.keys())
                if (after.value(name) != files.value(name) || after.contains(name) != files.contains(name))
                    changed << name;
            QVERIFY2(changed.isEmpty(), qPrintable(changed.join(QLatin1Char(' '))));
        }
    }
};

QTEST_GUILESS_MAIN(TestFailingWrites)
#include "TestFailingWrites.moc"

#include "CliRun.h"
#include "TestEnv.h"
#include "TestFiles.h"
#include "ThrownText.h"

#include "app/AppFolders.h"
#include "app/PrivateCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestPrivateCache : public QObject
{
    Q_OBJECT
    TestEnv env;

    static QFileDevice::Permissions othersBits()
    {
        return QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
               | QFileDevice::WriteOther | QFileDevice::ExeOther;
    }

private slots:
    void foldersAreTheUsersAlone()
    {
        const QString root = privateCacheFolderThrow();
        QCOMPARE(root, QDir(env.path(QStringLiteral(".cache"))).filePath(QStringLiteral("parlewick")));
        const QString sub = privateCacheFolderThrow(QStringLiteral("talvora-kik_cache"));
        QCOMPARE(sub, root + QStringLiteral("/talvora-kik_cache"));
        for (const QString &folder : {root, sub})
            QCOMPARE(QFileInfo(folder).permissions() & othersBits(), QFileDevice::Permissions());

        // A folder that was opened to others is closed again before it is used.
        QVERIFY(QFile::setPermissions(sub, QFileInfo(sub).permissions() | QFileDevice::ReadOther | QFileDevice::ExeOther));
        privateCacheFolderThrow(QStringLiteral("talvora-kik_cache"));
        QCOMPARE(QFileInfo(sub).permissions() & othersBits(), QFileDevice::Permissions());

        QString work;
        {
            const auto folder = privateTemporaryFolderThrow();
            work = folder->path();
            QCOMPARE(QFileInfo(work).absolutePath(), root);
            QCOMPARE(QFileInfo(work).permissions() & othersBits(), QFileDevice::Permissions());
        }
        QVERIFY(!QFileInfo::exists(work));

        // The phones' mirrors in the data folder hold decrypted stores too.
        const QString phones = iosCacheFolder();
        QCOMPARE(QFileInfo(phones).permissions() & othersBits(), QFileDevice::Permissions());
        QVERIFY(QFile::setPermissions(phones, QFileInfo(phones).permissions() | QFileDevice::ReadOther | QFileDevice::ExeOther));
        QCOMPARE(iosCacheFolder(), phones);
        QCOMPARE(QFileInfo(phones).permissions() & othersBits(), QFileDevice::Permissions());
    }

    void plantedLinksAndFilesAreRefused()
    {
        const QString elsewhere = env.path(QStringLiteral("elsewhere"));
        writeFileBytes(elsewhere + QStringLiteral("/precious"), "keep me");
        const QString planted = privateCachePath(QStringLiteral("talvora-itunes_cache"));
        QVERIFY(QFile::link(elsewhere, planted));
        const QString text = thrownText([&] { privateCacheFolderThrow(QStringLiteral("talvora-itunes_cache")); });
        QVERIFY2(text.contains(planted) && text.contains(QStringLiteral("not owned by you")), qPrintable(text));
        QVERIFY(QFileInfo(planted).isSymLink());
        QCOMPARE(readFileBytes(elsewhere + QStringLiteral("/precious")), QByteArray("keep me"));
        QVERIFY(QFile::remove(planted));

        writeFileBytes(planted, "a file");
        QVERIFY(thrownText([&] { privateCacheFolderThrow(QStringLiteral("talvora-itunes_cache")); }).contains(planted));
        QVERIFY(QFile::remove(planted));

        // The cache folder itself: a link there is refused as well, so nothing goes through it.
        const QString cacheHome = env.path(QStringLiteral("planted-cache"));
        QVERIFY(QDir().mkpath(cacheHome));
        QVERIFY(QFile::link(elsewhere, cacheHome + QStringLiteral("/parlewick")));
        const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", cacheHome.toUtf8());
        QVERIFY(thrownText([&] { privateTemporaryFolderThrow(); }).contains(QStringLiteral("not owned by you")));
        qputenv("XDG_CACHE_HOME", oldCache);
        QCOMPARE(QDir(elsewhere).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{QStringLiteral("precious")});
    }

    // A TMPDIR that names no folder makes the system's temporary folder the current one; the
    // cache never goes there, however the cache folder is set.
    void neverTheCurrentFolder()
    {
        const QString source = env.path(QStringLiteral("source"));
        QVERIFY(QDir().mkpath(source));
        const QString before = QDir::currentPath();
        const QByteArray oldTmp = qgetenv("TMPDIR");
        const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
        QVERIFY(QDir::setCurrent(source));
        qputenv("TMPDIR", env.path(QStringLiteral("gone")).toUtf8());
        for (const QByteArray &cacheHome : {QByteArray("relative/cache"), QByteArray()}) {
            qputenv("XDG_CACHE_HOME", cacheHome);
            QVERIFY(QDir::isAbsolutePath(privateCachePath()));
            const auto work = privateTemporaryFolderThrow();
            QVERIFY(privateCacheFolderThrow(QStringLiteral("talvora-itunes_cache")).startsWith(env.home()));
            QVERIFY(work->path().startsWith(env.home() + QLatin1Char('/')));
        }
        qputenv("TMPDIR", oldTmp);
        qputenv("XDG_CACHE_HOME", oldCache);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(QDir(source).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
    }

    // What a killed run left in the cache goes when any command starts; a live run's folder, one
    // named otherwise and a link stay, and nothing outside is touched.
    void workFoldersOfEndedRunsGoAtTheNextStart()
    {
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QDir cache(privateCacheFolderThrow());
        const QString left = QStringLiteral("work-%1-abc").arg(endedPid);
        writeFileBytes(cache.filePath(left + QStringLiteral("/Manifest.db")), "decrypted");
        const auto live = privateTemporaryFolderThrow();
        QVERIFY(QDir().mkpath(cache.filePath(QStringLiteral("work-older"))));
        writeFileBytes(env.path(QStringLiteral("outside/keep")), "keep");
        QVERIFY(QFile::link(env.path(QStringLiteral("outside")), cache.filePath(QStringLiteral("work-%1-link").arg(endedPid))));
        const CliRun run = runCliTool({QStringLiteral("version")});
        QCOMPARE(run.code, 0);
        QVERIFY(!QFileInfo::exists(cache.filePath(left)));
        QVERIFY(QFileInfo(live->path()).isDir());
        QVERIFY(QFileInfo(cache.filePath(QStringLiteral("work-older"))).isDir());
        QCOMPARE(readFileBytes(env.path(QStringLiteral("outside/keep"))), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TestPrivateCache)
#include "TestPrivateCache.moc"

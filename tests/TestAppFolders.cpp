#include "TestEnv.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestAppFolders : public QObject
{
    Q_OBJECT
    TestEnv env;
    const QString productId = QLatin1String(AppConstants::ProductId);

    QString redirectFile() const { return QDir(roamingBrandFolder()).filePath(productId + QLatin1String(".redirect")); }

    void writeRedirect(const QByteArray &content) const
    {
        QDir().mkpath(roamingBrandFolder());
        QFile file(redirectFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QString defaultDataFolder() const { return QDir(roamingBrandFolder()).filePath(productId); }

private slots:
    void cleanup()
    {
        QFile::remove(redirectFile());
        QDir(env.path("AppData")).removeRecursively();
    }

    void roamingRootPrefersAppDataRoaming()
    {
        QCOMPARE(roamingRoot(), env.path(".local/share"));
        QVERIFY(QDir().mkpath(env.path("AppData/Roaming")));
        QCOMPARE(roamingRoot(), env.path("AppData/Roaming"));
        QCOMPARE(roamingBrandFolder(), env.path("AppData/Roaming/Talvora"));
        QVERIFY(!QFileInfo::exists(roamingBrandFolder()));   // named, not created
    }

    void withoutRedirectTheDefaultBaseIsUsed() { QCOMPARE(resolveDataFolderPath(), defaultDataFolder()); }

    void redirectToMissingFolderIsIgnored()
    {
        writeRedirect(env.path("nowhere").toUtf8());
        QCOMPARE(resolveDataFolderPath(), defaultDataFolder());
    }

    void redirectToExistingFolderMovesTheDataFolder()
    {
        const QString target = env.path("big disk/Parlewick data ü");
        QDir().mkpath(target);
        writeRedirect(target.toUtf8());
        QCOMPARE(resolveDataFolderPath(), QDir(target).filePath(productId));
    }

    void redirectContentIsNotTrimmed()
    {
        const QString target = env.path("trailing");
        QDir().mkpath(target);
        writeRedirect(target.toUtf8() + '\n');   // "trailing\n" is no folder
        QCOMPARE(resolveDataFolderPath(), defaultDataFolder());

        const QString blankEnd = env.path("blank end ");
        QDir().mkpath(blankEnd);
        writeRedirect(blankEnd.toUtf8());
        QCOMPARE(resolveDataFolderPath(), QDir(blankEnd).filePath(productId));
    }

    void redirectToPlainFileIsIgnored()
    {
        const QString file = env.path("not-a-folder");
        QFile(file).open(QIODevice::WriteOnly);
        writeRedirect(file.toUtf8());
        QCOMPARE(resolveDataFolderPath(), defaultDataFolder());
    }

    void redirectIsReadUnderAppDataWhenItExists()
    {
        QDir().mkpath(env.path("AppData/Roaming"));
        const QString target = env.path("elsewhere");
        QDir().mkpath(target);
        writeRedirect(target.toUtf8());
        QCOMPARE(resolveDataFolderPath(), QDir(target).filePath(productId));
    }

    void foldersAreCreatedOnEveryCall()
    {
        const QString data = dataFolder();
        QCOMPARE(data, defaultDataFolder());
        QVERIFY(QFileInfo(data).isDir());

        QCOMPARE(localDatabasesFolder(), QDir(data).filePath("local_databases"));
        QCOMPARE(iosCacheFolder(), QDir(data).filePath("ios_cache"));
        QCOMPARE(logFolder(), QDir(data).filePath("qlogs"));
        QVERIFY(QFileInfo(QDir(data).filePath("ios_cache")).isDir());

        QVERIFY(QDir(data).removeRecursively());
        QVERIFY(QFileInfo(localDatabasesFolder()).isDir());   // recreated with its parents

        // The path is fixed for the process even when a redirect appears later.
        const QString target = env.path("late");
        QDir().mkpath(target);
        writeRedirect(target.toUtf8());
        QCOMPARE(dataFolder(), data);
    }
};

QTEST_GUILESS_MAIN(TestAppFolders)
#include "TestAppFolders.moc"

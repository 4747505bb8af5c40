// Where device backups are made, and its removal.

#include "TestEnv.h"

#include "app/AppFolders.h"
#include "device/TempBackupFolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

QString rootFile()
{
    return QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

}   // namespace

class TestTempBackupFolder : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void rememberedFolderIsKeptWithoutProbing()
    {
        const QString root = env.path(QStringLiteral("große Platte"));
        QDir().mkpath(root);
        writeFile(rootFile(), root.toUtf8() + "\n");
        QCOMPARE(chooseTempBackupFolder(), root + QStringLiteral("/__talvora_iosbk_temp"));
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/__talvora_iosbk_temp")));   // not made here
        QCOMPARE(rememberedTempBackupFolder(), root + QStringLiteral("/__talvora_iosbk_temp"));
    }

    void writableRootWithMostSpaceIsPicked()
    {
        const QString a = env.path(QStringLiteral("a"));
        const QString b = env.path(QStringLiteral("b"));
        QDir().mkpath(a);
        QDir().mkpath(b);
        writeFile(env.path(QStringLiteral("plainfile")), "x");
        const QString fallback = env.path(QStringLiteral("fallback"));
        // Equal space: the first writable one; roots that cannot hold a folder are passed over.
        QCOMPARE(pickTempBackupRoot({env.path(QStringLiteral("missing")), env.path(QStringLiteral("plainfile")), a, b}, fallback),
                 a);
        QCOMPARE(pickTempBackupRoot({env.path(QStringLiteral("missing"))}, fallback), fallback);
        QCOMPARE(pickTempBackupRoot({}, fallback), fallback);
        // The writability probe is taken away again.
        QCOMPARE(QDir(a).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    void freeSpaceOfAFolder()
    {
        QVERIFY(freeDiskSpace(env.home()) > 0);
        QCOMPARE(freeDiskSpace(env.path(QStringLiteral("no/such/folder"))), qint64(-1));
    }

    void clearingRemovesOnlyTheBackupFolder()
    {
        const QString root = env.path(QStringLiteral("disk"));
        writeFile(root + QStringLiteral("/__talvora_iosbk_temp/UDID/Manifest.plist"), "x");
        writeFile(root + QStringLiteral("/keep.txt"), "mine");
        writeFile(rootFile(), root.toUtf8());
        clearTempBackupFolder();
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/__talvora_iosbk_temp")));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/keep.txt")));
        QVERIFY(!QFileInfo::exists(rootFile()));
        QCOMPARE(rememberedTempBackupFolder(), QString());
    }
};

QTEST_GUILESS_MAIN(TestTempBackupFolder)
#include "TestTempBackupFolder.moc"

#include "RecordingProgress.h"
#include "TestEnv.h"
#include "WireBytes.h"

#include "ItunesBackupBuilder.h"
#include "itunes/BackupKeybag.h"
#include "itunes/BackupManifest.h"
#include "plist/CFType.h"
#include "workers/UnlockBackupThread.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestUnlockBackupThread : public QObject
{
    Q_OBJECT
    TestEnv env;

    QSharedPointer<BackupManifest> makeBackup(const QString &name, ItunesBackupBuilder::KeybagFormat format)
    {
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("pässword"), 10);
        builder.setKeybagFormat(format, 20);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
        const QString folder = env.path(name);
        builder.build(folder);
        auto backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        return backup;
    }

private slots:
    void passwordsRightAndWrong()
    {
        for (auto format : {ItunesBackupBuilder::KeybagFormat::Modern, ItunesBackupBuilder::KeybagFormat::Old}) {
            const auto backup = makeBackup(QStringLiteral("bag%1").arg(int(format)), format);
            RecordingProgress wrong;
            UnlockBackupThread wrongWorker(backup, Secret::fromUtf8("password"), &wrong);
            wrong.run(wrongWorker);
            // A wrong password is an answer, not a failure: the dialog asks again.
            QCOMPARE(wrong.successes().size(), 1);
            QVERIFY(wrong.errors().isEmpty());
            QVERIFY(!wrongWorker.keybag());

            RecordingProgress right;
            UnlockBackupThread worker(backup, Secret::fromUtf8("pässword"), &right);
            right.run(worker);
            QCOMPARE(right.successes().size(), 1);
            QVERIFY(worker.keybag());
            QVERIFY(worker.keybag()->classKeys().value(3).contains("KEY"));
            QVERIFY(!backup->keybag());   // the caller hands it over on its own thread
        }
    }

    void cancelKeepsNoKey()
    {
        const auto backup = makeBackup(QStringLiteral("cancel"), ItunesBackupBuilder::KeybagFormat::Modern);
        RecordingProgress progress;
        progress.cancelWhen([](const RecordingProgress::Report &) { return true; });
        UnlockBackupThread worker(backup, Secret::fromUtf8("pässword"), &progress);
        progress.run(worker);
        QVERIFY(progress.successes().isEmpty());
        QVERIFY(progress.errors().isEmpty());
        QCOMPARE(progress.cancels(), 1);
        QVERIFY(!worker.keybag());
    }

    void damagedKeybagIsTheTasksError()
    {
        const auto built = makeBackup(QStringLiteral("damaged"), ItunesBackupBuilder::KeybagFormat::Modern);
        const QString plist = QDir(built->folder()).filePath(QStringLiteral("Manifest.plist"));
        CFType manifest = CFType::fromPlistFile(plist);
        // A password-protected class, but neither SALT nor ITER to derive its key with.
        manifest.setValue(QStringLiteral("BackupKeyBag"),
                          CFType(tlv("UUID", QByteArray(16, 'u')) + tlv("WRAP", be32(0)) + tlv("UUID", QByteArray(16, 'c'))
                                 + tlv("CLAS", be32(3)) + tlv("WRAP", be32(2)) + tlv("WPKY", QByteArray(40, 'w'))));
        QFile file(plist);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(manifest.toPlistData());
        file.close();

        auto backup = QSharedPointer<BackupManifest>::create(built->folder());
        backup->readInfo();
        RecordingProgress progress;
        UnlockBackupThread worker(backup, Secret::fromUtf8("pässword"), &progress);
        progress.run(worker);
        QVERIFY(progress.successes().isEmpty());
        QCOMPARE(
            progress.errors(),
            QStringList{QStringLiteral("The keybag in %1 is damaged: its SALT is missing or not 20 bytes long.").arg(plist)});
        QVERIFY(!worker.keybag());
    }
};

QTEST_GUILESS_MAIN(TestUnlockBackupThread)
#include "TestUnlockBackupThread.moc"

// The shared phone fixture: Kik and its store where each kind of Kik keeps them, and switches
// given as options and as faults both reaching the phone.

#include "PhoneKikStore.h"
#include "SimulatedPhones.h"
#include "TestEnv.h"

#include <QtTest>

Q_DECLARE_METATYPE(PhoneKik)

class TestSimulatedPhones : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};

private slots:
    void kikWhereItsKindKeepsIt_data()
    {
        QTest::addColumn<PhoneKik>("kik");
        QTest::addColumn<QString>("apps");    // installed, then development ones
        QTest::addColumn<QString>("store");   // below the phone's folder; empty: refused
        const QString documents = QStringLiteral("apps/com.kik.chat/Documents/kik.sqlite");
        QTest::newRow("none") << PhoneKik::None << "/" << QString();
        QTest::newRow("development") << PhoneKik::Development << "com.kik.chat/com.kik.chat" << documents;
        QTest::newRow("app store") << PhoneKik::AppStore << "com.kik.chat/" << documents;
        QTest::newRow("app store, group")
            << PhoneKik::AppStoreGroup << "com.kik.chat/"
            << "groups/group.com.kik.chat/cores/private/c4ca4238a0b923820dcc509a6f75849b/kik.sqlite";
    }

    void kikWhereItsKindKeepsIt()
    {
        QFETCH(PhoneKik, kik);
        QFETCH(QString, apps);
        QFETCH(QString, store);
        PhoneSetup setup(QStringLiteral("00008030-0000000000%1").arg(int(kik), 6, 10, QLatin1Char('0')), kik);
        setup.kikStore.emplace().chats = 1;
        if (store.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, sim.add(setup));
            QVERIFY(!sim.phone(setup.udid).exists());
            return;
        }
        const AddedPhone phone = sim.add(setup);
        const QString kikApp = QStringLiteral("com.kik.chat");
        QCOMPARE(phone.folder.installedApps().join(',') + '/' + (phone.folder.isDevelopmentApp(kikApp) ? kikApp : ""), apps);
        QCOMPARE(phone.folder.groupIds().isEmpty(), kik != PhoneKik::AppStoreGroup);
        QCOMPARE(phone.kikStore.storePath, phone.folder.path() + '/' + store);
        QCOMPARE(kikStorePath(phone.folder), phone.kikStore.storePath);
        QVERIFY(phone.kikStore.messages > 0 && QFileInfo(phone.kikStore.storePath).isFile());
    }

    void optionSwitchesAndFaultsTogether()
    {
        PhoneSetup setup(QStringLiteral("00008030-0000000000000B00"));
        setup.backupError = 212;
        setup.backupPassword = QStringLiteral("pw");
        setup.faults = {{QStringLiteral("ContainerRefused"), true}};
        const SimPhoneFolder phone = sim.add(setup).folder;
        QCOMPARE(phone.faults(), (QVariantMap{{"MobileBackupErrors", QVariantMap{{"Backup", 212}}}, {"ContainerRefused", true}}));
        QCOMPARE(phone.backupKeyRounds(), 10u);   // not the phones' ten million
        QCOMPARE(kikStorePath(phone), QString());
    }
};

QTEST_GUILESS_MAIN(TestSimulatedPhones)
#include "TestSimulatedPhones.moc"

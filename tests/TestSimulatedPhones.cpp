// The shared phone fixture: Kik is installed, and its store put, where each kind of Kik has it,
// and the switches given as options and as faults both reach the phone.

#include "PhoneKikStore.h"
#include "SimulatedPhones.h"
#include "TestEnv.h"

#include <QFileInfo>
#include <QtTest>

Q_DECLARE_METATYPE(PhoneKik)

class TestSimulatedPhones : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    int added = 0;

private slots:
    void kikIsWhereItsKindKeepsIt_data()
    {
        QTest::addColumn<PhoneKik>("kik");
        QTest::addColumn<QStringList>("development");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("store");   // below the phone's folder
        const QStringList kik{QStringLiteral("com.kik.chat")};
        const QString documents = QStringLiteral("apps/com.kik.chat/Documents/kik.sqlite");
        QTest::newRow("development") << PhoneKik::Development << kik << QStringList() << documents;
        QTest::newRow("app store") << PhoneKik::AppStore << QStringList() << QStringList() << documents;
        QTest::newRow("app store, group")
            << PhoneKik::AppStoreGroup << QStringList() << QStringList{kikGroupId()}
            << QStringLiteral("groups/group.com.kik.chat/cores/private/c4ca4238a0b923820dcc509a6f75849b/kik.sqlite");
    }

    void kikIsWhereItsKindKeepsIt()
    {
        QFETCH(PhoneKik, kik);
        QFETCH(QStringList, development);
        QFETCH(QStringList, groups);
        QFETCH(QString, store);
        PhoneSetup setup(QStringLiteral("00008030-00000000000000%1").arg(++added, 2, 10, QLatin1Char('0')), kik);
        setup.kikStore.emplace().chats = 1;
        const AddedPhone phone = sim.add(setup);

        QCOMPARE(phone.folder.installedApps(), QStringList{QStringLiteral("com.kik.chat")});
        QCOMPARE(phone.folder.isDevelopmentApp(QStringLiteral("com.kik.chat")), !development.isEmpty());
        QCOMPARE(phone.folder.groupIds(), groups);
        QCOMPARE(kikStorePath(phone.folder), phone.folder.path() + '/' + store);
        QCOMPARE(phone.kikStore.storePath, kikStorePath(phone.folder));
        QVERIFY(QFileInfo(phone.kikStore.storePath).isFile());
        QVERIFY(phone.kikStore.messages > 0);
    }

    void noKikNoStore()
    {
        const AddedPhone phone = sim.add(PhoneSetup(QStringLiteral("00008030-0000000000000A00")));
        QCOMPARE(phone.folder.installedApps(), QStringList());
        QCOMPARE(kikStorePath(phone.folder), QString());
        PhoneSetup impossible(QStringLiteral("00008030-0000000000000A01"));
        impossible.kikStore = KikStoreOptions();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sim.add(impossible));
        QVERIFY(!sim.phone(impossible.udid).exists());
    }

    void optionSwitchesAndFaultsTogether()
    {
        PhoneSetup setup(QStringLiteral("00008030-0000000000000B00"));
        setup.backupError = 212;
        setup.backupPassword = QStringLiteral("pw");
        setup.faults = {{QStringLiteral("ContainerRefused"), true}};
        const AddedPhone phone = sim.add(setup);
        QCOMPARE(phone.folder.faults(),
                 (QVariantMap{{QStringLiteral("MobileBackupErrors"), QVariantMap{{QStringLiteral("Backup"), 212}}},
                              {QStringLiteral("ContainerRefused"), true}}));
        QCOMPARE(phone.folder.backupPassword(), QStringLiteral("pw"));
        QCOMPARE(phone.folder.backupKeyRounds(), 10u);   // not the phones' ten million
    }
};

QTEST_GUILESS_MAIN(TestSimulatedPhones)
#include "TestSimulatedPhones.moc"

// Sessions, lockdown values and service start, through the real phone library against
// simulated iPhones.

#include "TestEnv.h"
#include "ThrownText.h"

#include "PhoneLog.h"
#include "SimulatedPhones.h"
#include "device/LockdownSession.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceService.h"
#include "device/MobileDeviceSession.h"

#include <QtTest>

#include <fcntl.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kNewUdid = QStringLiteral("00008101-000A11B22C33D44E");
const QString kHint = QStringLiteral("Please restart your iPhone and computer to try again. If a prompt message "
                                     "pops out on your iPhone, please click \"Trust\".\n\nError code: ");

}   // namespace

class TestMobileDeviceSession : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    SimPhoneFolder phone{QString()};

    MobileDeviceHandle *device(const QString &udid = kUdid) { return MobileDeviceHandle::attach(udid); }

    SimPhoneFolder unpairedPhone()
    {
        PhoneSetup unpaired(kNewUdid);
        unpaired.paired = false;
        return sim.phone(kNewUdid).exists() ? sim.phone(kNewUdid) : sim.add(unpaired).folder;
    }

private slots:
    void initTestCase()
    {
        phone = sim.add(PhoneSetup(kUdid)).folder;
        sim.start();
    }

    void init()
    {
        phone.setFaults({});
        phone.clearReceived();
    }

    void sessionOpensOnATrustedPhoneAndStopsAgain()
    {
        QString error;
        QCOMPARE(mobiledevice_connect(device(), &error), 0);
        QCOMPARE(error, QString());
        mobiledevice_disconnect(device());
        // The session is opened on a second connection, after the library asked for the version.
        QCOMPARE(PhoneLog::lockdownRequests(phone),
                 (QStringList{"QueryType", "ValidatePair", "QueryType", "GetValue", "StartSession", "StopSession"}));
        // A trusted phone is never asked to pair again.
        QVERIFY(PhoneLog::entries(phone, {{"message", "ReadPairRecord"}}).size() >= 1);
    }

    void unpairedPhoneIsPairedOnceAndRemembered()
    {
        const SimPhoneFolder fresh = unpairedPhone();
        fresh.clearReceived();
        QString error;
        QCOMPARE(mobiledevice_connect(device(kNewUdid), &error), 0);
        mobiledevice_disconnect(device(kNewUdid));
        QVERIFY(PhoneLog::lockdownRequests(fresh).contains("Pair"));
        QVERIFY(!fresh.pairRecordData().isEmpty());

        fresh.clearReceived();
        QCOMPARE(mobiledevice_connect(device(kNewUdid), &error), 0);
        mobiledevice_disconnect(device(kNewUdid));
        QVERIFY(!PhoneLog::lockdownRequests(fresh).contains("Pair"));
    }

    void everyFailingStepNamesItselfWithItsCode_data()
    {
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QVariantMap>("faults");
        QTest::addColumn<QString>("step");
        QTest::newRow("trust declined") << kNewUdid << QVariantMap{{"PairingRefused", true}} << "AMDevicePair(-18)";
        QTest::newRow("pairing forgotten by the phone")
            << kUdid << QVariantMap{{"NotPaired", true}} << "AMDeviceValidatePairing(-21)";
        QTest::newRow("session refused") << kUdid
                                         << QVariantMap{{"LockdownErrors", QVariantMap{{"StartSession", "InvalidHostID"}}}}
                                         << "AMDeviceStartSession(-21)";
    }

    void everyFailingStepNamesItselfWithItsCode()
    {
        QFETCH(QString, udid);
        QFETCH(QVariantMap, faults);
        QFETCH(QString, step);
        const SimPhoneFolder target = udid == kUdid ? phone : unpairedPhone();
        if (udid == kNewUdid)
            target.deletePairRecord();   // back to a phone never trusted
        target.setFaults(faults);

        QString error;
        const int code = mobiledevice_connect(device(udid), &error);
        QCOMPARE(error, kHint + step);
        QCOMPARE(QStringLiteral("(%1)").arg(code), step.mid(step.indexOf('(')));
        // Nothing stays open: the next request on a fresh connection starts from the beginning.
        target.setFaults({});
        QCOMPARE(mobiledevice_connect(device(udid), &error), 0);
        mobiledevice_disconnect(device(udid));
    }

    void connectingFailsForAPhoneThatIsGoneOrDoesNotAnswer()
    {
        QString error;
        MobileDeviceHandle *gone = MobileDeviceHandle::attach(QStringLiteral("00000000-0000000000000000"));
        QCOMPARE(mobiledevice_connect(gone, &error), -3);
        QCOMPARE(error, kHint + "AMDeviceConnect(-3)");

        phone.setFaults(PhoneLog::answerFault("com.apple.mobile.lockdown", "QueryType", "CloseAfter"));
        QVERIFY(mobiledevice_connect(device(), &error) != 0);
        QVERIFY2(error.startsWith(kHint + "AMDeviceConnect("), qPrintable(error));
    }

    void valuesComeBackParallelToTheKeys()
    {
        const QList<CFType> values =
            mobiledevice_copy_values(device(), {"DeviceName", "NoSuchKey", "ProductVersion", "UniqueDeviceID"});
        QCOMPARE(values.size(), 4);
        QCOMPARE(values[0].toQString(), QStringLiteral("Simulated iPhone"));
        QVERIFY(values[1].isNull());
        QCOMPARE(values[2].toQString(), QStringLiteral("17.5"));
        QCOMPARE(values[3].toQString(), kUdid);

        // An empty key asks for the whole domain; the request carries no Key at all.
        const QList<CFType> usage = mobiledevice_copy_values(device(), {QString()}, "com.apple.disk_usage");
        QVERIFY(usage[0].isDictionary());
        QVERIFY(usage[0].value("TotalDataCapacity").toInt64() > usage[0].value("AmountDataAvailable").toInt64());
        const QList<QJsonObject> asked = PhoneLog::entries(phone, {{"kind", "plist"}});
        const QJsonObject last = asked.at(asked.size() - 2).value("request").toObject();   // before StopSession
        QCOMPARE(last.value("Domain").toString(), QStringLiteral("com.apple.disk_usage"));
        QVERIFY(!last.contains("Key"));

        QCOMPARE(mobiledevice_device_description(device()), QStringLiteral("Simulated iPhone, iPhone10,3, iOS 17.5"));
    }

    // Phones since iOS 10 refuse the TLS 1.0 of the oldest phones; the session and the values
    // come through for old and new phones alike.
    void sessionsReachPhonesOfEveryVersion()
    {
        for (const QString &version : {QStringLiteral("17.5"), QStringLiteral("10.3"), QStringLiteral("9.3.5")}) {
            phone.setLockdownValue(QString(), QStringLiteral("ProductVersion"), version);
            phone.clearReceived();
            const QList<CFType> values = mobiledevice_copy_values(device(), {"DeviceName", "ProductVersion"});
            QCOMPARE(values[0].toQString(), QStringLiteral("Simulated iPhone"));
            QCOMPARE(values[1].toQString(), version);
            QCOMPARE(PhoneLog::entries(phone, {{"kind", "tls"}, {"event", "started"}}).size(), 1);
        }
        phone.setLockdownValue(QString(), QStringLiteral("ProductVersion"), QStringLiteral("17.5"));
    }

    void spoiledValueAnswersGiveNullValues()
    {
        phone.setFaults(
            PhoneLog::answerFault("com.apple.mobile.lockdown", "GetValue", "MalformedPlist", {{"Key", "DeviceName"}}));
        const QList<CFType> values = mobiledevice_copy_values(device(), {"DeviceName"});
        QVERIFY(values[0].isNull());
    }

    void valuesOfAPhoneThatRefusesTrustRaiseTheSessionText()
    {
        phone.setFault("NotPaired", true);
        QCOMPARE(thrownText([&] { mobiledevice_copy_values(device(), {"DeviceName"}); }), kHint + "AMDeviceValidatePairing(-21)");
    }

    void serviceSocketOutlivesItsSessionUntilClosed()
    {
        const int socket = mobiledevice_start_service(device(), "com.apple.afc");
        QVERIFY(socket > 0);
        const QStringList requests = PhoneLog::lockdownRequests(phone);
        QCOMPARE(requests.mid(requests.size() - 2), (QStringList{"StartService", "StopSession"}));
        QVERIFY(::fcntl(socket, F_GETFD) != -1);
        mobiledevice_closesocket(socket);
        QCOMPARE(::fcntl(socket, F_GETFD), -1);
        mobiledevice_closesocket(socket);   // twice is harmless
    }

    void serviceStartFailureNamesTheDevice()
    {
        phone.setFault("LockdownErrors", QVariantMap{{"StartService:com.apple.afc", "InvalidService"}});
        QCOMPARE(thrownText([&] { mobiledevice_start_service(device(), "com.apple.afc"); }),
                 QStringLiteral("\n\ndevice:Simulated iPhone, iPhone10,3, iOS 17.5 \n\n"
                                "Please turn off Wifi Sync on iTunes or disconnect computer internet connections "
                                "to try again.\nError code: AMDeviceStartService(com.apple.afc)=-27"));
        // The session was stopped although the service did not start.
        QCOMPARE(PhoneLog::lockdownRequests(phone).count("StopSession"), 2);   // start and description

        phone.setFaults({{"NotPaired", true}});
        QCOMPARE(thrownText([&] { mobiledevice_start_service(device(), "com.apple.afc"); }),
                 kHint + "AMDeviceValidatePairing(-21)");
    }
};

QTEST_GUILESS_MAIN(TestMobileDeviceSession)
#include "TestMobileDeviceSession.moc"

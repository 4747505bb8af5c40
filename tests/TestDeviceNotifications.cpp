// Phones coming and going: the notifications the main window hears, through the real phone
// library's device events from a simulated multiplexer.

#include "SimulatedPhones.h"
#include "TestEnv.h"

#include "device/DeviceNotifications.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"

#include <QThread>
#include <QtTest>

namespace {

const QString kFirst = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kSecond = QStringLiteral("00008101-000A11B22C33D44E");

}   // namespace

// Stands in for the main window: the two callbacks, recording what they were called with.
class DeviceListener : public QObject
{
    Q_OBJECT
public:
    QList<MobileDeviceHandle *> connected;
    QList<MobileDeviceHandle *> disconnected;
    bool offThread = false;

    MobileDeviceSubscription subscription()
    {
        return {this, [this](MobileDeviceHandle *device) { record(connected, device); },
                [this](MobileDeviceHandle *device) { record(disconnected, device); }};
    }

private:
    void record(QList<MobileDeviceHandle *> &calls, MobileDeviceHandle *device)
    {
        offThread = offThread || QThread::currentThread() != thread();
        calls.append(device);
    }
};

class TestDeviceNotifications : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void onePlugOneCallWithTheSameHandleEachTime()
    {
        SimulatedPhones sim(env.path(QStringLiteral("phones")));
        sim.add(PhoneSetup(kFirst));
        sim.start();

        DeviceListener listener;
        static MobileDeviceSubscription subscription;
        subscription = listener.subscription();
        mobiledevice_subscribe(&subscription);

        // A phone already plugged in is announced at once.
        QTRY_COMPARE(listener.connected.size(), 1);
        MobileDeviceHandle *first = listener.connected[0];
        QCOMPARE(first->udid(), kFirst);
        QVERIFY(first->isAttached());

        sim.unplug(kFirst);
        QTRY_COMPARE(listener.disconnected.size(), 1);
        QCOMPARE(listener.disconnected[0], listener.connected[0]);
        QVERIFY(!first->isAttached());
        QVERIFY(!first->link());
        QString error;
        QVERIFY(mobiledevice_connect(first, &error) != 0);   // gone, and said so

        // Back again: the same handle, working with the phone's new device number.
        sim.plugIn(kFirst);
        QTRY_COMPARE(listener.connected.size(), 2);
        QCOMPARE(listener.connected[1], listener.connected[0]);
        QCOMPARE(mobiledevice_copy_values(first, {"UniqueDeviceID"}).value(0).toQString(), kFirst);

        sim.add(PhoneSetup(kSecond));
        QTRY_COMPARE(listener.connected.size(), 3);
        QCOMPARE(listener.connected[2]->udid(), kSecond);
        QVERIFY(listener.connected[2] != listener.connected[0]);

        sim.unplug(kSecond);
        sim.unplug(kFirst);
        QTRY_COMPARE(listener.disconnected.size(), 3);
        QCOMPARE(QSet<MobileDeviceHandle *>(listener.disconnected.begin() + 1, listener.disconnected.end()),
                 (QSet<MobileDeviceHandle *>{listener.connected[0], listener.connected[2]}));

        // No doubles arrive late: notifications come in order, so any would precede this plug-in.
        sim.plugIn(kSecond);
        QTRY_COMPARE(listener.connected.size(), 4);
        QCOMPARE(listener.connected[3], listener.connected[2]);
        QCOMPARE(listener.disconnected.size(), 3);
        QVERIFY(!listener.offThread);

        // After unsubscribing nothing more is heard, also once the phone is known to be there.
        mobiledevice_unsubscribe();
        sim.plugIn(kFirst);
        QTRY_COMPARE(MobileDeviceHandle::connectedDevices().size(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(listener.connected.size(), 4);
        sim.stop();
    }

    void subscribingAgainAnnouncesThePhonesAgain()
    {
        SimulatedPhones sim(env.path(QStringLiteral("phones2")));
        sim.add(PhoneSetup(kFirst));
        sim.start();
        DeviceListener listener;
        static MobileDeviceSubscription subscription;
        subscription = listener.subscription();
        for (int round = 1; round <= 2; ++round) {
            mobiledevice_subscribe(&subscription);
            QTRY_COMPARE(listener.connected.size(), round);
            mobiledevice_unsubscribe();
        }
        QCOMPARE(listener.connected[0], listener.connected[1]);
        sim.stop();
    }

    void connectedDevicesListsWhatIsPluggedInNow()
    {
        SimulatedPhones sim(env.path(QStringLiteral("phones3")));
        sim.add(PhoneSetup(kFirst));
        sim.add(PhoneSetup(kSecond));
        sim.start();
        QList<MobileDeviceHandle *> now = MobileDeviceHandle::connectedDevices();
        QCOMPARE(now.size(), 2);
        sim.unplug(kSecond);
        QTRY_COMPARE(MobileDeviceHandle::connectedDevices().size(), 1);
        now = MobileDeviceHandle::connectedDevices();
        QCOMPARE(now[0]->udid(), kFirst);
        QCOMPARE(now[0], MobileDeviceHandle::find(kFirst));
        QVERIFY(!MobileDeviceHandle::find(kSecond)->isAttached());
        sim.stop();
        // No multiplexer is not "no phones": the user hears how to start one.
        SimulatedPhones::useNoMultiplexer(env.home());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, MobileDeviceHandle::connectedDevices());
        qunsetenv("USBMUXD_SOCKET_ADDRESS");
    }
};

QTEST_GUILESS_MAIN(TestDeviceNotifications)
#include "TestDeviceNotifications.moc"

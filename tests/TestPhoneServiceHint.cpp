#include "SimulatedPhones.h"
#include "TestEnv.h"
#include "WindowTestKit.h"

#include "device/MobileDeviceFrameworks.h"
#include "ui/MainWindow.h"
#include "ui/PhoneServiceHint.h"

#include <QtTest>

// The window's word on a missing multiplexer, against no multiplexer and the simulated one.
class TestPhoneServiceHint : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase()
    {
        WindowTestKit::prepareApplication();
        loadMobileDeviceFrameworksThrow();
    }

    void shownOnlyWhileNoMultiplexerAnswers()
    {
        SimulatedPhones::useNoMultiplexer(env.home());
        QWidget pane;
        auto *hint = new PhoneServiceHint(&pane);
        pane.show();
        QVERIFY(hint->isVisible());
        QVERIFY(hint->text().contains(QLatin1String("usbmuxd")));
        QVERIFY(hint->text().contains(QLatin1String("unlock it and answer \"Trust\" on it")));

        // The service starts: the hint goes by itself.
        SimulatedPhones sim(env.path(QStringLiteral("phones")));
        sim.start();
        QTRY_VERIFY_WITH_TIMEOUT(!hint->isVisible(), 15000);

        // It ends (as usbmuxd does with the last phone unplugged): asked again, the hint is back.
        sim.stop();
        SimulatedPhones::useNoMultiplexer(env.home());
        hint->check();
        QVERIFY(hint->isVisible());
    }

    void theWindowShowsItBelowTheSources()
    {
        SimulatedPhones::useNoMultiplexer(env.home());
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *hint = window.findChild<PhoneServiceHint *>(QStringLiteral("lbPhoneService"));
        QVERIFY(hint && hint->isVisible());
        QCOMPARE(hint->parentWidget(), window.findChild<QWidget *>(QStringLiteral("treeViewDS"))->parentWidget());
    }
};

QTEST_MAIN(TestPhoneServiceHint)
#include "TestPhoneServiceHint.moc"

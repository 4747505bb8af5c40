#include "SimulatedPhones.h"

#include "PhoneKikStore.h"
#include "device/MobileDeviceFrameworks.h"
#include "simiphone/AfcService.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <stdexcept>

namespace {

const QString kKik = QStringLiteral("com.kik.chat");

}   // namespace

PhoneSetup::PhoneSetup(const QString &phoneUdid, PhoneKik phoneKik)
    : udid(phoneUdid)
    , kik(phoneKik)
{
    backupKeyRounds = 10;   // phones take ten million: far too slow for tests
}

SimulatedPhones::SimulatedPhones(const QString &phonesFolder)
    : m_folder(QDir(phonesFolder).absolutePath())
    , m_simulator(phonesFolder)
{
}

AddedPhone SimulatedPhones::add(const PhoneSetup &setup)
{
    if (setup.kikStore && setup.kik == PhoneKik::None)
        throw std::runtime_error("a Kik store needs Kik on the phone");
    SimPhoneOptions options = static_cast<const SimPhoneOptions &>(setup);
    if (setup.kik == PhoneKik::Development)
        options.developmentApps << kKik;
    else if (setup.kik != PhoneKik::None)
        options.apps << kKik;
    if (setup.kik == PhoneKik::AppStoreGroup)
        options.groups << kikGroupId();

    AddedPhone added{m_simulator.createPhone(setup.udid, options), {}};
    if (!setup.faults.isEmpty()) {
        QVariantMap faults = added.folder.faults();
        faults.insert(setup.faults);
        added.folder.setFaults(faults);
    }
    if (setup.afc)
        serveAfc(setup.udid, setup.afc);
    if (!setup.kikStore)
        return added;
    if (setup.kik == PhoneKik::AppStoreGroup)
        added.kikStore = putKikInGroupContainer(added.folder, *setup.kikStore, m_folder + QStringLiteral("-kik/") + setup.udid);
    else
        added.kikStore = KikStoreGenerator(*setup.kikStore).generate(added.folder.containerPath(kKik));
    return added;
}

QString SimulatedPhones::start()
{
    loadMobileDeviceFrameworksThrow();
    return m_simulator.start();
}

bool SimulatedPhones::waitForPlugIn(const QString &udid, quint32 previousDeviceId) const
{
    return QTest::qWaitFor(
        [&] {
            const quint32 now = deviceId(udid);
            return now != 0 && now != previousDeviceId;
        },
        30000);
}

void SimulatedPhones::serveAfc(const QString &udid, const ServiceHandler &handler)
{
    m_afc.insert(udid, handler);
    // The table is handed over whole: the simulator's threads never see it change.
    m_simulator.addService(QStringLiteral("com.apple.afc"), [answering = m_afc](ServiceContext &context) {
        const ServiceHandler own = answering.value(context.phone->udid());
        if (own)
            own(context);
        else
            AfcService(context, context.phone->folder().mediaPath()).run();
    });
}

QString SimulatedPhones::noMultiplexerAddress(const QString &folder)
{
    return QStringLiteral("UNIX:") + folder + QStringLiteral("/no-usbmuxd");
}

void SimulatedPhones::useNoMultiplexer(const QString &folder)
{
    qputenv("USBMUXD_SOCKET_ADDRESS", QFile::encodeName(noMultiplexerAddress(folder)));
}

#pragma once

#include "kikstore/KikStoreGenerator.h"
#include "simiphone/SimulatedIPhone.h"

#include <QHash>
#include <QString>
#include <QVariantMap>

#include <optional>

// How a simulated phone has Kik.
enum class PhoneKik {
    None,
    Development,     // installed from a developer's computer: house_arrest serves its container
    AppStore,        // from the App Store: its container is reached only through a device backup
    AppStoreGroup,   // today's App Store Kik: closed too, its store in Kik's App Group container
};

// One phone of a test: the simulator's own options (name, type, iOS version, pairing, apps,
// backup password, passcode and backup switches, simiphone's README) and what tests add to them.
struct PhoneSetup : SimPhoneOptions
{
    explicit PhoneSetup(const QString &phoneUdid = QStringLiteral("00008030-001A2B3C4D5E6F70"),
                        PhoneKik phoneKik = PhoneKik::None);

    QString udid;
    PhoneKik kik;
    std::optional<KikStoreOptions> kikStore;   // a generated store where that Kik keeps it
    QVariantMap faults;                        // further faults.plist switches, on from the start
    ServiceHandler afc;                        // set: answers AFC in place of the media area
};

struct AddedPhone
{
    SimPhoneFolder folder;
    GeneratedKikStore kikStore;   // empty without PhoneSetup::kikStore
};

// The simulated iPhones of a test, with the program's device layer pointed at them: start()
// loads the phone library and sets the multiplexer address it reads. The destructor stops them
// and puts the address back.
class SimulatedPhones
{
public:
    explicit SimulatedPhones(const QString &phonesFolder);

    // Adds a phone (plugged in at once while running). Throws std::runtime_error.
    AddedPhone add(const PhoneSetup &setup);
    // Returns the multiplexer's address. Throws std::runtime_error.
    QString start();
    void stop() { m_simulator.stop(); }

    SimPhoneFolder phone(const QString &udid) const { return m_simulator.phone(udid); }
    quint32 deviceId(const QString &udid) const { return m_simulator.deviceId(udid); }
    void plugIn(const QString &udid) { m_simulator.plugIn(udid); }
    void unplug(const QString &udid) { m_simulator.unplug(udid); }
    // Waits until the phone is plugged in under a device number other than previousDeviceId
    // (a phone that restarts comes back under a new one).
    bool waitForPlugIn(const QString &udid, quint32 previousDeviceId = 0) const;
    // The simulator itself, for its address, folder and services.
    SimulatedIPhone &simulator() { return m_simulator; }

    // An address where no multiplexer answers, and pointing the device layer at it.
    static QString noMultiplexerAddress(const QString &folder);
    static void useNoMultiplexer(const QString &folder);

private:
    void serveAfc(const QString &udid, const ServiceHandler &handler);

    QString m_folder;
    SimulatedIPhone m_simulator;
    QHash<QString, ServiceHandler> m_afc;
};

#pragma once

#include "simiphone/SimPhoneFolder.h"
#include "simiphone/SimServiceTable.h"

#include <QByteArray>
#include <QString>

#include <memory>

class UsbmuxServer;

// Simulated iPhones for tests, served in this process on background threads. Every phone is a
// folder under phonesDir; the phone library reaches them through USBMUXD_SOCKET_ADDRESS, which
// start() sets and stop() restores.
//
//     SimulatedIPhone sim(env.path("phones"));
//     sim.createPhone("00008030-001A2B3C4D5E6F70", options);
//     sim.start();
//     ... phone library calls ...
//     sim.phone(udid).received();   // what the program sent
class SimulatedIPhone
{
public:
    explicit SimulatedIPhone(const QString &phonesDir);
    ~SimulatedIPhone();
    SimulatedIPhone(const SimulatedIPhone &) = delete;
    SimulatedIPhone &operator=(const SimulatedIPhone &) = delete;

    // "127.0.0.1:0" takes any free port; "UNIX:/path" a local socket. Returns the address in
    // use. Throws std::runtime_error.
    QString start(const QString &listenAddress = QStringLiteral("127.0.0.1:0"));
    void stop();
    QString address() const { return m_address; }
    QString phonesDir() const { return m_phonesDir; }

    // Creates the folder and plugs the phone in at once. Throws std::runtime_error.
    SimPhoneFolder createPhone(const QString &udid, const SimPhoneOptions &options = {});
    SimPhoneFolder phone(const QString &udid) const;
    void plugIn(const QString &udid);              // listeners hear "Attached"
    void unplug(const QString &udid);              // "Detached"; connections end; folder and log stay
    quint32 deviceId(const QString &udid) const;   // 0 while not plugged in

    // More services for lockdown's StartService (before or after start()).
    void addService(const QString &name, const ServiceHandler &handler);

private:
    void rescan();

    QString m_phonesDir;
    SimServiceTable m_services = SimServiceTable::standard();
    std::unique_ptr<UsbmuxServer> m_server;
    QString m_address;
    QByteArray m_previousAddress;
    bool m_hadPreviousAddress = false;
};

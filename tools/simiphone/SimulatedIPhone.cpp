#include "simiphone/SimulatedIPhone.h"

#include "simiphone/UsbmuxServer.h"

#include <QDir>

namespace {
const char kAddressVariable[] = "USBMUXD_SOCKET_ADDRESS";
}

SimulatedIPhone::SimulatedIPhone(const QString &phonesDir)
    : m_phonesDir(QDir(phonesDir).absolutePath())
{
    QDir().mkpath(m_phonesDir);
}

SimulatedIPhone::~SimulatedIPhone()
{
    stop();
}

QString SimulatedIPhone::start(const QString &listenAddress)
{
    if (m_server)
        return m_address;
    auto server = std::make_unique<UsbmuxServer>(m_phonesDir, m_services);
    m_address = server->start(listenAddress);
    m_server = std::move(server);
    m_hadPreviousAddress = qEnvironmentVariableIsSet(kAddressVariable);
    m_previousAddress = qgetenv(kAddressVariable);
    qputenv(kAddressVariable, m_address.toUtf8());
    return m_address;
}

void SimulatedIPhone::stop()
{
    if (!m_server)
        return;
    m_server->stop();
    m_server.reset();
    m_address.clear();
    if (m_hadPreviousAddress)
        qputenv(kAddressVariable, m_previousAddress);
    else
        qunsetenv(kAddressVariable);
}

SimPhoneFolder SimulatedIPhone::createPhone(const QString &udid, const SimPhoneOptions &options)
{
    const SimPhoneFolder folder = SimPhoneFolder::create(m_phonesDir, udid, options);
    rescan();
    return folder;
}

SimPhoneFolder SimulatedIPhone::phone(const QString &udid) const
{
    return SimPhoneFolder(QDir(m_phonesDir).filePath(udid));
}

void SimulatedIPhone::plugIn(const QString &udid)
{
    phone(udid).setUnplugged(false);
    rescan();
}

void SimulatedIPhone::unplug(const QString &udid)
{
    phone(udid).setUnplugged(true);
    rescan();
}

quint32 SimulatedIPhone::deviceId(const QString &udid) const
{
    if (!m_server)
        return 0;
    const auto found = m_server->registry().findByUdid(udid);
    return found ? found->deviceId() : 0;
}

void SimulatedIPhone::addService(const QString &name, const ServiceHandler &handler)
{
    m_services.add(name, handler);
    if (m_server)
        m_server->services().add(name, handler);
}

void SimulatedIPhone::rescan()
{
    if (m_server)
        m_server->registry().rescan();
}

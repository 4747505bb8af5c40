#include "ui/PhoneConnections.h"

#include "app/Preferences.h"
#include "device/DeviceNotifications.h"
#include "device/MobileDeviceFrameworks.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"
#include "ui/CommandHost.h"
#include "ui/PhoneServiceHint.h"
#include "ui/WindowFlows.h"
#include "views/ItemModelMain.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QApplication>
#include <QDebug>
#include <QTimer>

#include <stdexcept>

PhoneConnections::PhoneConnections(CommandHost &host, PhoneServiceHint *serviceHint, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_serviceHint(serviceHint)
{
}

PhoneConnections::~PhoneConnections()
{
    // The subscription names this object; no notification may reach it once it is gone.
    if (m_subscribed)
        mobiledevice_unsubscribe();
}

void PhoneConnections::subscribe()
{
    if (!frameworksLoaded())
        return;
    static MobileDeviceSubscription subscription;
    subscription = {this, [this](MobileDeviceHandle *device) { connected(device); },
                    [this](MobileDeviceHandle *device) { disconnected(device); }};
    try {
        mobiledevice_subscribe(&subscription);
        m_subscribed = true;
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
    }
}

void PhoneConnections::connected(MobileDeviceHandle *device)
{
    if (!device || !device->isAttached())
        return;
    // Announced while a dialog or a task is in front (another phone arriving at the same time,
    // say): the phone waits its turn, so that only one task runs at a time.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(500, this, [this, device] { connected(device); });
        return;
    }
    DeviceDescription description;
    try {
        description = describeDeviceThrow(device);
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    showConnectNotesOnce(description.udid);
    load(description);
}

// Before the first load of each phone in a session, unless the user asked not to see them again.
void PhoneConnections::showConnectNotesOnce(const QString &udid)
{
    Preferences preferences = Preferences::load();
    if (!preferences.connectNotes || m_notedPhones.contains(udid))
        return;
    m_notedPhones.insert(udid);
    if (showInformationWithOptOut(QStringLiteral(
            "<p><b>Notes:</b></p><p><nobr><b>1.</b>  If your iPhone is protected with a passcode, please enter your "
            "passcode on iPhone first.</nobr></p><p><nobr><b>2.</b>  Please make sure you have installed and verified "
            "Kik on your iPhone.</nobr></p>"))) {
        preferences.connectNotes = false;
        preferences.save();
    }
}

void PhoneConnections::load(const DeviceDescription &description)
{
    qDebug() << "iPhone" << description.deviceName << description.udid << "connected";
    if (!WindowFlows(m_host).loadPhone(description))
        keepUnloadedPhone(description);
}

// A phone whose load failed or was cancelled stays listed while it is plugged in, marked, so
// that Retry (or F5) can load it again without pulling the cable.
void PhoneConnections::keepUnloadedPhone(const DeviceDescription &description)
{
    const MobileDeviceHandle *device = description.handle;
    if (!device || !device->isAttached())
        return;
    ItemModelMain &sources = m_host.sources();
    for (ItemNode *node : sources.deviceRoot()->children) {
        if (static_cast<const PhoneItemNode *>(node)->device.handle == description.handle)
            return;
    }
    PhoneItemNode *node = sources.addDevice(description);
    node->loadFailed = true;
    node->text = QStringLiteral("%1 (not loaded)").arg(description.deviceName);
    m_host.selectNode(node);
}

void PhoneConnections::disconnected(MobileDeviceHandle *device)
{
    if (!device)
        return;
    m_serviceHint->check();
    const QList<ItemNode *> devices = m_host.sources().deviceRoot()->children;
    for (ItemNode *node : devices) {
        auto *phone = static_cast<PhoneItemNode *>(node);
        if (phone->device.handle == device)
            m_host.removeSourceNode(phone);
    }
}

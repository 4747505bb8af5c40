#include "device/NotificationProxy.h"

#include "device/MobileDeviceService.h"
#include "device/ServiceMessage.h"
#include "plist/CFType.h"

#include <QDebug>

namespace {

constexpr int kSendTimeoutMs = 5000;

CFType commandMessage(const char *name)
{
    CFType message = CFType::newDictionary();
    message.setValue(QStringLiteral("Command"), CFType(name));
    return message;
}

}   // namespace

NotificationProxy::NotificationProxy(MobileDeviceHandle *device)
    : m_socket(mobiledevice_start_service(device, QStringLiteral("com.apple.mobile.notification_proxy")))
{
}

NotificationProxy::~NotificationProxy()
{
    if (!m_broken) {
        try {
            mobiledevice_sendmsg(m_socket, commandMessage("Shutdown"), kSendTimeoutMs);
        } catch (const std::exception &error) {
            qDebug() << "notification proxy: shutdown not sent:" << error.what();
        }
    }
    mobiledevice_closesocket(m_socket);
}

void NotificationProxy::send(const char *command, const QString &name)
{
    if (m_broken)
        return;
    CFType message = commandMessage(command);
    message.setValue(QStringLiteral("Name"), CFType(name));
    try {
        mobiledevice_sendmsg(m_socket, message, kSendTimeoutMs);
    } catch (const std::exception &error) {
        qDebug() << "notification proxy:" << command << name << "not sent:" << error.what();
        m_broken = true;
    }
}

void NotificationProxy::post(const QString &name)
{
    send("PostNotification", name);
}

void NotificationProxy::observe(const QStringList &names)
{
    for (const QString &name : names)
        send("ObserveNotification", name);
}

QStringList NotificationProxy::takeRelayed()
{
    QStringList relayed;
    while (!m_broken && ServiceSocket::wait(m_socket, false, 0) == ServiceSocket::Ready) {
        try {
            const CFType message = mobiledevice_recmsg(m_socket, CFType(), kSendTimeoutMs);
            const QString said = message.value(QStringLiteral("Command")).toQString();
            if (said == QLatin1String("RelayNotification"))
                relayed << message.value(QStringLiteral("Name")).toQString();
            else if (said == QLatin1String("ProxyDeath") || message.isNull())
                m_broken = true;
        } catch (const std::exception &error) {
            qDebug() << "notification proxy: closed:" << error.what();
            m_broken = true;
        }
    }
    return relayed;
}

#include "simiphone/NotificationProxyService.h"

#include "simiphone/PlistChannel.h"

void serveNotificationProxy(ServiceContext &context)
{
    PlistChannel channel(context);
    while (const std::optional<QVariantMap> request = channel.receive()) {
        const QString command = request->value(QStringLiteral("Command")).toString();
        if (command == QLatin1String("Shutdown")) {
            channel.send(QVariantMap{{QStringLiteral("Command"), QStringLiteral("ProxyDeath")}}, command);
            return;
        }
        // ObserveNotification and PostNotification need no answer; nothing the phone does
        // here is ever relayed back.
    }
}

#include "simiphone/NotificationProxyService.h"

#include "simiphone/PlistChannel.h"

#include <QSet>

#include <mutex>

void serveNotificationProxy(ServiceContext &context)
{
    PlistChannel channel(context);
    std::mutex sending;   // the phone's posts come from other connections' threads
    QSet<QString> observed;
    const int sink = context.phone->addNotificationSink([&](const QString &name) {
        std::lock_guard<std::mutex> lock(sending);
        if (observed.contains(name))
            channel.send(
                QVariantMap{{QStringLiteral("Command"), QStringLiteral("RelayNotification")}, {QStringLiteral("Name"), name}},
                name);
    });
    while (const std::optional<QVariantMap> request = channel.receive()) {
        const QString command = request->value(QStringLiteral("Command")).toString();
        std::lock_guard<std::mutex> lock(sending);
        if (command == QLatin1String("ObserveNotification")) {
            observed.insert(request->value(QStringLiteral("Name")).toString());
        } else if (command == QLatin1String("Shutdown")) {
            channel.send(QVariantMap{{QStringLiteral("Command"), QStringLiteral("ProxyDeath")}}, command);
            break;
        }
        // PostNotification needs no answer.
    }
    context.phone->removeNotificationSink(sink);
}

#include "simiphone/HouseArrestService.h"

#include "simiphone/AfcService.h"
#include "simiphone/PlistChannel.h"

HouseArrestService::HouseArrestService(ServiceContext &context)
    : m_context(context)
{
}

void HouseArrestService::run()
{
    PlistChannel channel(m_context);
    while (const std::optional<QVariantMap> request = channel.receive()) {
        const QString command = request->value(QStringLiteral("Command")).toString();
        const QString bundleId = request->value(QStringLiteral("Identifier")).toString();
        QString error;
        QString container;
        if (command != QLatin1String("VendContainer") && command != QLatin1String("VendDocuments")) {
            error = QStringLiteral("UnknownCommand");
        } else {
            error = m_context.phone->faults().containerRefusedError();
            if (error.isEmpty()) {
                const SimPhoneFolder &phone = m_context.phone->folder();
                container = phone.containerPath(bundleId);
                if (container.isEmpty())
                    error = QStringLiteral("ApplicationLookupFailed");
                // From 8.3 on only apps installed from a developer's computer are vended.
                else if (command == QLatin1String("VendContainer") && phone.iosAtLeast(8, 3) && !phone.isDevelopmentApp(bundleId))
                    error = QStringLiteral("InstallationLookupFailed");
            }
        }
        const QVariantMap answer = error.isEmpty() ? QVariantMap{{QStringLiteral("Status"), QStringLiteral("Complete")}}
                                                   : QVariantMap{{QStringLiteral("Error"), error}};
        if (!channel.send(answer, command))
            return;
        if (error.isEmpty()) {
            // Both commands give the whole container; the app's files sit under "/Documents".
            AfcService(m_context, container).run();
            return;
        }
    }
}

#include "simiphone/InstallationProxyService.h"

#include "simiphone/PlistChannel.h"

namespace {

QVariantMap appEntry(const QString &bundleId)
{
    return {
        {QStringLiteral("CFBundleIdentifier"), bundleId},
        {QStringLiteral("ApplicationType"), QStringLiteral("User")},
        {QStringLiteral("ApplicationSINF"), QByteArray("sinf:") + bundleId.toUtf8()},
        {QStringLiteral("iTunesMetadata"), QByteArray("metadata:") + bundleId.toUtf8()},
    };
}

}   // namespace

void serveInstallationProxy(ServiceContext &context)
{
    PlistChannel channel(context);
    while (const std::optional<QVariantMap> request = channel.receive()) {
        const QString command = request->value(QStringLiteral("Command")).toString();
        if (command != QLatin1String("Browse")) {
            if (!channel.send(QVariantMap{{QStringLiteral("Error"), QStringLiteral("UnknownCommand")}}, command))
                return;
            continue;
        }
        QVariantList apps;
        for (const QString &bundleId : context.phone->folder().installedApps())
            apps << appEntry(bundleId);
        const QVariantMap page = {
            {QStringLiteral("Status"), QStringLiteral("BrowsingApplications")},
            {QStringLiteral("CurrentIndex"), 0},
            {QStringLiteral("CurrentAmount"), apps.size()},
            {QStringLiteral("Total"), apps.size()},
            {QStringLiteral("CurrentList"), apps},
        };
        if ((!apps.isEmpty() && !channel.send(page, command))
            || !channel.send(QVariantMap{{QStringLiteral("Status"), QStringLiteral("Complete")}}, command))
            return;
    }
}

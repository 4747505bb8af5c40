#include "simiphone/SimServiceTable.h"

#include "simiphone/AfcService.h"
#include "simiphone/HouseArrestService.h"
#include "simiphone/InstallationProxyService.h"
#include "simiphone/MobileBackup2Service.h"
#include "simiphone/NotificationProxyService.h"

SimServiceTable SimServiceTable::standard()
{
    SimServiceTable table;
    table.add(QStringLiteral("com.apple.afc"),
              [](ServiceContext &context) { AfcService(context, context.phone->folder().mediaPath()).run(); });
    table.add(QStringLiteral("com.apple.mobile.house_arrest"),
              [](ServiceContext &context) { HouseArrestService(context).run(); });
    table.add(QStringLiteral("com.apple.mobilebackup2"), [](ServiceContext &context) { MobileBackup2Service(context).run(); });
    table.add(QStringLiteral("com.apple.mobile.notification_proxy"), serveNotificationProxy);
    table.add(QStringLiteral("com.apple.mobile.installation_proxy"), serveInstallationProxy);
    return table;
}

SimServiceTable::SimServiceTable(const SimServiceTable &other)
{
    std::lock_guard<std::mutex> lock(other.m_mutex);
    m_handlers = other.m_handlers;
}

void SimServiceTable::add(const QString &name, ServiceHandler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handlers.insert(name, std::move(handler));
}

ServiceHandler SimServiceTable::find(const QString &name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handlers.value(name);
}

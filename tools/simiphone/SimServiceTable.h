#pragma once

#include "simiphone/ServiceContext.h"

#include <QHash>
#include <QString>

#include <functional>
#include <mutex>

// The services lockdown can start, by name. A handler serves one connection and returns when
// it ends. New services plug in with add().
using ServiceHandler = std::function<void(ServiceContext &)>;

class SimServiceTable
{
public:
    static SimServiceTable standard();   // "com.apple.afc", "com.apple.mobile.house_arrest"

    SimServiceTable() = default;
    SimServiceTable(const SimServiceTable &other);
    void add(const QString &name, ServiceHandler handler);
    ServiceHandler find(const QString &name) const;   // empty when unknown

private:
    mutable std::mutex m_mutex;
    QHash<QString, ServiceHandler> m_handlers;
};

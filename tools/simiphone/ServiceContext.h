#pragma once

#include "simiphone/ServiceStream.h"
#include "simiphone/SimPhone.h"

#include <QJsonObject>
#include <QString>

#include <memory>

// What a service handler gets for one connection: the stream, the phone it runs on, the name
// it was started under and the connection's number in the received log.
struct ServiceContext
{
    ServiceStream &stream;
    std::shared_ptr<SimPhone> phone;
    QString service;
    int connection = 0;

    void record(QJsonObject entry) const { phone->record(service, connection, std::move(entry)); }
};

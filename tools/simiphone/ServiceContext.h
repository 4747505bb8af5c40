#pragma once

#include "simiphone/ServiceStream.h"
#include "simiphone/SimPhone.h"

#include <QJsonObject>
#include <QString>

#include <memory>

class PhoneRegistry;

// What a service handler gets for one connection: the stream, the phone it runs on, the name
// it was started under and the connection's number in the received log.
struct ServiceContext
{
    ServiceStream &stream;
    std::shared_ptr<SimPhone> phone;
    QString service;
    int connection = 0;
    PhoneRegistry *registry = nullptr;

    void record(QJsonObject entry) const { phone->record(service, connection, std::move(entry)); }
    // The phone's cable pulled out or put back in at once (its "unplugged" marker); pulling it
    // ends every connection of the phone, this one included.
    void setPlugged(bool plugged) const;
};

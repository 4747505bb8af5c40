#pragma once

#include "simiphone/SimPhoneFolder.h"

#include <QJsonObject>
#include <QList>
#include <QVariant>
#include <QVariantMap>

// Reading what a simulated phone received, and switching its answer faults, in device tests.
namespace PhoneLog {

// The received entries that have every given field with the given value.
QList<QJsonObject> entries(const SimPhoneFolder &phone, const QJsonObject &fields);
// The "Request" texts of the lockdown messages received, in order.
QStringList lockdownRequests(const SimPhoneFolder &phone);
// faults.plist with one AnswerFaults rule: the service, the request (lockdown request or
// command as text, AFC operation as integer; invalid = any), the fault and its settings.
QVariantMap answerFault(const QString &service, const QVariant &request, const QString &fault, const QVariantMap &settings = {});

}   // namespace PhoneLog

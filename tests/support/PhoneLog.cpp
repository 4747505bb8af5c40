#include "PhoneLog.h"

#include <QStringList>

namespace PhoneLog {

QList<QJsonObject> entries(const SimPhoneFolder &phone, const QJsonObject &fields)
{
    QList<QJsonObject> found;
    for (const QJsonObject &entry : phone.received()) {
        bool all = true;
        for (auto it = fields.begin(); all && it != fields.end(); ++it)
            all = entry.value(it.key()) == it.value();
        if (all)
            found.append(entry);
    }
    return found;
}

QStringList lockdownRequests(const SimPhoneFolder &phone)
{
    QStringList requests;
    const QJsonObject fields{{QStringLiteral("service"), QStringLiteral("com.apple.mobile.lockdown")},
                             {QStringLiteral("kind"), QStringLiteral("plist")}};
    for (const QJsonObject &entry : entries(phone, fields))
        requests << entry.value(QStringLiteral("request")).toObject().value(QStringLiteral("Request")).toString();
    return requests;
}

QVariantMap answerFault(const QString &service, const QVariant &request, const QString &fault, const QVariantMap &settings)
{
    QVariantMap rule = settings;
    rule.insert(QStringLiteral("Service"), service);
    rule.insert(QStringLiteral("Fault"), fault);
    if (request.isValid())
        rule.insert(QStringLiteral("Request"), request);
    return {{QStringLiteral("AnswerFaults"), QVariantList{rule}}};
}

}   // namespace PhoneLog

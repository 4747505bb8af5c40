#pragma once

#include "simiphone/AnswerFault.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The switches of a phone's faults.plist (all optional, see README.md):
//   PairingRefused   bool: Pair answers "UserDeniedPairing" (the trust prompt declined)
//   NotPaired        bool: the phone knows no computer: ValidatePair, StartSession "InvalidHostID"
//   ContainerRefused bool or error text: VendContainer answers that Error
//                    ("InstallationLookupFailed" when true)
//   LockdownErrors   dict: "Request" or "Request:detail" (StartService: the service name,
//                    GetValue: the Key or the Domain) -> the Error text answered instead
//   AnswerFaults     array of AnswerFault rules
class SimFaults
{
public:
    explicit SimFaults(const QVariantMap &faults);

    bool pairingRefused() const;
    bool notPaired() const;
    QString containerRefusedError() const;                   // empty when vending is allowed
    QString lockdownError(const QString &request, const QStringList &details) const;   // empty if none
    QList<AnswerFault> answerFaults() const;

private:
    QVariantMap m_faults;
};

#include "simiphone/SimFaults.h"

SimFaults::SimFaults(const QVariantMap &faults)
    : m_faults(faults)
{
}

bool SimFaults::pairingRefused() const
{
    return m_faults.value(QStringLiteral("PairingRefused")).toBool();
}
bool SimFaults::notPaired() const
{
    return m_faults.value(QStringLiteral("NotPaired")).toBool();
}

QString SimFaults::containerRefusedError() const
{
    const QVariant refused = m_faults.value(QStringLiteral("ContainerRefused"));
    if (refused.typeId() == QMetaType::QString)
        return refused.toString();
    return refused.toBool() ? QStringLiteral("InstallationLookupFailed") : QString();
}

QString SimFaults::lockdownError(const QString &request, const QStringList &details) const
{
    const QVariantMap errors = m_faults.value(QStringLiteral("LockdownErrors")).toMap();
    for (const QString &detail : details) {
        const QString specific = request + QLatin1Char(':') + detail;
        if (!detail.isEmpty() && errors.contains(specific))
            return errors.value(specific).toString();
    }
    return errors.value(request).toString();
}

QList<AnswerFault> SimFaults::answerFaults() const
{
    QList<AnswerFault> rules;
    for (const QVariant &item : m_faults.value(QStringLiteral("AnswerFaults")).toList()) {
        AnswerFault rule;
        if (AnswerFault::fromVariant(item.toMap(), &rule))
            rules.append(rule);
    }
    return rules;
}

bool SimFaults::deviceLocked() const
{
    return m_faults.value(QStringLiteral("DeviceLocked")).toBool();
}
double SimFaults::passcodeTimeoutSeconds() const
{
    return m_faults.value(QStringLiteral("PasscodeTimeout")).toDouble();
}
bool SimFaults::findMyEnabled() const
{
    return m_faults.value(QStringLiteral("FindMyEnabled")).toBool();
}

int SimFaults::mobileBackupError(const QString &operation) const
{
    return m_faults.value(QStringLiteral("MobileBackupErrors")).toMap().value(operation).toInt();
}

int SimFaults::cablePulledInFile() const
{
    const QVariant file = m_faults.value(QStringLiteral("CablePulledInFile"));
    return file.isValid() ? file.toInt() : -1;
}

int SimFaults::cablePulledBetweenFiles() const
{
    const QVariant file = m_faults.value(QStringLiteral("CablePulledBetweenFiles"));
    return file.isValid() ? file.toInt() : -1;
}

int SimFaults::cablePulledAfterFiles() const
{
    const QVariant after = m_faults.value(QStringLiteral("CablePulledAfterFiles"));
    return after.isValid() ? after.toInt() : -1;
}

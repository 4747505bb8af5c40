#include "simiphone/SimFaults.h"

namespace {

// A number of faults.plist; libplist keeps a negative integer as its two's complement.
double numberOf(const QVariant &value, double fallback)
{
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::ULongLong)
        return double(qint64(value.toULongLong()));
    return value.toDouble();
}

}   // namespace

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
    // Phones give up after about three minutes; a locked test phone at once unless told.
    return numberOf(m_faults.value(QStringLiteral("PasscodeTimeout")), deviceLocked() ? 0 : 180);
}
double SimFaults::passcodeTypedAfterSeconds() const
{
    return numberOf(m_faults.value(QStringLiteral("PasscodeTypedAfter")), 0);
}
bool SimFaults::purgeDiskSpace(bool byDefault) const
{
    return m_faults.value(QStringLiteral("PurgeDiskSpace"), byDefault).toBool();
}
double SimFaults::prepareSeconds() const
{
    return numberOf(m_faults.value(QStringLiteral("PrepareSeconds")), 0);
}
int SimFaults::stallAfterFiles() const
{
    return int(numberOf(m_faults.value(QStringLiteral("StallAfterFiles")), -1));
}
int SimFaults::stallInFile() const
{
    return int(numberOf(m_faults.value(QStringLiteral("StallInFile")), -1));
}
QString SimFaults::hostileName() const
{
    return m_faults.value(QStringLiteral("HostileName")).toString();
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

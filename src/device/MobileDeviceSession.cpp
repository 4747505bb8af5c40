#include "device/MobileDeviceSession.h"

#include "device/LockdownSession.h"
#include "device/MobileDeviceCall.h"

#include <QDebug>
#include <QHash>
#include <QMutex>

#include <libimobiledevice/lockdown.h>

#include <memory>

namespace {

// The sessions opened by mobiledevice_connect, until mobiledevice_disconnect.
struct OpenSessions
{
    QMutex mutex;
    QHash<MobileDeviceHandle *, std::shared_ptr<LockdownSession>> sessions;
};

OpenSessions &openSessions()
{
    static OpenSessions instance;
    return instance;
}

}   // namespace

int mobiledevice_connect(MobileDeviceHandle *device, QString *error)
{
    auto session = std::make_shared<LockdownSession>(device);
    const int code = session->open(error);
    if (code == 0) {
        OpenSessions &open = openSessions();
        QMutexLocker lock(&open.mutex);
        open.sessions.insert(device, session);   // replaces (and so closes) an older one
    }
    return code;
}

void mobiledevice_disconnect(MobileDeviceHandle *device)
{
    std::shared_ptr<LockdownSession> session;
    {
        OpenSessions &open = openSessions();
        QMutexLocker lock(&open.mutex);
        session = open.sessions.take(device);
    }
    if (session)
        session->close();
}

QList<CFType> mobiledevice_copy_values(MobileDeviceHandle *device, const QStringList &keys, const QString &domain)
{
    std::optional<LockdownSession> own;
    LockdownSession &session = SharedLockdownSession::currentOrOpen(device, own);
    const QByteArray domainBytes = domain.toUtf8();
    auto getValue = MD_FUNCTION(lockdownd_get_value);
    QList<CFType> values;
    for (const QString &key : keys) {
        const QByteArray keyBytes = key.toUtf8();
        plist_t value = nullptr;
        const int rc = getValue(session.client(), domain.isEmpty() ? nullptr : domainBytes.constData(),
                                key.isEmpty() ? nullptr : keyBytes.constData(), &value);
        if (rc != LOCKDOWN_E_SUCCESS)
            qDebug() << "mobiledevice_copy_values" << domain << key << "failed:" << rc;
        values.append(value ? CFType::wrap(value, true) : CFType());
    }
    return values;
}

QString mobiledevice_device_description(MobileDeviceHandle *device)
{
    try {
        const QList<CFType> values = mobiledevice_copy_values(
            device, {QStringLiteral("DeviceName"), QStringLiteral("ProductType"), QStringLiteral("ProductVersion")});
        return QStringLiteral("%1, %2, iOS %3").arg(values.at(0).toQString(), values.at(1).toQString(), values.at(2).toQString());
    } catch (const std::exception &e) {
        qDebug() << "mobiledevice_device_description:" << e.what();
        return QString();
    }
}

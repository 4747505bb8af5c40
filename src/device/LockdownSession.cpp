#include "device/LockdownSession.h"

#include "app/AppError.h"
#include "device/MobileDeviceCall.h"
#include "plist/CFType.h"

#include <QDebug>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <usbmuxd.h>

#include <cstdlib>

namespace {

const char kLabel[] = "Parlewick";

}   // namespace

LockdownSession::LockdownSession(MobileDeviceHandle *device)
    : m_device(device)
{
}

LockdownSession::~LockdownSession()
{
    close();
}

QString LockdownSession::stepError(const char *step, int code)
{
    const QString hint = QStringLiteral("Please restart your iPhone and computer to try again. If a prompt "
                                        "message pops out on your iPhone, please click \"Trust\".");
    const QString stepText = QStringLiteral("%1(%2)").arg(QLatin1String(step)).arg(code);
    return QStringLiteral("%1\n\nError code: %2").arg(hint, stepText);
}

QByteArray LockdownSession::readHostId() const
{
    // The pairing lives with the multiplexer (libusbmuxd, which the phone library brings).
    char *data = nullptr;
    uint32_t size = 0;
    if (MD_FUNCTION(usbmuxd_read_pair_record)(m_device->udid().toUtf8().constData(), &data, &size) != 0 || !data)
        return {};
    const CFType record = CFType::fromPlistData(QByteArray(data, qsizetype(size)));
    std::free(data);
    return record.value(QStringLiteral("HostID")).toQString().toUtf8();
}

int LockdownSession::open(QString *error)
{
    close();
    const char *failedStep = nullptr;
    int code = 0;

    m_link = m_device ? m_device->link() : MobileDeviceHandle::Link();
    if (!m_link) {
        failedStep = "AMDeviceConnect";
        code = IDEVICE_E_NO_DEVICE;
    } else if ((code = MD_FUNCTION(lockdownd_client_new)(m_link.get(), &m_client, kLabel)) != LOCKDOWN_E_SUCCESS
               || (code = MD_FUNCTION(lockdownd_query_type)(m_client, nullptr)) != LOCKDOWN_E_SUCCESS) {
        failedStep = "AMDeviceConnect";
    } else if (readHostId().isEmpty() && (code = MD_FUNCTION(lockdownd_pair)(m_client, nullptr)) != LOCKDOWN_E_SUCCESS) {
        failedStep = "AMDevicePair";
    } else if ((code = MD_FUNCTION(lockdownd_validate_pair)(m_client, nullptr)) != LOCKDOWN_E_SUCCESS) {
        failedStep = "AMDeviceValidatePairing";
    } else if (readHostId().isEmpty()) {
        failedStep = "AMDeviceStartSession";
        code = LOCKDOWN_E_MISSING_HOST_ID;
    } else {
        // The session goes through the library's own handshake: only that one asks the phone
        // for its iOS version first, and without it the library offers the TLS 1.0 of the
        // oldest phones, which phones of iOS 10 and later refuse.
        MD_FUNCTION(lockdownd_client_free)(m_client);
        m_client = nullptr;
        code = MD_FUNCTION(lockdownd_client_new_with_handshake)(m_link.get(), &m_client, kLabel);
        if (code != LOCKDOWN_E_SUCCESS) {
            m_client = nullptr;
            failedStep = "AMDeviceStartSession";
        }
        m_started = code == LOCKDOWN_E_SUCCESS;
    }

    if (!failedStep)
        return 0;
    const QString text = stepError(failedStep, code);
    qDebug().noquote() << "mobiledevice_connect" << (m_device ? m_device->udid() : QString()) << text;
    if (error)
        *error = text;
    close();
    return code;
}

void LockdownSession::openThrow()
{
    QString error;
    if (open(&error) != 0)
        failWith(error);
}

void LockdownSession::close()
{
    // Freeing the client stops the session it started.
    if (m_client)
        MD_FUNCTION(lockdownd_client_free)(m_client);
    m_client = nullptr;
    m_started = false;
    m_link.reset();
}

namespace {

thread_local SharedLockdownSession *sharedOnThisThread = nullptr;

}   // namespace

SharedLockdownSession::SharedLockdownSession(MobileDeviceHandle *device)
    : m_session(device)
    , m_outer(sharedOnThisThread)
{
    m_session.openThrow();
    sharedOnThisThread = this;
}

SharedLockdownSession::~SharedLockdownSession()
{
    sharedOnThisThread = m_outer;
}

LockdownSession *SharedLockdownSession::current(MobileDeviceHandle *device)
{
    for (SharedLockdownSession *shared = sharedOnThisThread; shared; shared = shared->m_outer) {
        if (shared->m_session.device() == device)
            return &shared->m_session;
    }
    return nullptr;
}

LockdownSession &SharedLockdownSession::currentOrOpen(MobileDeviceHandle *device, std::optional<LockdownSession> &own)
{
    if (LockdownSession *shared = current(device))
        return *shared;
    own.emplace(device);
    own->openThrow();
    return *own;
}

#pragma once

#include "device/Export.h"
#include "device/MobileDeviceHandle.h"

#include <QByteArray>
#include <QString>

#include <optional>

struct lockdownd_client_private;

// A lockdown session with one phone, opened in the usual steps (connect, pair when there
// is no pairing yet, validate the pairing, start the session) and closed with the object.
class PARLEWICK_DEVICE_EXPORT LockdownSession
{
public:
    explicit LockdownSession(MobileDeviceHandle *device);
    ~LockdownSession();
    LockdownSession(const LockdownSession &) = delete;
    LockdownSession &operator=(const LockdownSession &) = delete;

    // 0, or the code of the step that failed with the user's text for it in *error. A failed
    // opening leaves nothing open.
    int open(QString *error);
    void openThrow();
    // Stops the session and drops the connection; safe to call twice.
    void close();

    bool isOpen() const { return m_started; }
    lockdownd_client_private *client() const { return m_client; }
    MobileDeviceHandle *device() const { return m_device; }
    // The phone library's device the session runs on; kept alive as long as the session.
    MobileDeviceHandle::Link link() const { return m_link; }

    // The text shown when a step fails: the restart hint, then the step and its code.
    static QString stepError(const char *step, int code);

private:
    QByteArray readHostId() const;   // from the pair record the multiplexer keeps; empty if none

    MobileDeviceHandle *m_device;
    MobileDeviceHandle::Link m_link;
    lockdownd_client_private *m_client = nullptr;
    bool m_started = false;
};

// While one lives, the calls of its thread for its phone (mobiledevice_copy_values,
// mobiledevice_start_service) go through its one lockdown session instead of opening one each:
// every session costs the phone library a TLS handshake, which waits 100 ms a round trip.
class PARLEWICK_DEVICE_EXPORT SharedLockdownSession
{
public:
    explicit SharedLockdownSession(MobileDeviceHandle *device);   // opens it; throws
    ~SharedLockdownSession();
    SharedLockdownSession(const SharedLockdownSession &) = delete;
    SharedLockdownSession &operator=(const SharedLockdownSession &) = delete;

    // The session this thread shares for the phone, or null.
    static LockdownSession *current(MobileDeviceHandle *device);
    // That session, else a new one opened into own (throws).
    static LockdownSession &currentOrOpen(MobileDeviceHandle *device, std::optional<LockdownSession> &own);

private:
    LockdownSession m_session;
    SharedLockdownSession *m_outer;
};

#pragma once

#include <QVariantMap>

#include <deque>
#include <mutex>
#include <optional>

// Device events waiting for one Listen connection. wakeFd() is readable while events wait,
// so the connection can wait on its socket and on events at once.
class UsbmuxEventQueue
{
public:
    UsbmuxEventQueue();
    ~UsbmuxEventQueue();
    UsbmuxEventQueue(const UsbmuxEventQueue &) = delete;
    UsbmuxEventQueue &operator=(const UsbmuxEventQueue &) = delete;

    void push(const QVariantMap &event);
    std::optional<QVariantMap> pop();   // never waits
    int wakeFd() const { return m_wakeFd; }

private:
    std::mutex m_mutex;
    std::deque<QVariantMap> m_events;
    int m_wakeFd;
};

#include "simiphone/UsbmuxEventQueue.h"

#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

UsbmuxEventQueue::UsbmuxEventQueue()
    : m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_SEMAPHORE | EFD_CLOEXEC))
{
    if (m_wakeFd < 0)
        throw std::runtime_error("eventfd failed");
}

UsbmuxEventQueue::~UsbmuxEventQueue()
{
    ::close(m_wakeFd);
}

void UsbmuxEventQueue::push(const QVariantMap &event)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(event);
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

std::optional<QVariantMap> UsbmuxEventQueue::pop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_events.empty())
        return std::nullopt;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
    QVariantMap event = m_events.front();
    m_events.pop_front();
    return event;
}

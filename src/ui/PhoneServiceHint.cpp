#include "ui/PhoneServiceHint.h"

#include "device/MobileDeviceFrameworks.h"
#include "device/UsbMultiplexer.h"

namespace {

constexpr int RetryMs = 3000;

}   // namespace

PhoneServiceHint::PhoneServiceHint(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("lbPhoneService"));
    setWordWrap(true);
    setText(noMultiplexerText());
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &PhoneServiceHint::check);
    check();
}

void PhoneServiceHint::check()
{
    // Without the phone library the program says so at start-up and ends.
    const bool missing = frameworksLoaded() && !multiplexerReachable();
    setVisible(missing);
    if (missing)
        m_retry.start();
    else
        m_retry.stop();
}

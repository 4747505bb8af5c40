#include "ui/PhonePasswords.h"

const Secret *PhonePasswords::of(const QString &udid) const
{
    const auto kept = m_passwords.find(udid);
    return kept == m_passwords.end() ? nullptr : &kept->second;
}

void PhonePasswords::keep(const QString &udid, Secret password)
{
    if (udid.isEmpty() || password.isEmpty())
        return;
    // The one it replaces is wiped as it goes.
    m_passwords[udid] = std::move(password);
}

#include "ui/PhonePasswords.h"

namespace {

void wipe(QString &password)
{
    password.fill(QChar());
    password.clear();
}

}   // namespace

PhonePasswords::~PhonePasswords()
{
    for (QString &password : m_passwords)
        wipe(password);
}

void PhonePasswords::keep(const QString &udid, const QString &password)
{
    if (udid.isEmpty() || password.isEmpty())
        return;
    auto kept = m_passwords.find(udid);
    if (kept != m_passwords.end())
        wipe(*kept);
    m_passwords.insert(udid, password);
}

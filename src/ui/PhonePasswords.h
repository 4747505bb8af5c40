#pragma once

#include "ui/Export.h"

#include <QHash>
#include <QString>

// The backup password of each phone (by its UDID) for this session only: asked once, then tried
// first for every later load, transfer and reload of the same phone. Wiped when it goes.
class PARLEWICK_UI_EXPORT PhonePasswords
{
public:
    PhonePasswords() = default;
    ~PhonePasswords();
    PhonePasswords(const PhonePasswords &) = delete;
    PhonePasswords &operator=(const PhonePasswords &) = delete;

    QString of(const QString &udid) const { return m_passwords.value(udid); }
    void keep(const QString &udid, const QString &password);

private:
    QHash<QString, QString> m_passwords;
};

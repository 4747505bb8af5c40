#pragma once

#include "app/Secret.h"
#include "ui/Export.h"

#include <QString>

#include <map>

// The backup password of each phone (by its UDID) for this session only: asked once, then tried
// first for every later load, transfer and reload of the same phone. Wiped when it goes.
class PARLEWICK_UI_EXPORT PhonePasswords
{
public:
    PhonePasswords() = default;
    PhonePasswords(const PhonePasswords &) = delete;
    PhonePasswords &operator=(const PhonePasswords &) = delete;

    // The phone's password, or null when none is kept.
    const Secret *of(const QString &udid) const;
    void keep(const QString &udid, Secret password);

private:
    std::map<QString, Secret> m_passwords;
};

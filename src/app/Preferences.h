#pragma once

#include "app/ClockStyle.h"
#include "app/Export.h"

#include <QString>

#include <memory>

class QSettings;

// The user's choices from the Preferences dialog and the one-time question about error
// reports, kept in the settings file of the data folder.
enum class ThemeChoice { System, Light, Dark };

struct PARLEWICK_APP_EXPORT Preferences
{
    // Both only take effect while a vendor host is configured; off until the user turns them on.
    bool updateChecks = false;
    bool errorReports = false;
    bool errorReportsAsked = false;   // the question came up once; the answer is errorReports
    ClockStyle clock = ClockStyle::Default;
    ThemeChoice theme = ThemeChoice::System;
    QString deviceBackupFolder;   // where device backups are kept; empty: the program's own private folder
    bool connectNotes = true;     // the notes before the first load of each phone in a session

    static Preferences load();
    void save() const;
};

// The program's settings file ("settings.ini" in the data folder).
PARLEWICK_APP_EXPORT std::unique_ptr<QSettings> programSettings();

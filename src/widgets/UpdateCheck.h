#pragma once

#include "widgets/Export.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The vendor's version check (once a day at start-up, or by hand in the browser) and its
// advertisement link. The remembered values are small files in the data folder.

inline constexpr char LastCheckFileName[] = "last-check-version-time";
inline constexpr char LastAdvFileName[] = "last-adv";
inline constexpr qint64 UpdateCheckInterval = 86401;   // seconds

// Only with a vendor host and when the user turned the checks on in Preferences.
PARLEWICK_WIDGETS_EXPORT bool updateChecksWanted();
// True unless the stored time of the last check lies less than the interval back.
PARLEWICK_WIDGETS_EXPORT bool isUpdateCheckDue(qint64 nowSecs);
PARLEWICK_WIDGETS_EXPORT QUrl versionCheckUrl();
PARLEWICK_WIDGETS_EXPORT QUrl advertisementUrl();
// The update page opened by the manual check.
PARLEWICK_WIDGETS_EXPORT QUrl manualUpdateCheckUrl(quint32 volumeSerial);

// Acts on the body of a successful version-check answer (see vendorAnswer): a download
// address asks the user (or, for an install that never checked, insists) and then ends the
// program; the check time is remembered unless the program must end. An answer that is no
// well-formed http address shows nothing and only remembers the check time.
PARLEWICK_WIDGETS_EXPORT void handleVersionAnswer(const QByteArray &body, QWidget *mainWindow);

// The label markup for an advertisement answer, also remembered in "last-adv"; empty when the
// answer is no link.
PARLEWICK_WIDGETS_EXPORT QString takeAdvertisement(const QByteArray &body);
PARLEWICK_WIDGETS_EXPORT QString lastAdvertisement();

// How the program ends after the user chose to download; tests replace it. An empty function
// restores killSelf.
PARLEWICK_WIDGETS_EXPORT void setUpdateExitForTests(std::function<void()> exit);

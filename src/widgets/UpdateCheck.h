#pragma once

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
bool updateChecksWanted();
// True unless the stored time of the last check lies less than the interval back.
bool isUpdateCheckDue(qint64 nowSecs);
QUrl versionCheckUrl();
QUrl advertisementUrl();
// The update page opened by the manual check.
QUrl manualUpdateCheckUrl(quint32 volumeSerial);

// Acts on the body of a successful version-check answer (see vendorAnswer): a download
// address asks the user (or, for an install that never checked, insists) and then ends the
// program; the check time is remembered unless the program must end. An answer that is no
// well-formed http address shows nothing and only remembers the check time.
void handleVersionAnswer(const QByteArray &body, QWidget *mainWindow);

// The label markup for an advertisement answer, also remembered in "last-adv"; empty when the
// answer is no link.
QString takeAdvertisement(const QByteArray &body);
QString lastAdvertisement();

// How the program ends after the user chose to download; tests replace it. An empty function
// restores killSelf.
void setUpdateExitForTests(std::function<void()> exit);

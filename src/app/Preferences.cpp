#include "app/Preferences.h"

#include "app/AppFolders.h"

#include <QDebug>
#include <QDir>
#include <QSettings>

namespace {

// Unknown stored values (a newer version's, or damage) fall back to the default.
template <typename Enum>
Enum storedChoice(const QSettings &settings, const char *key, Enum fallback, Enum last)
{
    bool ok = false;
    const int value = settings.value(QLatin1String(key)).toInt(&ok);
    return ok && value >= 0 && value <= int(last) ? Enum(value) : fallback;
}

}   // namespace

std::unique_ptr<QSettings> programSettings()
{
    return std::make_unique<QSettings>(QDir(dataFolder()).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
}

Preferences Preferences::load()
{
    const std::unique_ptr<QSettings> settings = programSettings();
    Preferences preferences;
    preferences.updateChecks = settings->value(QStringLiteral("privacy/updateChecks"), false).toBool();
    preferences.errorReports = settings->value(QStringLiteral("privacy/errorReports"), false).toBool();
    preferences.errorReportsAsked = settings->value(QStringLiteral("privacy/errorReportsAsked"), false).toBool();
    preferences.clock = storedChoice(*settings, "view/clock", ClockStyle::Default, ClockStyle::TwentyFourHour);
    preferences.theme = storedChoice(*settings, "view/theme", ThemeChoice::System, ThemeChoice::Dark);
    preferences.deviceBackupFolder = settings->value(QStringLiteral("device/backupFolder")).toString();
    preferences.connectNotes = settings->value(QStringLiteral("device/connectNotes"), true).toBool();
    return preferences;
}

void Preferences::save() const
{
    const std::unique_ptr<QSettings> settings = programSettings();
    settings->setValue(QStringLiteral("privacy/updateChecks"), updateChecks);
    settings->setValue(QStringLiteral("privacy/errorReports"), errorReports);
    settings->setValue(QStringLiteral("privacy/errorReportsAsked"), errorReportsAsked);
    settings->setValue(QStringLiteral("view/clock"), int(clock));
    settings->setValue(QStringLiteral("view/theme"), int(theme));
    settings->setValue(QStringLiteral("device/backupFolder"), deviceBackupFolder);
    settings->setValue(QStringLiteral("device/connectNotes"), connectNotes);
    settings->sync();
    if (settings->status() != QSettings::NoError)
        qDebug() << "preferences not saved:" << settings->fileName();
}

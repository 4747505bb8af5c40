#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// What a new phone folder starts with.
struct SimPhoneOptions
{
    QString deviceName = QStringLiteral("Simulated iPhone");
    QString productType = QStringLiteral("iPhone10,3");
    QString productVersion = QStringLiteral("17.5");
    bool paired = true;                   // a pair record is ready, as after an earlier "Trust"
    QStringList apps;                     // bundle identifiers, each given an empty container
    QStringList developmentApps;          // installed too; house_arrest vends them on any iOS
    QStringList groups;                   // App Group identifiers, each given an empty group container
    QString backupPassword;               // set: the phone encrypts its backups with it (WillEncrypt)
    quint32 backupKeyRounds = 10000000;   // of the password's key derivation, as phones use

    // How its backups go; each becomes the faults.plist switch named after it (README.md).
    std::optional<bool> purgeDiskSpace;   // PurgeDiskSpace; unset: iOS 26 and later ask
    double passcodeTypedAfter = 0;        // PasscodeTypedAfter (iOS 16.1+); < 0: typePasscode() only
    double passcodeTimeout = 180;         // PasscodeTimeout: then 208
    double prepareSeconds = 0;            // PrepareSeconds
    int stallAfterFiles = -1;             // StallAfterFiles; -1: keeps sending
    int backupError = 0;                  // MobileBackupErrors "Backup" (3, 105, 212, ...)
    int restoreError = 0;                 // MobileBackupErrors "Restore" (207, 212, ...)
    QString hostileName;                  // HostileName "message:kind"

    QVariantMap faults() const;   // the switches above that differ from a well-behaved phone
};

// One simulated phone on disk (layout in README.md): lockdown values, the media area, app
// containers, fault switches, its key and pair records, and the log of what it received.
// Every read goes to disk, so tests may edit the files while the simulator runs.
class SimPhoneFolder
{
public:
    explicit SimPhoneFolder(const QString &path);
    // Builds the folder under phonesDir aside and moves it into place whole, so a running
    // simulator never sees half a phone. Throws std::runtime_error.
    static SimPhoneFolder create(const QString &phonesDir, const QString &udid, const SimPhoneOptions &options = {});
    static bool isValidUdid(const QString &udid);
    static bool isValidBundleId(const QString &bundleId);
    // The computer's identifier handed out by ReadBUID: stable for one phones folder.
    static QString systemBuid(const QString &phonesDir);

    QString path() const;
    QString udid() const;
    bool exists() const;
    bool isUnplugged() const;
    void setUnplugged(bool unplugged) const;

    QString mediaPath() const;
    QString containerPath(const QString &bundleId) const;   // empty when not installed
    QString installApp(const QString &bundleId) const;      // creates Documents, Library, tmp
    QStringList installedApps() const;
    // An app installed from a developer's computer: house_arrest vends its container.
    bool isDevelopmentApp(const QString &bundleId) const;
    void setDevelopmentApp(const QString &bundleId, bool development) const;
    QString groupContainerPath(const QString &groupId) const;   // empty when there is none
    QString addGroup(const QString &groupId) const;
    QStringList groupIds() const;

    QString productVersion() const;
    bool iosAtLeast(int major, int minor) const;
    // Empty: backups are not encrypted. Setting one also sets WillEncrypt.
    QString backupPassword() const;
    quint32 backupKeyRounds() const;
    void setBackupPassword(const QString &password, quint32 keyRounds = 10000000) const;

    QVariantMap lockdownValues() const;   // domain ("" = none) -> values
    // An invalid value removes the key.
    void setLockdownValue(const QString &domain, const QString &key, const QVariant &value) const;

    QVariantMap faults() const;
    void setFaults(const QVariantMap &faults) const;
    void setFault(const QString &name, const QVariant &value) const;   // invalid value removes
    // The user types the passcode on the phone: a backup waiting for it goes on (typing while
    // no backup waits counts for nothing).
    void typePasscode() const;
    bool takeTypedPasscode() const;   // true once after typePasscode()

    QByteArray devicePrivateKey() const;
    QByteArray pairRecordData() const;                       // what the computer keeps; empty if none
    bool savePairRecordData(const QByteArray &data) const;   // refuses what is no dictionary
    void deletePairRecord() const;
    QVariantMap pairing() const;   // the computer the phone trusts
    void savePairing(const QVariantMap &pairRecord) const;
    void deletePairing() const;

    QString receivedLogPath() const;
    QList<QJsonObject> received() const;
    void clearReceived() const;

private:
    QString file(const char *name) const;

    QString m_path;
};

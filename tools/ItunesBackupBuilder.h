#pragma once

#include "itunes/BackupDiscovery.h"
#include "itunes/ManifestDb.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <QString>

#include <optional>

struct ItunesBackupDevice
{
    QString uniqueDeviceId = QStringLiteral("9e4f1c2ab07d5e36c8a1f0b4d2e7c95a3b6f8d10");
    QString deviceName = QStringLiteral("Test iPhone");
    QString productType = QStringLiteral("iPhone7,2");
    QString productVersion = QStringLiteral("9.3.5");
    QString serialNumber = QStringLiteral("F2LQ0000HG7F");
    QDateTime date = QDateTime(QDate(2016, 3, 14), QTime(9, 26, 53), Qt::UTC);
};

struct ItunesBackupFileOptions
{
    quint8 protectionClass = 3;
    bool encrypt = true;                  // in an encrypted backup; false stores the bytes as given
    std::optional<QByteArray> keyField;   // replaces the record's encryption key field
    // Set, for a local file of a plain backup: the backup's folder keeps it from an earlier
    // backup (this is the SHA-1 of its bytes there), so only its record is written.
    std::optional<QByteArray> keptDigest;
};

// Makes iTunes backup folders for tests and benchmarks: Manifest.plist, Info.plist,
// Status.plist, the file list and the hashed files, optionally encrypted with a password the
// way a phone does it (keybag with DPSL, DPIC, SALT and ITER, class keys wrapped with the
// password key, per-file keys wrapped with class keys, files in AES-256-CBC with PKCS#7 padding).
// The file list is Manifest.mbdb with the files beside it, or Manifest.db with each file in the
// sub-folder named by the first two characters of its name; an encrypted Manifest.db is itself
// encrypted with the key of ManifestKey, except for a phone of iOS 10.0 or 10.1.
class ItunesBackupBuilder
{
public:
    using Device = ItunesBackupDevice;
    using FileOptions = ItunesBackupFileOptions;

    static constexpr quint32 kWrapHardware = 1;
    static constexpr quint32 kWrapPassword = 2;

    explicit ItunesBackupBuilder(const Device &device = Device());

    // Makes the backup encrypted. Classes in hardwareClasses get keys that the password does
    // not unwrap (tied to the phone), so their files come out as stored.
    void setPassword(const QString &password, quint32 iterations = 1000, const QSet<int> &hardwareClasses = {6, 7, 11});

    // The keybag of an encrypted backup: as iOS 10.2 and later write it (DPSL and DPIC, the
    // SHA-256 stage with dpic rounds; phones use 10,000,000) or the older one (SALT and ITER only).
    enum class KeybagFormat { Modern, Old };
    void setKeybagFormat(KeybagFormat format, quint32 dpic = 1000);

    void addFile(const QString &domain, const QString &path, const QByteArray &content,
                 const FileOptions &options = FileOptions());
    void addLocalFile(const QString &domain, const QString &path, const QString &localFile,
                      const FileOptions &options = FileOptions());
    // Every file below localFolder, as domain/relative path.
    void addFolder(const QString &domain, const QString &localFolder, const FileOptions &options = FileOptions());

    // Manifest.mbdb (the default) or Manifest.db.
    void setFormat(BackupFormat format) { m_format = format; }
    // An unfinished backup's Status.plist does not say "finished".
    void setFinished(bool finished) { m_finished = finished; }

    // Writes the backup into folder (created). Throws std::runtime_error.
    void build(const QString &folder);

    // The keybag made by the last build (empty for a plain backup).
    QByteArray keybag() const { return m_keybag; }
    // The unwrapped key of a protection class in the last build's keybag.
    QByteArray classKey(int protectionClass) const;
    // The key that encrypts Manifest.db in the last build, and its ManifestKey value for
    // Manifest.plist (4-byte little-endian class, then the key wrapped with that class's key).
    QByteArray manifestDbKey() const { return m_manifestDbKey; }
    QByteArray manifestKey() const { return m_manifestKey; }
    // The file list of the last build, by backup file name.
    const MbdbIndex &records() const { return m_records; }

private:
    struct Entry
    {
        QString domain;
        QString path;
        QString localFile;   // empty: content holds the bytes
        QByteArray content;
        FileOptions options;
    };
    struct ClassKey
    {
        int protectionClass;
        QByteArray key;
    };

    QByteArray randomBytes(int count);
    void makeKeybag();
    void storeEntry(const Entry &entry, const QString &folder, MbdbIndex &index);
    void writePlists(const QString &folder) const;
    QString payloadTarget(const QString &folder, const QString &name) const;
    void writeFileList(const MbdbIndex &index, const QString &folder) const;
    void writeStatusPlist(const QString &folder) const;
    // Manifest.db encrypted with ManifestKey: iOS 10.2 and later.
    bool encryptsFileList() const;

    Device m_device;
    BackupFormat m_format = BackupFormat::Mbdb;
    bool m_finished = true;
    QString m_password;
    quint32 m_iterations = 0;
    QSet<int> m_hardwareClasses;
    QList<Entry> m_entries;
    QList<ClassKey> m_classKeys;
    QByteArray m_keybag;
    KeybagFormat m_keybagFormat = KeybagFormat::Modern;
    quint32 m_dpic = 1000;
    QByteArray m_manifestDbKey;
    QByteArray m_manifestKey;
    MbdbIndex m_records;
    QRandomGenerator m_random{20160314};
};

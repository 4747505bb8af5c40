#include "simiphone/PhoneBackupMaker.h"

#include "simiphone/PlistCodec.h"

#include "ItunesBackupBuilder.h"
#include "itunes/ManifestDb.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QUuid>

#include <stdexcept>

namespace {

bool leftOutOfBackups(const QString &relativePath)
{
    return relativePath.startsWith(QLatin1String("tmp/")) || relativePath.startsWith(QLatin1String("Library/Caches/"));
}

// Adds a container's files; those unchanged since the earlier backup only by their record.
void addContainer(ItunesBackupBuilder &builder, const QString &domain, const QString &container, const PhoneBackupSnapshot *since,
                  PhoneBackupSnapshot &now)
{
    const QDir base(container);
    QDirIterator it(container, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString relative = base.relativeFilePath(file);
        if (leftOutOfBackups(relative))
            continue;
        const QString name = backupFileName(domain, relative);
        const PhoneBackupSnapshot::File state = PhoneBackupSnapshot::ofLocalFile(file);
        ItunesBackupBuilder::FileOptions options;
        const auto earlier = since ? since->files.constFind(name) : PhoneBackupSnapshot::Files::const_iterator();
        if (since && earlier != since->files.cend() && earlier->sameAs(state))
            options.keptDigest = earlier->digest;
        now.files.insert(name, state);
        builder.addLocalFile(domain, relative, file, options);
    }
}

// What the builder writes for old phones, made what this phone says of itself.
void describePhone(const SimPhoneFolder &phone, const QString &folder, const QString &uuid, bool incremental)
{
    const QVariantMap identity = phone.lockdownValues().value(QString()).toMap();
    const QString manifestPath = QDir(folder).filePath(QStringLiteral("Manifest.plist"));
    QVariantMap manifest = PlistCodec::readFile(manifestPath);
    QVariantMap lockdown = manifest.value(QStringLiteral("Lockdown")).toMap();
    for (const char *key : {"BuildVersion", "DeviceName", "ProductType", "ProductVersion", "SerialNumber", "UniqueDeviceID"})
        lockdown.insert(QLatin1String(key), identity.value(QLatin1String(key)));
    manifest.insert(QStringLiteral("Lockdown"), lockdown);
    QVariantMap applications;
    for (const QString &bundleId : phone.installedApps())
        applications.insert(bundleId, QVariantMap{{QStringLiteral("CFBundleIdentifier"), bundleId}});
    manifest.insert(QStringLiteral("Applications"), applications);
    manifest.insert(QStringLiteral("Version"), QStringLiteral("10.0"));
    manifest.insert(QStringLiteral("SystemDomainsVersion"), QStringLiteral("24.0"));
    manifest.insert(QStringLiteral("WasPasscodeSet"), identity.value(QStringLiteral("PasswordProtected")).toBool());

    const QString statusPath = QDir(folder).filePath(QStringLiteral("Status.plist"));
    QVariantMap status = PlistCodec::readFile(statusPath);
    status.insert(QStringLiteral("Version"), QStringLiteral("3.3"));
    status.insert(QStringLiteral("IsFullBackup"), !incremental);
    status.insert(QStringLiteral("UUID"), uuid);
    if (!PlistCodec::writeFile(manifestPath, manifest) || !PlistCodec::writeFile(statusPath, status)
        || !QFile::remove(QDir(folder).filePath(QStringLiteral("Info.plist"))))
        throw std::runtime_error("the phone could not finish its backup's property lists");
}

}   // namespace

PhoneBackupMade makePhoneBackup(const SimPhoneFolder &phone, const QString &folder, const PhoneBackupSnapshot *since)
{
    const QVariantMap identity = phone.lockdownValues().value(QString()).toMap();
    ItunesBackupDevice device;
    device.uniqueDeviceId = phone.udid();
    device.deviceName = identity.value(QStringLiteral("DeviceName")).toString();
    device.productType = identity.value(QStringLiteral("ProductType")).toString();
    device.productVersion = identity.value(QStringLiteral("ProductVersion")).toString();
    device.serialNumber = identity.value(QStringLiteral("SerialNumber")).toString();
    device.date = QDateTime::currentDateTimeUtc();
    ItunesBackupBuilder builder(device);
    const QString password = phone.backupPassword();
    // Phones of iOS 10 and later send Manifest.db, encrypted itself in an encrypted backup.
    builder.setFormat(BackupFormat::FilesDb);
    if (!password.isEmpty()) {
        builder.setKeybagFormat(ItunesBackupBuilder::KeybagFormat::Modern, phone.backupKeyRounds());
        builder.setPassword(password, 10000);
    }
    // An encrypted backup gets new keys each time, so every file goes again.
    if (!password.isEmpty())
        since = nullptr;
    PhoneBackupMade made;
    made.incremental = since != nullptr;
    for (const QString &bundleId : phone.installedApps())
        addContainer(builder, QStringLiteral("AppDomain-") + bundleId, phone.containerPath(bundleId), since, made.snapshot);
    for (const QString &groupId : phone.groupIds())
        addContainer(builder, QStringLiteral("AppDomainGroup-") + groupId, phone.groupContainerPath(groupId), since,
                     made.snapshot);
    builder.build(folder);
    made.snapshot.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    describePhone(phone, folder, made.snapshot.uuid, made.incremental);

    for (auto it = made.snapshot.files.begin(); it != made.snapshot.files.end(); ++it)
        it->digest = builder.records().value(it.key()).dataHash.bytes;
    made.snapshot.fileListDigest = PhoneBackupSnapshot::digestOf(QDir(folder).filePath(QStringLiteral("Manifest.db")));
    if (since) {
        for (auto it = since->files.begin(); it != since->files.end(); ++it)
            if (!made.snapshot.files.contains(it.key()))
                made.removed << it.key();
        made.removed.sort();
    }
    return made;
}

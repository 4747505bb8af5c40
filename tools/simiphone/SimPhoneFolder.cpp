#include "simiphone/SimPhoneFolder.h"

#include "simiphone/PairingKeys.h"
#include "simiphone/PlistCodec.h"
#include "simiphone/ReceivedLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUuid>

#include <mutex>
#include <stdexcept>

namespace {

// Read-modify-write of the phone's plist files happens from tests and from service threads.
std::mutex &writeMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString hexPairs(const QByteArray &bytes)
{
    QStringList pairs;
    for (char byte : bytes)
        pairs << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0'));
    return pairs.join(QLatin1Char(':'));
}

// The build of a few releases tests use; others get a made-up one of the same shape.
QString buildVersion(const QString &productVersion)
{
    static const QHash<QString, QString> known = {
        {QStringLiteral("14.8"), QStringLiteral("18H17")},
        {QStringLiteral("16.7.2"), QStringLiteral("20H115")},
        {QStringLiteral("17.5"), QStringLiteral("21F79")},
    };
    const int major = productVersion.section(QLatin1Char('.'), 0, 0).toInt();
    return known.value(productVersion, QStringLiteral("%1A100").arg(major + 4));
}

QVariantMap defaultLockdownValues(const QString &udid, const SimPhoneOptions &options, const QByteArray &devicePublicKey)
{
    const QByteArray seed = QCryptographicHash::hash(udid.toUtf8(), QCryptographicHash::Sha1);
    const QVariantMap identity = {
        {QStringLiteral("ActivationState"), QStringLiteral("Activated")},
        {QStringLiteral("BluetoothAddress"), hexPairs(seed.mid(6, 6))},
        {QStringLiteral("BuildVersion"), buildVersion(options.productVersion)},
        {QStringLiteral("CPUArchitecture"), QStringLiteral("arm64")},
        {QStringLiteral("DeviceClass"), QStringLiteral("iPhone")},
        {QStringLiteral("DeviceColor"), QStringLiteral("1")},
        {QStringLiteral("DeviceName"), options.deviceName},
        {QStringLiteral("DevicePublicKey"), devicePublicKey},
        {QStringLiteral("HardwareModel"), QStringLiteral("D22AP")},
        {QStringLiteral("MobileSubscriberCountryCode"), QStringLiteral("310")},
        {QStringLiteral("MobileSubscriberNetworkCode"), QStringLiteral("260")},
        {QStringLiteral("PasswordProtected"), false},
        {QStringLiteral("ProductName"), QStringLiteral("iPhone OS")},
        {QStringLiteral("ProductType"), options.productType},
        {QStringLiteral("ProductVersion"), options.productVersion},
        {QStringLiteral("ProtocolVersion"), QStringLiteral("2")},
        {QStringLiteral("SerialNumber"), QString::fromLatin1(seed.toHex().left(12).toUpper())},
        {QStringLiteral("TimeZone"), QStringLiteral("Europe/London")},
        {QStringLiteral("UniqueDeviceID"), udid},
        {QStringLiteral("WiFiAddress"), hexPairs(seed.left(6))},
    };
    const QVariantMap diskUsage = {
        {QStringLiteral("TotalDiskCapacity"), quint64(64000000000ULL)},
        {QStringLiteral("TotalSystemCapacity"), quint64(5000000000ULL)},
        {QStringLiteral("TotalSystemAvailable"), quint64(1000000000ULL)},
        {QStringLiteral("TotalDataCapacity"), quint64(59000000000ULL)},
        {QStringLiteral("TotalDataAvailable"), quint64(21000000000ULL)},
        {QStringLiteral("AmountDataAvailable"), quint64(20000000000ULL)},
        {QStringLiteral("AmountDataReserved"), quint64(1000000000ULL)},
    };
    const QVariantMap backup = {
        {QStringLiteral("CloudBackupEnabled"), false},
        {QStringLiteral("WillEncrypt"), false},
    };
    const QVariantMap battery = {
        {QStringLiteral("BatteryCurrentCapacity"), 80},
        {QStringLiteral("BatteryIsCharging"), true},
    };
    const QVariantMap international = {
        {QStringLiteral("Language"), QStringLiteral("en")},
        {QStringLiteral("Locale"), QStringLiteral("en_US")},
    };
    return {
        {QString(), identity},
        {QStringLiteral("com.apple.disk_usage"), diskUsage},
        {QStringLiteral("com.apple.mobile.backup"), backup},
        {QStringLiteral("com.apple.mobile.battery"), battery},
        {QStringLiteral("com.apple.international"), international},
    };
}

void writeOrThrow(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + path).toStdString());
}

}   // namespace

SimPhoneFolder::SimPhoneFolder(const QString &path)
    : m_path(QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
{
}

SimPhoneFolder SimPhoneFolder::create(const QString &phonesDir, const QString &udid, const SimPhoneOptions &options)
{
    if (!isValidUdid(udid))
        throw std::runtime_error(("not a usable UDID: " + udid).toStdString());
    const QString finalPath = QDir(phonesDir).filePath(udid);
    if (QFileInfo::exists(finalPath))
        throw std::runtime_error(("phone folder exists already: " + finalPath).toStdString());
    QDir().mkpath(phonesDir);

    // The dot keeps the watcher away from the folder while it is filled.
    QTemporaryDir staging(QDir(phonesDir).filePath(QStringLiteral(".creating-XXXXXX")));
    if (!staging.isValid())
        throw std::runtime_error(("cannot create a folder in " + phonesDir).toStdString());
    const SimPhoneFolder phone(staging.path());

    const QByteArray deviceKey = PairingKeys::generatePrivateKey();
    writeOrThrow(phone.file("device.key"), deviceKey);
    const QVariantMap values = defaultLockdownValues(udid, options, PairingKeys::publicKeyPem(deviceKey));
    if (!PlistCodec::writeFile(phone.file("lockdown.plist"), values))
        throw std::runtime_error("cannot write lockdown.plist");
    QDir().mkpath(phone.mediaPath());
    QDir(phone.mediaPath()).mkpath(QStringLiteral("DCIM"));
    QDir().mkpath(phone.file("apps"));
    for (const QString &bundleId : options.apps)
        phone.installApp(bundleId);
    for (const QString &bundleId : options.developmentApps) {
        phone.installApp(bundleId);
        phone.setDevelopmentApp(bundleId, true);
    }
    for (const QString &groupId : options.groups)
        phone.addGroup(groupId);
    if (!options.backupPassword.isEmpty())
        phone.setBackupPassword(options.backupPassword, options.backupKeyRounds);
    phone.setFaults(options.faults());
    if (options.paired) {
        const QString wifi = values.value(QString()).toMap().value(QStringLiteral("WiFiAddress")).toString();
        const QVariantMap record = PairingKeys::makePairRecord(deviceKey, systemBuid(phonesDir), wifi);
        PlistCodec::writeFile(phone.file("pairrecord.plist"), record);
        phone.savePairing(record);
    }
    if (!QDir().rename(staging.path(), finalPath))
        throw std::runtime_error(("cannot move the phone folder to " + finalPath).toStdString());
    staging.setAutoRemove(false);
    return SimPhoneFolder(finalPath);
}

bool SimPhoneFolder::isValidUdid(const QString &udid)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z-]{0,63}$"));
    return pattern.match(udid).hasMatch();
}

bool SimPhoneFolder::isValidBundleId(const QString &bundleId)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z._-]{0,254}$"));
    return pattern.match(bundleId).hasMatch();
}

QString SimPhoneFolder::systemBuid(const QString &phonesDir)
{
    static const QUuid space(QStringLiteral("{5b0d3c5e-3a3e-4a5e-9c1f-7a0c2d6e8f41}"));
    const QString where = QDir::cleanPath(QFileInfo(phonesDir).absoluteFilePath());
    return QUuid::createUuidV5(space, where).toString(QUuid::WithoutBraces).toUpper();
}

QString SimPhoneFolder::path() const
{
    return m_path;
}
QString SimPhoneFolder::udid() const
{
    return QFileInfo(m_path).fileName();
}
QString SimPhoneFolder::file(const char *name) const
{
    return m_path + QLatin1Char('/') + QLatin1String(name);
}
bool SimPhoneFolder::exists() const
{
    return QFileInfo::exists(file("lockdown.plist"));
}
bool SimPhoneFolder::isUnplugged() const
{
    return QFileInfo::exists(file("unplugged"));
}

void SimPhoneFolder::setUnplugged(bool unplugged) const
{
    if (!unplugged) {
        QFile::remove(file("unplugged"));
        return;
    }
    QFile marker(file("unplugged"));
    marker.open(QIODevice::WriteOnly);
}

QString SimPhoneFolder::mediaPath() const
{
    return file("media");
}

QString SimPhoneFolder::containerPath(const QString &bundleId) const
{
    if (!isValidBundleId(bundleId))
        return {};
    const QString container = file("apps") + QLatin1Char('/') + bundleId;
    return QFileInfo(container).isDir() ? container : QString();
}

QString SimPhoneFolder::installApp(const QString &bundleId) const
{
    if (!isValidBundleId(bundleId))
        throw std::runtime_error(("not a usable bundle identifier: " + bundleId).toStdString());
    const QString container = file("apps") + QLatin1Char('/') + bundleId;
    for (const char *sub : {"Documents", "Library/Preferences", "Library/Caches", "tmp"})
        QDir(container).mkpath(QLatin1String(sub));
    return container;
}

QStringList SimPhoneFolder::installedApps() const
{
    return QDir(file("apps")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool SimPhoneFolder::isDevelopmentApp(const QString &bundleId) const
{
    const QVariantMap apps = PlistCodec::readFile(file("apps.plist"));
    return apps.value(bundleId).toMap().value(QStringLiteral("DevelopmentApp")).toBool();
}

void SimPhoneFolder::setDevelopmentApp(const QString &bundleId, bool development) const
{
    std::lock_guard<std::mutex> lock(writeMutex());
    QVariantMap apps = PlistCodec::readFile(file("apps.plist"));
    QVariantMap app = apps.value(bundleId).toMap();
    app.insert(QStringLiteral("DevelopmentApp"), development);
    apps.insert(bundleId, app);
    PlistCodec::writeFile(file("apps.plist"), apps);
}

QString SimPhoneFolder::groupContainerPath(const QString &groupId) const
{
    if (!isValidBundleId(groupId))
        return {};
    const QString container = file("groups") + QLatin1Char('/') + groupId;
    return QFileInfo(container).isDir() ? container : QString();
}

QString SimPhoneFolder::addGroup(const QString &groupId) const
{
    if (!isValidBundleId(groupId))
        throw std::runtime_error(("not a usable group identifier: " + groupId).toStdString());
    const QString container = file("groups") + QLatin1Char('/') + groupId;
    QDir(container).mkpath(QStringLiteral("Library/Preferences"));
    return container;
}

QStringList SimPhoneFolder::groupIds() const
{
    return QDir(file("groups")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QString SimPhoneFolder::productVersion() const
{
    return lockdownValues().value(QString()).toMap().value(QStringLiteral("ProductVersion")).toString();
}

bool SimPhoneFolder::iosAtLeast(int major, int minor) const
{
    const QString version = productVersion();
    const int haveMajor = version.section(QLatin1Char('.'), 0, 0).toInt();
    const int haveMinor = version.section(QLatin1Char('.'), 1, 1).toInt();
    return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

QString SimPhoneFolder::backupPassword() const
{
    return PlistCodec::readFile(file("backup.plist")).value(QStringLiteral("Password")).toString();
}

quint32 SimPhoneFolder::backupKeyRounds() const
{
    const QVariant rounds = PlistCodec::readFile(file("backup.plist")).value(QStringLiteral("KeyRounds"));
    return rounds.isValid() ? rounds.toUInt() : 10000000;
}

void SimPhoneFolder::setBackupPassword(const QString &password, quint32 keyRounds) const
{
    {
        std::lock_guard<std::mutex> lock(writeMutex());
        if (password.isEmpty())
            QFile::remove(file("backup.plist"));
        else
            PlistCodec::writeFile(file("backup.plist"),
                                  QVariantMap{{QStringLiteral("Password"), password}, {QStringLiteral("KeyRounds"), keyRounds}});
    }
    setLockdownValue(QStringLiteral("com.apple.mobile.backup"), QStringLiteral("WillEncrypt"), !password.isEmpty());
}

QVariantMap SimPhoneFolder::lockdownValues() const
{
    return PlistCodec::readFile(file("lockdown.plist"));
}

void SimPhoneFolder::setLockdownValue(const QString &domain, const QString &key, const QVariant &value) const
{
    std::lock_guard<std::mutex> lock(writeMutex());
    QVariantMap values = lockdownValues();
    QVariantMap domainValues = values.value(domain).toMap();
    if (value.isValid())
        domainValues.insert(key, value);
    else
        domainValues.remove(key);
    values.insert(domain, domainValues);
    PlistCodec::writeFile(file("lockdown.plist"), values);
}

QVariantMap SimPhoneFolder::faults() const
{
    return PlistCodec::readFile(file("faults.plist"));
}

void SimPhoneFolder::setFaults(const QVariantMap &faults) const
{
    std::lock_guard<std::mutex> lock(writeMutex());
    if (faults.isEmpty())
        QFile::remove(file("faults.plist"));
    else
        PlistCodec::writeFile(file("faults.plist"), faults);
}

void SimPhoneFolder::setFault(const QString &name, const QVariant &value) const
{
    QVariantMap all = faults();
    if (value.isValid())
        all.insert(name, value);
    else
        all.remove(name);
    setFaults(all);
}

void SimPhoneFolder::typePasscode() const
{
    writeOrThrow(file("passcode-typed"), QByteArray());
}

bool SimPhoneFolder::takeTypedPasscode() const
{
    return QFile::remove(file("passcode-typed"));
}

QVariantMap SimPhoneOptions::faults() const
{
    QVariantMap switches;
    if (purgeDiskSpace)
        switches.insert(QStringLiteral("PurgeDiskSpace"), *purgeDiskSpace);
    if (passcodeTypedAfter != 0)
        switches.insert(QStringLiteral("PasscodeTypedAfter"), passcodeTypedAfter);
    if (passcodeTimeout != 180)
        switches.insert(QStringLiteral("PasscodeTimeout"), passcodeTimeout);
    if (prepareSeconds > 0)
        switches.insert(QStringLiteral("PrepareSeconds"), prepareSeconds);
    if (stallAfterFiles >= 0)
        switches.insert(QStringLiteral("StallAfterFiles"), stallAfterFiles);
    QVariantMap errors;
    if (backupError != 0)
        errors.insert(QStringLiteral("Backup"), backupError);
    if (restoreError != 0)
        errors.insert(QStringLiteral("Restore"), restoreError);
    if (!errors.isEmpty())
        switches.insert(QStringLiteral("MobileBackupErrors"), errors);
    if (!hostileName.isEmpty())
        switches.insert(QStringLiteral("HostileName"), hostileName);
    return switches;
}

QByteArray SimPhoneFolder::devicePrivateKey() const
{
    QFile key(file("device.key"));
    return key.open(QIODevice::ReadOnly) ? key.readAll() : QByteArray();
}

QByteArray SimPhoneFolder::pairRecordData() const
{
    QFile record(file("pairrecord.plist"));
    return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray();
}

bool SimPhoneFolder::savePairRecordData(const QByteArray &data) const
{
    if (PlistCodec::parse(data).typeId() != QMetaType::QVariantMap)
        return false;
    std::lock_guard<std::mutex> lock(writeMutex());
    QSaveFile out(file("pairrecord.plist"));
    return out.open(QIODevice::WriteOnly) && out.write(data) == data.size() && out.commit();
}

void SimPhoneFolder::deletePairRecord() const
{
    QFile::remove(file("pairrecord.plist"));
}
QVariantMap SimPhoneFolder::pairing() const
{
    return PlistCodec::readFile(file("pairing.plist"));
}

void SimPhoneFolder::savePairing(const QVariantMap &pairRecord) const
{
    // The phone keeps what identifies the computer, never the computer's private keys.
    QVariantMap kept = pairRecord;
    kept.remove(QStringLiteral("HostPrivateKey"));
    kept.remove(QStringLiteral("RootPrivateKey"));
    PlistCodec::writeFile(file("pairing.plist"), kept);
}

void SimPhoneFolder::deletePairing() const
{
    QFile::remove(file("pairing.plist"));
}
QString SimPhoneFolder::receivedLogPath() const
{
    return file("received.log");
}
QList<QJsonObject> SimPhoneFolder::received() const
{
    return ReceivedLog::read(receivedLogPath());
}
void SimPhoneFolder::clearReceived() const
{
    ReceivedLog::clear(receivedLogPath());
}

#include "ItunesBackupBuilder.h"

#include "itunes/AesCbcEncryptor.h"
#include "itunes/BackupCrypto.h"
#include "itunes/BackupFileCrypt.h"
#include "itunes/ManifestFilesDb.h"
#include "plist/CFType.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QVersionNumber>

#include <stdexcept>

namespace {

constexpr int kClassCount = 11;
// The class phones wrap the key of Manifest.db with ("UntilFirstUserAuthentication").
constexpr int kManifestClass = 3;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

QByteArray bigEndian32(quint32 v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray littleEndian32(quint32 v)
{
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray tlv(const char *tag, const QByteArray &value)
{
    return QByteArray(tag, 4) + bigEndian32(quint32(value.size())) + value;
}

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(time, QFileDevice::FileModificationTime))
        fail(QStringLiteral("can not set the time of %1").arg(path));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("can not write %1. %2").arg(path, file.errorString()));
}

}   // namespace

ItunesBackupBuilder::ItunesBackupBuilder(const Device &device)
    : m_device(device)
{
}

void ItunesBackupBuilder::setPassword(const QString &password, quint32 iterations, const QSet<int> &hardwareClasses)
{
    m_password = password;
    m_iterations = iterations;
    m_hardwareClasses = hardwareClasses;
}

void ItunesBackupBuilder::addFile(const QString &domain, const QString &path, const QByteArray &content,
                                  const FileOptions &options)
{
    m_entries.append({domain, path, QString(), content, options});
}

void ItunesBackupBuilder::addLocalFile(const QString &domain, const QString &path, const QString &localFile,
                                       const FileOptions &options)
{
    m_entries.append({domain, path, localFile, QByteArray(), options});
}

void ItunesBackupBuilder::addFolder(const QString &domain, const QString &localFolder, const FileOptions &options)
{
    // Absolute, or a relative folder's own name would become part of every path.
    const QDir base(QDir(localFolder).absolutePath());
    QDirIterator it(base.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        addLocalFile(domain, base.relativeFilePath(file), file, options);
    }
}

QByteArray ItunesBackupBuilder::randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    for (char &b : bytes)
        b = char(m_random.bounded(256));
    return bytes;
}

QByteArray ItunesBackupBuilder::classKey(int protectionClass) const
{
    for (const ClassKey &entry : m_classKeys) {
        if (entry.protectionClass == protectionClass)
            return entry.key;
    }
    fail(QStringLiteral("no key for protection class %1").arg(protectionClass));
}

void ItunesBackupBuilder::setKeybagFormat(KeybagFormat format, quint32 dpic)
{
    m_keybagFormat = format;
    m_dpic = dpic;
}

void ItunesBackupBuilder::makeKeybag()
{
    m_classKeys.clear();
    const QByteArray salt = randomBytes(20);
    const bool modern = m_keybagFormat == KeybagFormat::Modern;
    const QByteArray salt256 = modern ? randomBytes(20) : QByteArray();
    QByteArray stage1 = modern ? pbkdf2HmacSha256(m_password.toUtf8(), salt256, m_dpic, 32) : m_password.toUtf8();
    QByteArray passwordKey = pbkdf2HmacSha1(stage1, salt, m_iterations, 32);
    wipeBytes(stage1);
    if (passwordKey.isEmpty())
        fail(QStringLiteral("no key derived from the password"));
    m_keybag = tlv("VERS", bigEndian32(modern ? 5 : 3)) + tlv("TYPE", bigEndian32(1)) + tlv("UUID", randomBytes(16))
               + tlv("HMCK", randomBytes(40)) + tlv("WRAP", bigEndian32(0)) + tlv("SALT", salt)
               + tlv("ITER", bigEndian32(m_iterations));
    if (modern)
        m_keybag += tlv("DPWT", bigEndian32(1)) + tlv("DPIC", bigEndian32(m_dpic)) + tlv("DPSL", salt256);
    for (int cls = 1; cls <= kClassCount; ++cls) {
        const quint32 wrap = m_hardwareClasses.contains(cls) ? kWrapHardware : kWrapPassword;
        const QByteArray key = randomBytes(32);
        // A hardware-tied key is wrapped with a key only the phone has: random bytes here.
        const QByteArray wrapped = wrap == kWrapPassword ? aesKeyWrap(passwordKey, key) : randomBytes(40);
        m_classKeys.append({cls, key});
        m_keybag += tlv("UUID", randomBytes(16)) + tlv("CLAS", bigEndian32(quint32(cls))) + tlv("WRAP", bigEndian32(wrap))
                    + tlv("KTYP", bigEndian32(0)) + tlv("WPKY", wrapped);
    }
    wipeBytes(passwordKey);
    m_manifestDbKey = randomBytes(32);
    m_manifestKey = littleEndian32(kManifestClass) + aesKeyWrap(classKey(kManifestClass), m_manifestDbKey);
}

void ItunesBackupBuilder::storeEntry(const Entry &entry, const QString &folder, MbdbIndex &index)
{
    const QString name = backupFileName(entry.domain, entry.path);
    if (entry.options.keptDigest && m_password.isEmpty()) {
        addFileRecord(index, entry.localFile, entry.domain, entry.path, *entry.options.keptDigest);
        index[name].protectionClass = entry.options.protectionClass;
        return;
    }
    const QString target = payloadTarget(folder, name);
    const bool encrypt = !m_password.isEmpty() && entry.options.encrypt;
    const QString plain = encrypt ? target + QStringLiteral(".plain") : target;

    QFile::remove(plain);
    if (entry.localFile.isEmpty()) {
        writeFile(plain, entry.content);
        setModified(plain, m_device.date.addSecs(-3600));
    } else {
        if (!QFile::copy(entry.localFile, plain))
            fail(QStringLiteral("can not copy %1").arg(entry.localFile));
        QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner);
        setModified(plain, QFileInfo(entry.localFile).lastModified());
    }
    addFileRecord(index, plain, entry.domain, entry.path);
    MbdbRecord &rec = index[name];
    rec.protectionClass = entry.options.protectionClass;
    if (encrypt) {
        QByteArray fileKey = randomBytes(32);
        rec.encryptionKey =
            littleEndian32(entry.options.protectionClass) + aesKeyWrap(classKey(entry.options.protectionClass), fileKey);
        encryptBackupFileThrow(plain, target, fileKey);
        wipeBytes(fileKey);
        QFile::remove(plain);
        // The digest is of the bytes as stored.
        QFile stored(target);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (!stored.open(QIODevice::ReadOnly) || !hash.addData(&stored))
            fail(QStringLiteral("can not read %1").arg(target));
        rec.dataHash = hash.result();
    }
    if (entry.options.keyField)
        rec.encryptionKey = *entry.options.keyField;
}

void ItunesBackupBuilder::writePlists(const QString &folder) const
{
    const QDir dir(folder);
    const bool encrypted = !m_password.isEmpty();

    CFType lockdown = CFType::newDictionary();
    lockdown.setValue(QStringLiteral("UniqueDeviceID"), CFType(m_device.uniqueDeviceId));
    lockdown.setValue(QStringLiteral("DeviceName"), CFType(m_device.deviceName));
    lockdown.setValue(QStringLiteral("ProductType"), CFType(m_device.productType));
    lockdown.setValue(QStringLiteral("ProductVersion"), CFType(m_device.productVersion));
    lockdown.setValue(QStringLiteral("SerialNumber"), CFType(m_device.serialNumber));
    lockdown.setValue(QStringLiteral("BuildVersion"), CFType("13G36"));
    CFType manifest = CFType::newDictionary();
    if (encrypted)
        manifest.setValue(QStringLiteral("BackupKeyBag"), CFType(m_keybag));
    if (encryptsFileList())
        manifest.setValue(QStringLiteral("ManifestKey"), CFType(m_manifestKey));
    manifest.setValue(QStringLiteral("Date"), CFType::fromDateTime(m_device.date));
    manifest.setValue(QStringLiteral("IsEncrypted"), CFType::fromBool(encrypted));
    manifest.setValue(QStringLiteral("Lockdown"), lockdown);
    manifest.setValue(QStringLiteral("Version"), CFType(m_format == BackupFormat::FilesDb ? "10.0" : "9.1"));
    manifest.setValue(QStringLiteral("WasPasscodeSet"), CFType::fromBool(false));
    writeFile(dir.filePath(QStringLiteral("Manifest.plist")), manifest.toPlistData(CFType::BinaryFormat));

    CFType info = CFType::newDictionary();
    info.setValue(QStringLiteral("Device Name"), CFType(m_device.deviceName));
    info.setValue(QStringLiteral("Display Name"), CFType(m_device.deviceName));
    info.setValue(QStringLiteral("Last Backup Date"), CFType::fromDateTime(m_device.date));
    info.setValue(QStringLiteral("Product Type"), CFType(m_device.productType));
    info.setValue(QStringLiteral("Product Version"), CFType(m_device.productVersion));
    info.setValue(QStringLiteral("Serial Number"), CFType(m_device.serialNumber));
    info.setValue(QStringLiteral("Target Identifier"), CFType(m_device.uniqueDeviceId));
    info.setValue(QStringLiteral("Target Type"), CFType("Device"));
    info.setValue(QStringLiteral("Unique Identifier"), CFType(m_device.uniqueDeviceId.toUpper()));
    writeFile(dir.filePath(QStringLiteral("Info.plist")), info.toPlistData(CFType::XmlFormat));

    writeStatusPlist(folder);
}

void ItunesBackupBuilder::writeStatusPlist(const QString &folder) const
{
    CFType status = CFType::newDictionary();
    status.setValue(QStringLiteral("BackupState"), CFType("new"));
    status.setValue(QStringLiteral("Date"), CFType::fromDateTime(m_device.date));
    status.setValue(QStringLiteral("IsFullBackup"), CFType::fromBool(false));
    // A phone cut off mid-backup leaves the state it was in.
    status.setValue(QStringLiteral("SnapshotState"), CFType(m_finished ? "finished" : "uploading"));
    status.setValue(QStringLiteral("Version"), CFType(m_format == BackupFormat::FilesDb ? "3.3" : "2.4"));
    writeFile(QDir(folder).filePath(QStringLiteral("Status.plist")), status.toPlistData(CFType::BinaryFormat));
}

QString ItunesBackupBuilder::payloadTarget(const QString &folder, const QString &name) const
{
    if (m_format != BackupFormat::FilesDb)
        return QDir(folder).filePath(name);
    const QDir dir(QDir(folder).filePath(name.left(2)));
    if (!dir.mkpath(QStringLiteral(".")))
        fail(QStringLiteral("can not create %1").arg(dir.path()));
    return dir.filePath(name);
}

void ItunesBackupBuilder::writeFileList(const MbdbIndex &index, const QString &folder) const
{
    if (m_format != BackupFormat::FilesDb) {
        writeManifestDb(index, QDir(folder).filePath(QStringLiteral("Manifest.mbdb")));
        return;
    }
    MbdbIndex phoneIndex = index;
    for (MbdbRecord &rec : phoneIndex)
        rec.birthTime = rec.changeTime;
    const QString path = QDir(folder).filePath(QStringLiteral("Manifest.db"));
    if (!encryptsFileList()) {
        writeManifestFilesDb(phoneIndex, path);
        return;
    }
    const QString plain = path + QStringLiteral(".plain");
    writeManifestFilesDb(phoneIndex, plain);
    encryptBackupFileThrow(plain, path, m_manifestDbKey);
    QFile::remove(plain);
}

bool ItunesBackupBuilder::encryptsFileList() const
{
    if (m_password.isEmpty() || m_format != BackupFormat::FilesDb)
        return false;
    // iOS 10.0 and 10.1 encrypted only the files.
    const QVersionNumber version = QVersionNumber::fromString(m_device.productVersion);
    return !(version.majorVersion() == 10 && version.minorVersion() < 2);
}

void ItunesBackupBuilder::build(const QString &folder)
{
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("can not create %1").arg(folder));
    if (!m_password.isEmpty()) {
        makeKeybag();
    } else {
        m_keybag.clear();
        m_manifestDbKey.clear();
        m_manifestKey.clear();
    }

    // Each domain's own root record, as phones list them.
    MbdbIndex index;
    quint32 inode = 0;
    for (const Entry &entry : std::as_const(m_entries)) {
        const QString key = backupFileName(entry.domain, QString());
        if (index.contains(key))
            continue;
        MbdbRecord root;
        root.domain = entry.domain.toUtf8();
        root.mode = 040755;
        root.inodeLow = ++inode;
        root.userId = 501;
        root.groupId = 501;
        root.modificationTime = root.accessTime = root.changeTime = quint32(m_device.date.toSecsSinceEpoch());
        index.insert(key, root);
    }
    for (const Entry &entry : std::as_const(m_entries))
        storeEntry(entry, folder, index);
    writeFileList(index, folder);
    m_records = index;
    writePlists(folder);
}

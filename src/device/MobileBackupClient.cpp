#include "device/MobileBackupClient.h"

#include "app/TaskCanceled.h"
#include "device/AfcClient.h"
#include "device/AfcFile.h"
#include "device/DeviceSyncLock.h"
#include "device/LockdownSession.h"
#include "device/MobileBackupError.h"
#include "device/MobileBackupFolder.h"
#include "device/MobileBackupLink.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceService.h"
#include "device/MobileDeviceSession.h"
#include "device/NotificationProxy.h"
#include "device/TempBackupFolder.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QUuid>
#include <QVersionNumber>

#include <algorithm>

namespace {

constexpr int kDefaultPrepareSeconds = 3600;
constexpr int kDefaultStallSeconds = 300;
constexpr qint64 kReportEveryMs = 200;
constexpr qint64 kPresenceEveryMs = 2000;
constexpr int kOldestMajor = 300;
constexpr int kNewestMajor = 400;

const QString kPasscodeShown = QStringLiteral("com.apple.LocalAuthentication.ui.presented");
const QString kPasscodeGone = QStringLiteral("com.apple.LocalAuthentication.ui.dismissed");
const QString kCancelOnPhone = QStringLiteral("com.apple.itunes-client.syncCancelRequest");

int secondsFromEnvironment(const char *name, int fallback)
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue(name, &ok);
    return ok && seconds > 0 ? seconds : fallback;
}

CFType processMessage(const CFType &content)
{
    CFType message = CFType::newArray();
    message.append(CFType("DLMessageProcessMessage"));
    message.append(content);
    return message;
}

// The phone waits for its passcode from iOS 16.1 on, before it sends anything.
bool asksPasscodeFirst(const QString &productVersion)
{
    const QVersionNumber version = QVersionNumber::fromString(productVersion);
    return !version.isNull() && version >= QVersionNumber(16, 1);
}

void copyValue(const CFType &from, const char *fromKey, CFType *to, const char *toKey)
{
    const CFType value = from.value(QLatin1String(fromKey));
    if (!value.isNull())
        to->setValue(QLatin1String(toKey), CFType::deepCopy(value));
}

}   // namespace

MobileBackupClient::MobileBackupClient(MobileDeviceHandle *device, const QString &udid, const QString &backupRoot)
    : m_device(device)
    , m_udid(udid)
    , m_root(QDir::cleanPath(QDir(backupRoot).absolutePath()))
    , m_prepareSeconds(secondsFromEnvironment("PARLEWICK_PHONE_PREPARE_SECONDS", kDefaultPrepareSeconds))
    , m_stallSeconds(secondsFromEnvironment("PARLEWICK_PHONE_STALL_SECONDS", kDefaultStallSeconds))
{
}

MobileBackupClient::~MobileBackupClient() = default;

void MobileBackupClient::setLimits(int prepareSeconds, int stallSeconds)
{
    m_prepareSeconds = std::max(1, prepareSeconds);
    m_stallSeconds = std::max(1, stallSeconds);
}

bool MobileBackupClient::snapshotFinished(const QString &deviceFolder)
{
    // No backup yet is no finished one; only a file that is there is read (and its trouble logged).
    const QString path = QDir(deviceFolder).filePath(QStringLiteral("Status.plist"));
    if (!QFileInfo(path).isFile())
        return false;
    const CFType status = CFType::fromPlistFile(path);
    return status.value(QStringLiteral("SnapshotState")).toQString() == QLatin1String("finished");
}

void MobileBackupClient::throwIfCanceled() const
{
    if (m_canceled && m_canceled())
        throw TaskCanceled();
}

void MobileBackupClient::report(bool now)
{
    if (!m_reporter)
        return;
    // Every step of the phone's own percentage is told; other news at most every few tenths.
    const double percent = m_messages ? m_messages->counters().percent : -1;
    if (!now && int(percent) == int(m_report.counters.percent) && m_lastReport.isValid()
        && m_lastReport.elapsed() < kReportEveryMs)
        return;
    m_lastReport.start();
    if (m_messages)
        m_report.counters = m_messages->counters();
    m_reporter(m_report);
}

void MobileBackupClient::readNotifications()
{
    if (!m_notifications)
        return;
    for (const QString &name : m_notifications->takeRelayed()) {
        qDebug() << "mobilebackup2: the phone says" << name;
        if (name == kPasscodeShown || name == kPasscodeGone) {
            m_report.passcodeWanted = name == kPasscodeShown;
            report(true);
        } else if (name == kCancelOnPhone) {
            throw MobileBackupError(QStringLiteral("The transfer was stopped on the iPhone."), 0, true);
        }
    }
}

void MobileBackupClient::tick()
{
    throwIfCanceled();
    report(false);
}

void MobileBackupClient::idle()
{
    throwIfCanceled();
    readNotifications();
    const qint64 silence = m_link ? m_link->silenceMs() : 0;
    if (silence >= kPresenceEveryMs && (!m_lastPresenceCheck.isValid() || m_lastPresenceCheck.elapsed() >= kPresenceEveryMs)) {
        m_lastPresenceCheck.start();
        try {
            const QList<MobileDeviceHandle *> connected = MobileDeviceHandle::connectedDevices();
            if (std::none_of(connected.begin(), connected.end(),
                             [this](const MobileDeviceHandle *d) { return d->udid() == m_udid; }))
                throw MobileBackupErrors::connectionLost();
        } catch (const MobileBackupError &) {
            throw;
        } catch (const std::exception &error) {
            qDebug() << "mobilebackup2: the connected phones are unknown:" << error.what();
        }
    }
    // Before its first message the phone may prepare (or wait for its passcode) for minutes.
    const int limit = m_report.preparing || m_report.passcodeWanted ? m_prepareSeconds : m_stallSeconds;
    if (silence > qint64(limit) * 1000)
        throw MobileBackupErrors::stalled(limit);
    report(false);
}

void MobileBackupClient::run(Operation operation)
{
    m_changed = false;
    m_report = Report();
    try {
        runSession(operation);
    } catch (...) {
        m_password.reset();
        if (m_messages)
            m_changed = m_messages->changedFolder();
        m_link.reset();
        m_messages.reset();
        m_notifications.reset();
        throw;
    }
    m_changed = m_messages && m_messages->changedFolder();
    m_link.reset();
    m_messages.reset();
    m_notifications.reset();
}

void MobileBackupClient::runSession(Operation operation)
{
    throwIfCanceled();
    // A caller that knows only the UDID gets the phone the multiplexer lists under it now, with
    // a fresh link: a phone that restarted meanwhile has a new device number.
    if (!m_device) {
        const QList<MobileDeviceHandle *> connected = MobileDeviceHandle::connectedDevices();
        if (std::none_of(connected.begin(), connected.end(),
                         [this](const MobileDeviceHandle *device) { return device->udid() == m_udid; }))
            throw MobileBackupErrors::connectionLost();
        m_device = MobileDeviceHandle::attach(m_udid);
    }
    // One lockdown session for the values and the services this run starts.
    std::optional<SharedLockdownSession> lockdown;
    lockdown.emplace(m_device);
    const QString folderName = operation == Restore && !m_sourceUdid.isEmpty() ? m_sourceUdid : m_udid;
    m_folder = std::make_unique<MobileBackupFolder>(m_root, folderName);
    const QString deviceFolder = m_folder->folderPath();
    if (operation == Backup) {
        if (!QDir().mkpath(m_root))
            throw MobileBackupError(QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(m_root)), 0,
                                    false);
        if (!snapshotFinished(deviceFolder))
            checkFirstBackupSpace(deviceFolder);
    } else if (!snapshotFinished(deviceFolder)) {
        throw MobileBackupError(QStringLiteral("The device backup in %1 is not finished, so it cannot go back onto the "
                                               "iPhone. Load the iPhone again to make a new backup, then try again.")
                                    .arg(QDir::toNativeSeparators(deviceFolder)),
                                0, true);
    }

    // Every lockdown session costs a TLS handshake: the phone's values are read once.
    const CFType device = mobiledevice_copy_values(m_device, {QString()}).value(0);
    const QString version = device.value(QStringLiteral("ProductVersion")).toQString();
    try {
        m_notifications = std::make_unique<NotificationProxy>(m_device);
        m_notifications->observe({kPasscodeShown, kPasscodeGone, kCancelOnPhone});
    } catch (const std::exception &error) {
        qDebug() << "mobilebackup2: no notifications:" << error.what();
    }

    const int socket = mobiledevice_start_service(m_device, QStringLiteral("com.apple.mobilebackup2"), true);
    struct SocketCloser
    {
        int socket;
        ~SocketCloser() { mobiledevice_closesocket(socket); }
    } closer{socket};
    m_link = std::make_unique<MobileBackupLink>(socket, [this] { idle(); });
    m_messages = std::make_unique<MobileBackupMessages>(*m_link, *m_folder);
    m_messages->setTick([this] { tick(); });
    if (operation == Backup)
        m_messages->setBeforeFirstChange([this, deviceFolder] { markUnfinished(deviceFolder); });
    versionExchange();
    hello();

    if (operation == Backup) {
        writeInfoPlist(deviceFolder, device);
    } else {
        writeRestoreApplications(deviceFolder);
    }
    std::unique_ptr<DeviceSyncLock> lock;
    if (m_notifications)
        lock = std::make_unique<DeviceSyncLock>(m_device, *m_notifications, [this] { throwIfCanceled(); });

    lockdown.reset();

    sendRequest(operation);
    m_report.preparing = true;
    m_report.passcodeWanted = asksPasscodeFirst(version);
    report(true);
    serveUntilEnd(operation, deviceFolder);
}

void MobileBackupClient::checkFirstBackupSpace(const QString &deviceFolder)
{
    qint64 needed = -1;
    try {
        const CFType usage = mobiledevice_copy_values(m_device, {QString()}, QStringLiteral("com.apple.disk_usage")).value(0);
        const CFType total = usage.value(QStringLiteral("TotalDataCapacity"));
        const CFType available = usage.value(QStringLiteral("AmountDataAvailable"));
        if (total.isNumber() && available.isNumber())
            needed = std::max<qint64>(0, total.toInt64() - available.toInt64());
    } catch (const std::exception &error) {
        qDebug() << "mobilebackup2: disk usage not read:" << error.what();
    }
    const qint64 free = freeDiskSpace(m_root);
    if (needed < 0 || free < 0)
        return;
    m_report.spaceNeeded = needed;
    m_report.spaceFree = free;
    report(true);
    // What the folder holds already is reused by the phone.
    if (needed > free) {
        const QLocale locale;
        throw MobileBackupError(QStringLiteral("The first backup of this iPhone needs up to %1 on the computer, but only %2 "
                                               "are free on the disk that holds %3. Free some space, then try again.")
                                    .arg(locale.formattedDataSize(needed, 1, QLocale::DataSizeSIFormat),
                                         locale.formattedDataSize(free, 1, QLocale::DataSizeSIFormat),
                                         QDir::toNativeSeparators(QFileInfo(deviceFolder).path())),
                                MobileBackupErrors::ComputerFull, true);
    }
}

void MobileBackupClient::versionExchange()
{
    const CFType offer = m_link->receiveMessage();
    const qint64 major = offer.at(1).toInt64(-1);
    if (MobileBackupLink::messageName(offer) != QLatin1String("DLMessageVersionExchange") || major < kOldestMajor
        || major > kNewestMajor)
        throw MobileBackupErrors::protocolError(QStringLiteral("DeviceLink version %1").arg(major));
    CFType answer = CFType::newArray();
    answer.append(CFType("DLMessageVersionExchange"));
    answer.append(CFType("DLVersionsOk"));
    answer.append(CFType::fromInt64(major));
    m_link->sendMessage(answer);
    const CFType ready = m_link->receiveMessage();
    if (MobileBackupLink::messageName(ready) != QLatin1String("DLMessageDeviceReady"))
        throw MobileBackupErrors::protocolError(MobileBackupLink::messageName(ready).left(60));
}

void MobileBackupClient::hello()
{
    CFType versions = CFType::newArray();
    versions.append(CFType::fromDouble(2.0));
    versions.append(CFType::fromDouble(2.1));
    CFType content = CFType::newDictionary();
    content.setValue(QStringLiteral("MessageName"), CFType("Hello"));
    content.setValue(QStringLiteral("SupportedProtocolVersions"), versions);
    m_link->sendMessage(processMessage(content));
    const CFType answer = m_link->receiveMessage();
    const CFType said = answer.at(1);
    if (MobileBackupLink::messageName(answer) != QLatin1String("DLMessageProcessMessage")
        || said.value(QStringLiteral("ErrorCode")).toInt64(-1) != 0)
        throw MobileBackupError(QStringLiteral("The iPhone does not speak the backup protocol versions 2.0 and 2.1 of the "
                                               "program."),
                                0, false);
    qDebug() << "mobilebackup2: protocol version" << said.value(QStringLiteral("ProtocolVersion")).toDouble();
}

void MobileBackupClient::sendRequest(Operation operation)
{
    CFType request = CFType::newDictionary();
    request.setValue(QStringLiteral("MessageName"), CFType(operation == Backup ? "Backup" : "Restore"));
    request.setValue(QStringLiteral("TargetIdentifier"), CFType(m_udid));
    request.setValue(QStringLiteral("SourceIdentifier"), CFType(m_folder->folderPath().section(QLatin1Char('/'), -1)));
    CFType options = CFType::newDictionary();
    if (operation == Restore) {
        // As the program always asked: system files and settings from the backup, the backup
        // not kept on the phone, nothing removed that the backup does not hold.
        options.setValue(QStringLiteral("RestoreSystemFiles"), CFType::fromBool(true));
        options.setValue(QStringLiteral("RestoreDontCopyBackup"), CFType::fromBool(true));
        options.setValue(QStringLiteral("RestorePreserveSettings"), CFType::fromBool(false));
        options.setValue(QStringLiteral("RemoveItemsNotRestored"), CFType::fromBool(false));
        if (!m_password.isEmpty())
            options.setValue(QStringLiteral("Password"), CFType(QString::fromUtf8(m_password.bytes())));
    }
    request.setValue(QStringLiteral("Options"), options);
    m_link->sendMessage(processMessage(request));
    m_password.reset();
}

void MobileBackupClient::serveUntilEnd(Operation operation, const QString &deviceFolder)
{
    for (;;) {
        const CFType message = m_link->receiveMessage();
        const QString name = MobileBackupLink::messageName(message);
        m_report.preparing = false;
        if (name != QLatin1String("DLMessagePurgeDiskSpace") && name != QLatin1String("DLMessageGetFreeDiskSpace"))
            m_report.passcodeWanted = false;
        if (name == QLatin1String("DLMessageDisconnect")) {
            // Some phones end without the closing message: the backup's own Status.plist decides.
            if (operation == Backup && snapshotFinished(deviceFolder))
                break;
            throw MobileBackupErrors::connectionLost();
        }
        if (name == QLatin1String("DLMessageProcessMessage")) {
            const CFType content = message.at(1);
            const qint64 code = content.value(QStringLiteral("ErrorCode")).toInt64(0);
            const QString description = content.value(QStringLiteral("ErrorDescription")).toQString();
            if (code != 0) {
                qDebug().noquote() << "mobilebackup2: the phone ended with" << code << description.left(400);
                const QString problem = m_messages->writeProblem();
                if (!problem.isEmpty())
                    throw MobileBackupError(MobileBackupErrors::adviceFor(MobileBackupErrors::ComputerFull, m_root)
                                                + QLatin1Char('\n') + problem,
                                            int(code), true);
                throw MobileBackupErrors::fromDevice(int(code), description, m_root);
            }
            if (operation == Backup && !snapshotFinished(deviceFolder))
                throw MobileBackupErrors::notFinished();
            break;
        }
        m_messages->handle(message);
        report(false);
    }
    report(true);
    // Polite end; the phone may be gone already (it restarts after a restore).
    try {
        CFType bye = CFType::newArray();
        bye.append(CFType("DLMessageDisconnect"));
        bye.append(CFType("___EmptyParameterString___"));
        m_link->sendMessage(bye);
    } catch (const std::exception &error) {
        qDebug() << "mobilebackup2: no disconnect:" << error.what();
    }
}

void MobileBackupClient::markUnfinished(const QString &deviceFolder)
{
    // Until the phone puts its own Status.plist in, what lies in the folder is no finished backup.
    const QString path = QDir(deviceFolder).filePath(QStringLiteral("Status.plist"));
    CFType status = CFType::fromPlistFile(path);
    if (status.value(QStringLiteral("SnapshotState")).toQString() != QLatin1String("finished"))
        return;
    status.setValue(QStringLiteral("SnapshotState"), CFType("uploading"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(status.toPlistData(CFType::BinaryFormat)) < 0 || !file.commit()) {
        MobileBackupFolder::removeTree(path);
    }
}

void MobileBackupClient::writeInfoPlist(const QString &deviceFolder, const CFType &device)
{
    CFType info = CFType::newDictionary();
    copyValue(device, "BuildVersion", &info, "Build Version");
    copyValue(device, "DeviceName", &info, "Device Name");
    copyValue(device, "DeviceName", &info, "Display Name");
    info.setValue(QStringLiteral("GUID"), CFType(QUuid::createUuid().toString(QUuid::Id128).toUpper()));
    copyValue(device, "IntegratedCircuitCardIdentity", &info, "ICCID");
    copyValue(device, "InternationalMobileEquipmentIdentity", &info, "IMEI");
    info.setValue(QStringLiteral("Last Backup Date"), CFType::fromDateTime(QDateTime::currentDateTimeUtc()));
    copyValue(device, "MobileEquipmentIdentifier", &info, "MEID");
    copyValue(device, "PhoneNumber", &info, "Phone Number");
    copyValue(device, "ProductType", &info, "Product Type");
    copyValue(device, "ProductVersion", &info, "Product Version");
    copyValue(device, "SerialNumber", &info, "Serial Number");
    info.setValue(QStringLiteral("Target Identifier"), CFType(m_udid));
    info.setValue(QStringLiteral("Target Type"), CFType("Device"));
    info.setValue(QStringLiteral("Unique Identifier"), CFType(m_udid.toUpper()));
    info.setValue(QStringLiteral("iTunes Version"), CFType("10.0.1"));

    const QString path = m_folder->localPathThrow(m_udid + QStringLiteral("/Info.plist"));
    if (const int error = m_folder->makeFolders(deviceFolder))
        throw MobileBackupError(QStringLiteral("The folder %1 could not be made: %2")
                                    .arg(QDir::toNativeSeparators(deviceFolder), QString::fromLocal8Bit(strerror(error))),
                                0, false);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(info.toPlistData(CFType::XmlFormat)) < 0 || !file.commit())
        throw MobileBackupError(
            QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), file.errorString()), 0, false);
}

void MobileBackupClient::writeRestoreApplications(const QString &deviceFolder)
{
    // The phone reinstalls the backup's applications after the restore when told which; a
    // backup that lists none is restored without (as "skip applications").
    const CFType apps =
        CFType::fromPlistFile(QDir(deviceFolder).filePath(QStringLiteral("Info.plist"))).value(QStringLiteral("Applications"));
    if (!apps.isDictionary() || apps.count() == 0)
        return;
    AfcClient afc(m_device);
    afc.open();
    afc.makeDir(QStringLiteral("/iTunesRestore"));
    AfcFile file;
    const QByteArray xml = apps.toPlistData(CFType::XmlFormat);
    if (!afc.openWrite(QStringLiteral("/iTunesRestore/RestoreApplications.plist"), &file)
        || file.write(xml.constData(), int(xml.size())) != xml.size())
        throw MobileBackupError(QStringLiteral("The list of applications to restore could not be written to the iPhone."), 0,
                                false);
}

#include "simiphone/MobileBackup2Service.h"

#include "simiphone/MobileBackupFailure.h"
#include "simiphone/PhoneBackupMaker.h"
#include "simiphone/PhoneRestore.h"
#include "simiphone/PlistCodec.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr int kFilesPerMessage = 32;
const QStringList kManifestNames = {QStringLiteral("Manifest.db"), QStringLiteral("Manifest.mbdb")};

// A name the phone asked for, below folder; empty for anything that would lead out of it.
QString localPathOf(const QString &folder, const QString &relative)
{
    const QString clean = QDir::cleanPath(relative);
    if (relative.isEmpty() || clean != relative || clean.startsWith(QLatin1Char('/')) || clean == QLatin1String("..")
        || clean.startsWith(QLatin1String("../")))
        return {};
    return folder + QLatin1Char('/') + clean;
}

}   // namespace

MobileBackup2Service::MobileBackup2Service(ServiceContext &context)
    : m_context(context)
    , m_link(context)
{
}

void MobileBackup2Service::run()
{
    if (!m_link.versionExchange())
        return;
    while (const std::optional<QVariantList> message = m_link.receive()) {
        if (message->value(0) != QLatin1String("DLMessageProcessMessage"))
            break;   // DLMessageDisconnect, or something the phone does not take
        const QVariantMap request = message->value(1).toMap();
        const QString name = request.value(QStringLiteral("MessageName")).toString();
        if (name == QLatin1String("Hello")) {
            if (!m_link.sendProcessMessage(hello(request)))
                return;
            continue;
        }
        m_root = m_context.phone->udid();
        try {
            if (name == QLatin1String("Backup"))
                backup();
            else if (name == QLatin1String("Restore"))
                restore(request);
            else
                throw MobileBackupFailure::of(1, QStringLiteral("Unsupported request %1").arg(name));
            finish({});
        } catch (const MobileBackupFailure &failure) {
            finish(failure);
        } catch (const ConnectionLost &) {
            return;
        } catch (const std::exception &error) {
            finish(MobileBackupFailure::of(1, QString::fromUtf8(error.what())));
        }
    }
    if (m_restartAtEnd) {
        m_context.setPlugged(false);
        m_context.setPlugged(true);
    }
}

QVariantMap MobileBackup2Service::hello(const QVariantMap &request) const
{
    const QVariantList offered = request.value(QStringLiteral("SupportedProtocolVersions")).toList();
    double best = 0;
    for (const QVariant &version : offered)
        if (version.toDouble() <= 2.1 && version.toDouble() > best)
            best = version.toDouble();
    if (best < 2.0)
        return {{QStringLiteral("MessageName"), QStringLiteral("Response")}, {QStringLiteral("ErrorCode"), 1}};
    return {{QStringLiteral("MessageName"), QStringLiteral("Response")},
            {QStringLiteral("ErrorCode"), 0},
            {QStringLiteral("ProtocolVersion"), best}};
}

void MobileBackup2Service::finish(const MobileBackupFailure &outcome)
{
    QVariantMap status{{QStringLiteral("ErrorCode"), outcome.code}};
    if (outcome.code != 0)
        status.insert(QStringLiteral("ErrorDescription"), outcome.description);
    m_link.sendProcessMessage(status);
}

void MobileBackup2Service::waitForPasscode() const
{
    // iOS 16.1 and later ask for the passcode on the phone; the switch going off is the user
    // entering it.
    const QDeadlineTimer deadline(qint64(m_context.phone->faults().passcodeTimeoutSeconds() * 1000));
    while (m_context.phone->faults().deviceLocked()) {
        if (deadline.hasExpired())
            throw MobileBackupFailure::of(208);
        QThread::msleep(50);
    }
}

DeviceLinkChannel::Status MobileBackup2Service::ask(const QVariantList &message)
{
    if (!m_link.send(message))
        throw ConnectionLost();
    const std::optional<DeviceLinkChannel::Status> status = m_link.receiveStatus();
    if (!status)
        throw ConnectionLost();
    return *status;
}

void MobileBackup2Service::fileCrossed()
{
    ++m_filesCrossed;
}

void MobileBackup2Service::pullCableIfDue()
{
    const int after = m_context.phone->faults().cablePulledAfterFiles();
    if (after >= 0 && m_filesCrossed >= after)
        pullCable(QStringLiteral("CablePulled"));
}

void MobileBackup2Service::pullCable(const QString &fault)
{
    m_context.record({{QStringLiteral("kind"), QStringLiteral("fault")},
                      {QStringLiteral("fault"), fault},
                      {QStringLiteral("files"), m_filesCrossed}});
    m_context.setPlugged(false);
    throw ConnectionLost();
}

void MobileBackup2Service::upload(const QString &folder, const QStringList &names, const QString &suffix)
{
    const SimFaults faults = m_context.phone->faults();
    const int after = faults.cablePulledAfterFiles();
    for (qsizetype first = 0; first < names.size();) {
        qint64 bytes = 0;
        qsizetype count = std::min<qsizetype>(kFilesPerMessage, names.size() - first);
        if (after >= 0 && m_filesCrossed < after)
            count = std::min<qsizetype>(count, after - m_filesCrossed);
        for (qsizetype i = first; i < first + count; ++i)
            bytes += QFileInfo(folder + QLatin1Char('/') + names[i]).size();
        m_progress = m_progress < 99 ? m_progress + 1 : m_progress;
        if (!m_link.send({QStringLiteral("DLMessageUploadFiles"), QVariantMap(), m_progress, quint64(bytes)}))
            throw ConnectionLost();
        for (qsizetype i = first; i < first + count; ++i) {
            const QString local = folder + QLatin1Char('/') + names[i];
            const QString backupName = m_root + QLatin1Char('/') + names[i] + suffix;
            if (m_filesCrossed + 1 == faults.cablePulledInFile()) {
                m_link.sendFile(names[i], backupName, local, QFileInfo(local).size() / 2);
                pullCable(QStringLiteral("CablePulledInFile"));
            }
            if (!m_link.sendFile(names[i], backupName, local))
                throw ConnectionLost();
            fileCrossed();
            if (m_filesCrossed == faults.cablePulledBetweenFiles())
                pullCable(QStringLiteral("CablePulledBetweenFiles"));
        }
        if (!m_link.endFiles())
            throw ConnectionLost();
        const std::optional<DeviceLinkChannel::Status> status = m_link.receiveStatus();
        if (!status)
            throw ConnectionLost();
        if (status->code != 0)
            throw MobileBackupFailure::of(104);
        first += count;
        pullCableIfDue();
    }
}

QSet<QString> MobileBackup2Service::download(const QStringList &names, const QString &folder)
{
    QSet<QString> arrived;
    const QString prefix = m_root + QLatin1Char('/');
    for (qsizetype first = 0; first < names.size(); first += kFilesPerMessage) {
        QStringList asked;
        for (const QString &name : names.mid(first, kFilesPerMessage))
            asked << prefix + name;
        m_progress = m_progress < 99 ? m_progress + 1 : m_progress;
        if (!m_link.send({QStringLiteral("DLMessageDownloadFiles"), asked, QVariantMap(), m_progress}))
            throw ConnectionLost();
        auto target = [&](const QString &name) {
            if (!asked.contains(name))
                return QString();
            const QString local = localPathOf(folder, name.mid(prefix.size()));
            if (!local.isEmpty())
                QDir().mkpath(QFileInfo(local).path());
            return local;
        };
        auto received = [&](const QString &name) {
            arrived.insert(name.mid(prefix.size()));
            fileCrossed();
        };
        if (!m_link.receiveFiles(target, received) || !m_link.receiveStatus())
            throw ConnectionLost();
        pullCableIfDue();
    }
    return arrived;
}

void MobileBackup2Service::backup()
{
    waitForPasscode();
    QTemporaryDir work(m_context.phone->folder().path() + QStringLiteral("/.backup-XXXXXX"));
    const QString made = work.path() + QStringLiteral("/made");
    makePhoneBackup(m_context.phone->folder(), made);

    // The computer's last backup tells where the phone left off; a full backup ignores it.
    download({QStringLiteral("Status.plist")}, work.path() + QStringLiteral("/previous"));

    QStringList payloads;
    QStringList folders;
    qint64 bytes = 0;
    const QDir base(made);
    QDirIterator it(made, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = base.relativeFilePath(it.next());
        if (it.fileInfo().isDir()) {
            folders << relative;
            continue;
        }
        bytes += it.fileInfo().size();
        if (!relative.contains(QLatin1Char('/'))
            && (relative.endsWith(QLatin1String(".plist")) || kManifestNames.contains(relative)))
            continue;
        payloads << relative;
    }
    payloads.sort();
    folders.sort();

    const DeviceLinkChannel::Status space = ask({QStringLiteral("DLMessageGetFreeDiskSpace")});
    if (space.code == 0 && space.value.toULongLong() < quint64(bytes))
        throw MobileBackupFailure::of(105);
    const QVariantMap before = ask({QStringLiteral("DLContentsOfDirectory"), m_root}).value.toMap();

    // Until the end the computer's folder says the snapshot is not finished.
    QVariantMap status = PlistCodec::readFile(made + QStringLiteral("/Status.plist"));
    QVariantMap uploading = status;
    uploading.insert(QStringLiteral("SnapshotState"), QStringLiteral("uploading"));
    PlistCodec::writeFile(work.path() + QStringLiteral("/Status.plist"), uploading);
    upload(work.path(), {QStringLiteral("Status.plist")});

    for (const QString &folder : std::as_const(folders))
        ask({QStringLiteral("DLMessageCreateDirectory"), m_root + QLatin1Char('/') + folder, QVariantMap(), m_progress});
    upload(made, payloads);

    // The file list and Manifest.plist replace the old ones only once complete.
    QStringList manifests{QStringLiteral("Manifest.plist")};
    QVariantMap moves;
    for (const QString &name : kManifestNames)
        if (QFileInfo::exists(made + QLatin1Char('/') + name))
            manifests << name;
    upload(made, manifests, QStringLiteral(".new"));
    for (const QString &name : std::as_const(manifests))
        moves.insert(m_root + QLatin1Char('/') + name + QStringLiteral(".new"), m_root + QLatin1Char('/') + name);
    if (ask({QStringLiteral("DLMessageMoveItems"), moves, QVariantMap(), m_progress}).code != 0)
        throw MobileBackupFailure::of(104);
    // A file list of the other kind left from an older backup would be read instead.
    QStringList stale;
    for (const QString &name : kManifestNames)
        if (before.contains(name) && !manifests.contains(name))
            stale << m_root + QLatin1Char('/') + name;
    if (!stale.isEmpty() && ask({QStringLiteral("DLMessageRemoveItems"), stale, QVariantMap(), m_progress}).code != 0)
        throw MobileBackupFailure::of(104);

    if (const int injected = m_context.phone->faults().mobileBackupError(QStringLiteral("Backup")))
        throw MobileBackupFailure::of(injected);
    m_progress = 100;
    upload(made, {QStringLiteral("Status.plist")});
}

void MobileBackup2Service::restore(const QVariantMap &request)
{
    waitForPasscode();
    if (m_context.phone->faults().findMyEnabled())
        throw MobileBackupFailure::of(211);
    const QVariantMap options = request.value(QStringLiteral("Options")).toMap();
    const QString source = request.value(QStringLiteral("SourceIdentifier")).toString();
    if (!source.isEmpty())
        m_root = source;

    QTemporaryDir work(m_context.phone->folder().path() + QStringLiteral("/.restore-XXXXXX"));
    const QString folder = work.path();
    const QSet<QString> plists = download({QStringLiteral("Status.plist"), QStringLiteral("Manifest.plist")}, folder);
    if (!plists.contains(QStringLiteral("Manifest.plist")) || !plists.contains(QStringLiteral("Status.plist")))
        throw MobileBackupFailure::of(205, QStringLiteral("Error reading backup properties"));
    const QVariantMap status = PlistCodec::readFile(folder + QStringLiteral("/Status.plist"));
    if (status.value(QStringLiteral("SnapshotState")).toString() != QLatin1String("finished"))
        throw MobileBackupFailure::of(205, QStringLiteral("Backup is not finished"));
    // The computer stops at the first file it lacks: one request for each kind of file list.
    bool haveList = false;
    for (const QString &name : kManifestNames)
        haveList = haveList || !download({name}, folder).isEmpty();
    if (!haveList)
        throw MobileBackupFailure::of(205, QStringLiteral("No file list in backup"));
    download({QStringLiteral("Info.plist")}, folder);

    PhoneRestore restore(m_context.phone->folder(), folder);
    restore.open(options.value(QStringLiteral("Password")).toString());
    const QStringList payloads = restore.payloadNames();
    if (download(payloads, folder).size() != QSet<QString>(payloads.begin(), payloads.end()).size())
        throw MobileBackupFailure::of(205, QStringLiteral("Manifest references files not in backup"));
    if (const int injected = m_context.phone->faults().mobileBackupError(QStringLiteral("Restore")))
        throw MobileBackupFailure::of(injected);
    restore.apply();
    m_context.record({{QStringLiteral("kind"), QStringLiteral("restored")},
                      {QStringLiteral("files"), payloads.size()},
                      {QStringLiteral("skipped"), restore.skipped()}});
    m_restartAtEnd = options.value(QStringLiteral("RestoreShouldReboot"), true).toBool();
}

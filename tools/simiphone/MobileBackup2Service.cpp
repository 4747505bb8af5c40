#include "simiphone/MobileBackup2Service.h"

#include "simiphone/HostileNames.h"
#include "simiphone/MobileBackupFailure.h"
#include "simiphone/PhoneBackupMaker.h"
#include "simiphone/PhoneRestore.h"
#include "simiphone/PlistCodec.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

namespace {

constexpr int kFilesPerMessage = 32;
constexpr quint64 kPurgeMarginSince26 = 128ull << 20;   // iOS 26.6 wants this much more than it sends
const QString kPasscodePresented = QStringLiteral("com.apple.LocalAuthentication.ui.presented");
const QString kPasscodeDismissed = QStringLiteral("com.apple.LocalAuthentication.ui.dismissed");
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
    const bool since14 = m_context.phone->folder().iosAtLeast(14, 0);
    if (!m_link.versionExchange(since14 ? DeviceLinkChannel::kVersionMajorSince14 : DeviceLinkChannel::kVersionMajorBefore14))
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
                backup(request);
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

void MobileBackup2Service::failAt(const QString &operation, Stage stage) const
{
    // Each code where real phones send it; any other once the files crossed.
    const int code = m_context.phone->faults().mobileBackupError(operation);
    Stage due = Stage::FilesCrossed;
    if (code == 212)
        due = Stage::Requested;
    else if (operation == QLatin1String("Backup") && code == 3)
        due = Stage::PasscodeTyped;
    else if (operation == QLatin1String("Backup") && code == 105)
        due = Stage::SpaceAnswered;
    else if (operation == QLatin1String("Restore") && code == 207)
        due = Stage::BackupOpened;
    if (code != 0 && due == stage)
        throw MobileBackupFailure::of(code);
}

void MobileBackup2Service::post(const QString &name) const
{
    m_context.phone->postNotification(name);
}

void MobileBackup2Service::waitForPasscode() const
{
    // From iOS 16.1 on every backup and restore waits until the passcode is typed on the phone,
    // which shows a prompt and tells observers so.
    const SimPhoneFolder &folder = m_context.phone->folder();
    const bool prompts = folder.iosAtLeast(16, 1);
    if (!prompts && !m_context.phone->faults().deviceLocked())
        return;
    folder.takeTypedPasscode();   // typed before the prompt showed: nothing to type into
    if (prompts)
        post(kPasscodePresented);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const SimFaults faults = m_context.phone->faults();
        const double typedAfter = faults.passcodeTypedAfterSeconds();
        if (folder.takeTypedPasscode()
            || (!faults.deviceLocked() && typedAfter >= 0 && waited.elapsed() >= qint64(typedAfter * 1000)))
            break;
        if (waited.elapsed() >= qint64(faults.passcodeTimeoutSeconds() * 1000)) {
            if (prompts)
                post(kPasscodeDismissed);
            throw MobileBackupFailure::of(208);
        }
        QThread::msleep(20);
    }
    if (prompts)
        post(kPasscodeDismissed);
}

void MobileBackup2Service::prepare() const
{
    // A phone with a large library scans for minutes and says nothing meanwhile.
    QElapsedTimer preparing;
    preparing.start();
    bool logged = false;
    while (preparing.elapsed() < qint64(m_context.phone->faults().prepareSeconds() * 1000)) {
        if (!logged)
            m_context.record(
                {{QStringLiteral("kind"), QStringLiteral("fault")}, {QStringLiteral("fault"), QStringLiteral("Preparing")}});
        logged = true;
        QThread::msleep(20);
    }
}

void MobileBackup2Service::stall()
{
    // Stops sending but stays connected: only the computer hanging up (or the cable) ends it.
    m_context.record({{QStringLiteral("kind"), QStringLiteral("fault")},
                      {QStringLiteral("fault"), QStringLiteral("Stalled")},
                      {QStringLiteral("files"), m_filesUploaded}});
    char ignored = 0;
    while (m_context.stream.read(&ignored, 1)) { }
    throw ConnectionLost();
}

void MobileBackup2Service::sendHostileRequest(const QString &operation)
{
    const std::optional<HostileName> hostile = HostileName::of(m_context.phone->faults().hostileName(), m_root);
    if (!hostile || hostile->message == QLatin1String("upload"))
        return;
    const QString inside = m_root + QStringLiteral("/Status.plist");
    const QString &path = hostile->path;
    m_context.record({{QStringLiteral("kind"), QStringLiteral("fault")},
                      {QStringLiteral("fault"), QStringLiteral("HostileName")},
                      {QStringLiteral("message"), hostile->message},
                      {QStringLiteral("operation"), operation},
                      {QStringLiteral("path"), path}});
    QVariantList message;
    if (hostile->message == QLatin1String("download")) {
        if (!m_link.send({QStringLiteral("DLMessageDownloadFiles"), QStringList{path}, QVariantMap(), m_progress}))
            throw ConnectionLost();
        // Whatever comes is thrown away; the log tells whether the computer sent it.
        QTemporaryDir bin(m_context.phone->folder().path() + QStringLiteral("/.hostile-XXXXXX"));
        auto nowhere = [&bin](const QString &) { return bin.filePath(QStringLiteral("sent")); };
        auto logged = [this](const QString &name) {
            m_context.record({{QStringLiteral("kind"), QStringLiteral("file")}, {QStringLiteral("name"), name}});
        };
        if (!m_link.receiveFiles(nowhere, logged) || !m_link.receiveStatus())
            throw ConnectionLost();
        return;
    }
    if (hostile->message == QLatin1String("move"))
        message = {QStringLiteral("DLMessageMoveItems"), QVariantMap{{inside, path}}, QVariantMap(), m_progress};
    else if (hostile->message == QLatin1String("remove"))
        message = {QStringLiteral("DLMessageRemoveItems"), QStringList{path}, QVariantMap(), m_progress};
    else if (hostile->message == QLatin1String("mkdir"))
        message = {QStringLiteral("DLMessageCreateDirectory"), path, QVariantMap(), m_progress};
    else
        message = {QStringLiteral("DLMessageCopyItem"), inside, path, QVariantMap(), m_progress};
    ask(message);
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
        if (m_filesUploaded == 0)
            sendHostileUpload(folder + QLatin1Char('/') + names[first]);
        for (qsizetype i = first; i < first + count; ++i) {
            const QString local = folder + QLatin1Char('/') + names[i];
            const QString backupName = m_root + QLatin1Char('/') + names[i] + suffix;
            if (m_filesUploaded == faults.stallAfterFiles())
                stall();
            if (m_filesUploaded + 1 == faults.stallInFile()) {
                m_link.sendFile(names[i], backupName, local, QFileInfo(local).size() / 2);
                stall();
            }
            if (m_filesCrossed + 1 == faults.cablePulledInFile()) {
                m_link.sendFile(names[i], backupName, local, QFileInfo(local).size() / 2);
                pullCable(QStringLiteral("CablePulledInFile"));
            }
            if (!m_link.sendFile(names[i], backupName, local))
                throw ConnectionLost();
            fileCrossed();
            ++m_filesUploaded;
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

void MobileBackup2Service::sendHostileUpload(const QString &localFile)
{
    const std::optional<HostileName> hostile = HostileName::of(m_context.phone->faults().hostileName(), m_root);
    if (!hostile || hostile->message != QLatin1String("upload"))
        return;
    m_context.record({{QStringLiteral("kind"), QStringLiteral("fault")},
                      {QStringLiteral("fault"), QStringLiteral("HostileName")},
                      {QStringLiteral("message"), hostile->message},
                      {QStringLiteral("path"), hostile->path}});
    if (!m_link.sendFile(QFileInfo(localFile).fileName(), hostile->path, localFile))
        throw ConnectionLost();
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

bool MobileBackup2Service::computerHolds(const PhoneBackupSnapshot &last, const QString &folder)
{
    // Only the very backup this phone last sent, finished and with its file list as sent, may
    // take just the changes: anything else would mix two backups.
    const QVariantMap status = PlistCodec::readFile(folder + QStringLiteral("/Status.plist"));
    if (status.value(QStringLiteral("SnapshotState")).toString() != QLatin1String("finished")
        || status.value(QStringLiteral("UUID")).toString() != last.uuid)
        return false;
    return !download({QStringLiteral("Manifest.db")}, folder).isEmpty()
           && PhoneBackupSnapshot::digestOf(folder + QStringLiteral("/Manifest.db")) == last.fileListDigest;
}

void MobileBackup2Service::backup(const QVariantMap &request)
{
    const QString operation = QStringLiteral("Backup");
    failAt(operation, Stage::Requested);
    waitForPasscode();
    failAt(operation, Stage::PasscodeTyped);
    QTemporaryDir work(m_context.phone->folder().path() + QStringLiteral("/.backup-XXXXXX"));
    prepare();
    sendHostileRequest(operation);

    // The computer's last backup tells where the phone left off; a full backup ignores it.
    const QString previous = work.path() + QStringLiteral("/previous");
    download({QStringLiteral("Status.plist")}, previous);
    const bool forceFull = request.value(QStringLiteral("Options")).toMap().value(QStringLiteral("ForceFullBackup")).toBool();
    const std::optional<PhoneBackupSnapshot> last =
        forceFull ? std::nullopt : PhoneBackupSnapshot::read(m_context.phone->folder());
    const bool sinceLast = last && computerHolds(*last, previous);
    const QString made = work.path() + QStringLiteral("/made");
    const PhoneBackupMade backup = makePhoneBackup(m_context.phone->folder(), made, sinceLast ? &*last : nullptr);

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
    m_context.record({{QStringLiteral("kind"), QStringLiteral("backup")},
                      {QStringLiteral("incremental"), backup.incremental},
                      {QStringLiteral("files"), payloads.size()},
                      {QStringLiteral("removed"), backup.removed.size()}});

    const DeviceLinkChannel::Status space = ask({QStringLiteral("DLMessageGetFreeDiskSpace")});
    const bool since26 = m_context.phone->folder().iosAtLeast(26, 0);
    const quint64 needed = quint64(bytes) + (since26 ? kPurgeMarginSince26 : 0);
    // iOS 26 asks the computer to make room before every backup and waits for its answer,
    // whatever it is.
    if (m_context.phone->faults().purgeDiskSpace(since26)) {
        m_context.record({{QStringLiteral("kind"), QStringLiteral("fault")},
                          {QStringLiteral("fault"), QStringLiteral("PurgeDiskSpace")},
                          {QStringLiteral("bytes"), double(needed)}});
        ask({QStringLiteral("DLMessagePurgeDiskSpace"), needed});
    }
    failAt(operation, Stage::SpaceAnswered);
    if (space.code == 0 && space.value.toULongLong() < needed)
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
    // A file list of the other kind left from an older backup would be read instead; files
    // gone from the phone since the last backup go from the computer's copy too.
    QStringList stale;
    for (const QString &name : kManifestNames)
        if (before.contains(name) && !manifests.contains(name))
            stale << m_root + QLatin1Char('/') + name;
    for (const QString &name : backup.removed)
        stale << m_root + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name;
    if (!stale.isEmpty() && ask({QStringLiteral("DLMessageRemoveItems"), stale, QVariantMap(), m_progress}).code != 0)
        throw MobileBackupFailure::of(104);

    failAt(operation, Stage::FilesCrossed);
    m_progress = 100;
    upload(made, {QStringLiteral("Status.plist")});
    if (!backup.snapshot.save(m_context.phone->folder()))
        PhoneBackupSnapshot::forget(m_context.phone->folder());
}

void MobileBackup2Service::restore(const QVariantMap &request)
{
    const QString operation = QStringLiteral("Restore");
    failAt(operation, Stage::Requested);
    waitForPasscode();
    if (m_context.phone->faults().findMyEnabled())
        throw MobileBackupFailure::of(211);
    const QVariantMap options = request.value(QStringLiteral("Options")).toMap();
    const QString source = request.value(QStringLiteral("SourceIdentifier")).toString();
    if (!source.isEmpty())
        m_root = source;

    QTemporaryDir work(m_context.phone->folder().path() + QStringLiteral("/.restore-XXXXXX"));
    const QString folder = work.path();
    sendHostileRequest(operation);
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
    failAt(operation, Stage::BackupOpened);
    restore.open(options.value(QStringLiteral("Password")).toString());
    const QStringList payloads = restore.payloadNames();
    if (download(payloads, folder).size() != QSet<QString>(payloads.begin(), payloads.end()).size())
        throw MobileBackupFailure::of(205, QStringLiteral("Manifest references files not in backup"));
    failAt(operation, Stage::FilesCrossed);
    restore.apply();
    m_context.record({{QStringLiteral("kind"), QStringLiteral("restored")},
                      {QStringLiteral("files"), payloads.size()},
                      {QStringLiteral("skipped"), restore.skipped()}});
    m_restartAtEnd = options.value(QStringLiteral("RestoreShouldReboot"), true).toBool();
}

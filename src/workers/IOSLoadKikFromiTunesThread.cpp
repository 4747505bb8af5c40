#include "workers/IOSLoadKikFromiTunesThread.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "device/TempBackupFolder.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QtDebug>

#include <stdexcept>

namespace {

const QString kDocuments = QStringLiteral("Documents");
// The new mirror is made beside the old one, which it replaces only once complete.
const QString kNewDocuments = QStringLiteral("Documents.parlewick-new");
const QString kOldDocuments = QStringLiteral("Documents.parlewick-old");

qint64 fileCount(const QList<const BackupFileNode *> &nodes)
{
    qint64 count = 0;
    for (const BackupFileNode *node : nodes)
        count +=
            node->isFolder() ? fileCount(QList<const BackupFileNode *>(node->children().cbegin(), node->children().cend())) : 1;
    return count;
}

bool isKeptFolder(const QString &name)
{
    for (const char *kept : {"attachments", "content_manager", "profpix"}) {
        if (name.compare(QLatin1String(kept), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Kik's store and its side files, by their exact names: a row whose name only cleans up to one
// of them (a line break after it, say) is some other file and must never stand in for the store.
bool isStoreFile(const QString &name)
{
    for (const char *store : {"kik.sqlite", "kik.sqlite-wal", "kik.sqlite-shm", "kik.sqlite-journal"}) {
        if (name == QLatin1String(store))
            return true;
    }
    return false;
}

// The local name of each node, made fit for this system. Two nodes whose names clean up alike
// must never land on one file: a name that needs no cleaning keeps it, the others get theirs
// only while it is free, and a node left without one is passed over.
QList<std::pair<const BackupFileNode *, QString>> localNames(const QList<const BackupFileNode *> &nodes)
{
    QList<std::pair<const BackupFileNode *, QString>> named;
    QSet<QString> taken;
    for (const BackupFileNode *node : nodes) {
        if (sanitizeFileName(node->name()) == node->name() && !node->name().isEmpty())
            taken.insert(node->name());
    }
    for (const BackupFileNode *node : nodes) {
        const QString name = sanitizeFileName(node->name());
        if (name == node->name() && !name.isEmpty()) {
            named.append({node, name});
        } else if (name.isEmpty() || taken.contains(name)) {
            qWarning() << "backup entry passed over: its name cannot be used here or cleans up to one taken:" << node->name();
        } else {
            taken.insert(name);
            named.append({node, name});
        }
    }
    return named;
}

// Removes a folder tree; a link in its place is removed as a link, its target left alone.
void removeTreeOrLink(const QString &path)
{
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
    else
        removeFolderTree(path);
}

const QString kCacheFolderName = QStringLiteral("talvora-itunes_cache");

bool isInside(const QString &path, const QString &folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    return !canonicalFolder.isEmpty() && QFileInfo(path).canonicalFilePath().startsWith(canonicalFolder + QLatin1Char('/'));
}

}   // namespace

IOSLoadKikFromiTunesThread::IOSLoadKikFromiTunesThread(const QSharedPointer<BackupManifest> &backup, AbsProgressTarget *progress,
                                                       const QString &cacheRoot, QObject *parent)
    : QThread(parent)
    , m_backup(backup)
    , m_progress(progress)
    , m_cacheRoot(QDir(cacheRoot.isEmpty() ? defaultCacheRoot(*backup) : cacheRoot).absolutePath())
    , m_defaultCacheRoot(cacheRoot.isEmpty())
{
}

IOSLoadKikFromiTunesThread::~IOSLoadKikFromiTunesThread() = default;

QString IOSLoadKikFromiTunesThread::defaultCacheRoot(const BackupManifest &backup)
{
    return QDir(privateCachePath(kCacheFolderName)).filePath(backup.identityKey());
}

QString IOSLoadKikFromiTunesThread::appFolder() const
{
    return QDir(m_cacheRoot).filePath(QLatin1String(AppFolderName));
}

void IOSLoadKikFromiTunesThread::run()
{
    m_found = false;
    m_needsAccountChoice = false;
    m_filesDone = m_filesTotal = 0;
    m_accounts.clear();
    m_location = KikBackupLocation();
    m_cleanup = Cleanup::Nothing;
    m_documentsReplaced = false;
    postProgress(m_progress, QStringLiteral("Reading Kik's files from the backup..."), 0, QString());
    runTask(
        m_progress,
        [this] {
            const QList<KikBackupLocation> places = kikBackupLocations(*m_backup);
            if (places.isEmpty() && !hasKikContainer(*m_backup))
                failWith(QStringLiteral("Found no Kik data in your iTunes Backup. Please check if you have "
                                        "installed and verified Kik Messenger on your iPhone."));
            if (m_account.isEmpty() && places.size() > 1) {
                surveyAccountsThrow(places);
                m_needsAccountChoice = true;
            } else {
                mirrorThrow(chooseLocationThrow(places));
            }
            return QString();
        },
        [this] { removeWhatThisRunMade(); });
}

// The place of the account set (by its id or its user name), or the only place there is (null
// when there is none).
const KikBackupLocation *IOSLoadKikFromiTunesThread::chooseLocationThrow(const QList<KikBackupLocation> &places)
{
    if (m_account.isEmpty())
        return places.isEmpty() ? nullptr : &places.first();
    for (const KikBackupLocation &place : places) {
        if (place.accountId.compare(m_account, Qt::CaseInsensitive) == 0)
            return &place;
    }
    surveyAccountsThrow(places);
    if (const KikAccountSummary *named = findKikAccount(m_accounts, m_account)) {
        const qsizetype index = named - m_accounts.constData();
        m_accounts.clear();
        return &places.at(index);
    }
    failWith(QStringLiteral("The iTunes backup holds no Kik account %1. Its Kik accounts:\n%2")
                 .arg(m_account, m_accounts.isEmpty() ? QStringLiteral("none") : describeKikAccounts(m_accounts)));
}

// Each account's store (with its log) is copied into a private temporary folder and counted
// there; nothing inside the backup is ever opened as a database.
void IOSLoadKikFromiTunesThread::surveyAccountsThrow(const QList<KikBackupLocation> &places)
{
    const auto survey = privateTemporaryFolderThrow();
    for (int i = 0; i < places.size(); ++i) {
        const KikBackupLocation &place = places.at(i);
        const QString root = survey->filePath(QString::number(i));
        const QString documents = root + QStringLiteral("/Documents");
        makeFolderThrow(documents);
        QList<const BackupFileNode *> storeFiles;
        for (const BackupFileNode *child : place.folder->children()) {
            if (isStoreFile(child->name()))
                storeFiles.append(child);
        }
        cacheNodes(storeFiles, documents, Rule::AlwaysCopy);
        KikAccountSummary account{place.accountId, -1, QDateTime(), QString(), QString(), QString()};
        try {
            IOSKikDb store(root);
            store.setOpenMode(IOSKikDb::ReadOnlyMode);
            std::tie(account.messages, account.newest) = store.messageSummary();
            std::tie(account.userName, account.displayName) = store.ownAccount();
        } catch (const std::exception &error) {
            // A damaged store must not hide the other accounts; it is listed as unreadable.
            qWarning() << "Kik account" << place.accountId << "can not be read:" << error.what();
            account.problem = QString::fromUtf8(error.what());
        }
        m_accounts.append(account);
    }
}

void IOSLoadKikFromiTunesThread::mirrorThrow(const KikBackupLocation *place)
{
    prepareCacheRootThrow();
    m_linkPayloads = linksPayloads();
    m_storeCopies.reset();
    if (m_linkPayloads)
        m_storeCopies.emplace(appFolder());
    const QDir app(appFolder());
    const QString documents = app.filePath(kNewDocuments);
    removeTreeOrLink(documents);
    removeTreeOrLink(app.filePath(kOldDocuments));
    makeFolderThrow(documents);
    if (place) {
        QList<const BackupFileNode *> kept;
        QList<const BackupFileNode *> storeFiles;
        for (const BackupFileNode *child : place->folder->children()) {
            if (isKeptFolder(child->name()))
                kept.append(child);
            else if (isStoreFile(child->name()))
                storeFiles.append(child);
        }
        m_filesDone = 0;
        m_filesTotal = fileCount(kept) + fileCount(storeFiles);
        cacheNodes(kept, documents, Rule::KeepExisting);
        cacheNodes(storeFiles, documents, Rule::CopyUnlessKept);
    }
    const QFileInfo store(QDir(documents).filePath(QStringLiteral("kik.sqlite")));
    m_found = store.isFile() && store.size() > 0;
    replaceDocumentsThrow();
    if (m_storeCopies)
        m_storeCopies->save();
    if (m_found)
        m_location = *place;
}

// The complete new mirror takes the old one's place; should that fail, the old one stays.
void IOSLoadKikFromiTunesThread::replaceDocumentsThrow()
{
    const QDir app(appFolder());
    const QString documents = app.filePath(kDocuments);
    const QString old = app.filePath(kOldDocuments);
    const bool hadOld = QFileInfo::exists(documents) || QFileInfo(documents).isSymLink();
    if (hadOld)
        renameThrow(documents, old);
    try {
        renameThrow(app.filePath(kNewDocuments), documents);
    } catch (const std::runtime_error &) {
        if (hadOld)
            QDir().rename(old, documents);
        throw;
    }
    removeTreeOrLink(old);
    m_documentsReplaced = true;
}

// The program's own device backup mirrored into its own cache of the phone: nothing writes
// those files in place (the backup tool and the backup writer put new files under the names,
// the store is copied, side files are written through QSaveFile), so a plain payload may get a
// second name instead of a copy. A backup of the user's, or a folder the user named, is copied.
bool IOSLoadKikFromiTunesThread::linksPayloads() const
{
    const QString ownBackups = deviceBackupRoot();
    return !m_backup->encrypted() && isInside(m_backup->folder(), ownBackups) && isInside(m_cacheRoot, iosCacheFolder());
}

void IOSLoadKikFromiTunesThread::prepareCacheRootThrow()
{
    // A phone's mirror receives decrypted messages too: its folder must be the user's alone.
    if (!m_defaultCacheRoot && isInside(m_cacheRoot, iosCacheFolder()))
        ensurePrivateFolderThrow(iosCacheFolder());
    if (m_defaultCacheRoot) {
        // Decrypted messages go there: a folder someone else planted must not receive them.
        privateCacheFolderThrow(kCacheFolderName);
        m_cleanup = Cleanup::CacheRoot;
    } else if (!QFileInfo::exists(m_cacheRoot)) {
        m_cleanup = Cleanup::CacheRoot;
    } else {
        m_cleanup = QFileInfo::exists(appFolder()) ? Cleanup::Documents : Cleanup::AppFolder;
    }
    makeFolderThrow(appFolder());
}

// The tree holds no name that climbs out of its folder; the names must still suit this system.
void IOSLoadKikFromiTunesThread::cacheNodes(const QList<const BackupFileNode *> &nodes, const QString &targetFolder, Rule rule)
{
    for (const auto &[node, name] : localNames(nodes))
        cacheNode(node, QDir(targetFolder).filePath(name), rule);
}

void IOSLoadKikFromiTunesThread::cacheNode(const BackupFileNode *node, const QString &local, Rule rule)
{
    m_progress->throwIfCanceled();
    if (node->isFolder()) {
        makeFolderThrow(local);
        cacheNodes(QList<const BackupFileNode *>(node->children().cbegin(), node->children().cend()), local, rule);
        return;
    }
    ++m_filesDone;
    postProgress(m_progress, QString(), m_filesTotal > 0 ? int(100 * m_filesDone / m_filesTotal) : -1,
                 QObject::tr("IDS_CACHING_BACKUP_FILE_%1").arg(node->name()));
    // A file missing from the backup is left out; the rest is still read.
    const QString payload = m_backup->payloadPath(node);
    if (payload.isEmpty() || !QFileInfo(payload).isFile())
        return;
    if (rule == Rule::KeepExisting) {
        const QFileInfo existing(local);
        if (existing.isFile() && existing.size() > 0)
            return;
    }
    // The store is written in place by SQLite: it is always a copy of its own.
    if (m_linkPayloads && !node->name().startsWith(QLatin1String("kik.sqlite"))
        && QFileInfo(payload).size() == qint64(node->record().size) && linkInPlaceOf(payload, local))
        return;
    const bool keepsCopies = rule == Rule::CopyUnlessKept && m_storeCopies;
    const QString earlierCopy = QDir(appFolder()).filePath(kDocuments + QLatin1Char('/') + QFileInfo(local).fileName());
    if (keepsCopies && m_storeCopies->linkUnchanged(node->name(), payload, earlierCopy, local))
        return;
    // A cancel during a large file stops it at the next chunk; the partial copy is discarded.
    m_backup->extractFile(node, local, [this](qint64, qint64) { m_progress->throwIfCanceled(); });
    if (keepsCopies)
        m_storeCopies->remember(node->name(), payload, local);
}

void IOSLoadKikFromiTunesThread::takeBack()
{
    removeWhatThisRunMade();
    if (m_cleanup == Cleanup::Documents && m_documentsReplaced)
        removeTreeOrLink(QDir(appFolder()).filePath(kDocuments));
    m_cleanup = Cleanup::Nothing;
}

void IOSLoadKikFromiTunesThread::removeWhatThisRunMade()
{
    switch (m_cleanup) {
    case Cleanup::Nothing:
        break;
    case Cleanup::CacheRoot:
        removeTreeOrLink(m_cacheRoot);
        break;
    case Cleanup::AppFolder:
        removeTreeOrLink(appFolder());
        break;
    case Cleanup::Documents:
        removeTreeOrLink(QDir(appFolder()).filePath(kNewDocuments));
        break;
    }
}

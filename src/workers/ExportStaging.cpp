#include "workers/ExportStaging.h"

#include "app/AppError.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace {

QString partialPrefix(const QFileInfo &target)
{
    return QLatin1Char('.') + target.fileName() + QStringLiteral(".partial-");
}

bool processHasEnded(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

// Staging folders of earlier exports to the same target whose process has ended.
void removeDeadStaging(const QFileInfo &target)
{
    const QString prefix = partialPrefix(target);
    const QDir parent(target.absolutePath());
    for (const QString &name : parent.entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
        bool isNumber = false;
        const qint64 pid = name.mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isNumber);
        if (isNumber && processHasEnded(pid))
            removeFolderTree(parent.filePath(name));
    }
}

// Moves the file to folder/name, or to the first "name(N)" free there; raises when it cannot.
void moveUnderFreeNameThrow(const QString &file, const QString &target)
{
    QFile moved(file);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // rename never replaces a file: a name taken meanwhile is tried again.
        if (moved.rename(uniqueFilePath(target)))
            return;
    }
    failWith(
        QStringLiteral("Cannot move %1 into %2: %3")
            .arg(QFileInfo(file).fileName(), QDir::toNativeSeparators(QFileInfo(target).absolutePath()), moved.errorString()));
}

void mergeInto(const QString &staging, const QString &target)
{
    const QDir from(staging);
    for (const QFileInfo &entry : from.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString there = QDir(target).filePath(entry.fileName());
        if (!entry.isDir()) {
            moveUnderFreeNameThrow(entry.filePath(), there);
            continue;
        }
        if (!QFileInfo::exists(there) && !QFileInfo(there).isSymLink() && QDir().rename(entry.filePath(), there))
            continue;
        if (!QFileInfo(there).isDir() || QFileInfo(there).isSymLink())
            failWith(QStringLiteral("Cannot write into %1: it is not a folder.").arg(QDir::toNativeSeparators(there)));
        // What is there already stays: the style sheet and pictures are the same, and the pages'
        // own files took names that were free.
        const QDir sub(entry.filePath());
        for (const QString &name : sub.entryList(QDir::Files | QDir::Hidden))
            QFile::rename(sub.filePath(name), QDir(there).filePath(name));
    }
}

}   // namespace

ExportStaging::~ExportStaging()
{
    discard();
}

void ExportStaging::beginThrow(const QString &target)
{
    const QFileInfo info(QFileInfo(target).absoluteFilePath());
    m_target = info.absoluteFilePath();
    if (info.exists() && !info.isDir())
        failWith(QStringLiteral("Cannot create the folder %1: a file has its name.").arg(QDir::toNativeSeparators(m_target)));
    const QString parent = info.absolutePath();
    for (QString at = parent; !QFileInfo::exists(at) && !QFileInfo(at).isSymLink();) {
        m_topmostMadeParent = at;
        const QString up = QFileInfo(at).absolutePath();
        if (up == at)
            break;
        at = up;
    }
    makeFolderThrow(parent);
    removeDeadStaging(info);
    // Made as any folder the user makes (no private mode: it becomes the export).
    const QString stem = partialPrefix(info) + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-');
    QString candidate;
    for (int attempt = 0; attempt < 100 && m_staging.isEmpty(); ++attempt) {
        candidate = QDir(parent).filePath(stem + QString::number(QRandomGenerator::global()->generate(), 36));
        if (QDir().mkdir(candidate))
            m_staging = candidate;
    }
    if (m_staging.isEmpty())
        failWith(QStringLiteral("Cannot create a folder in %1: %2")
                     .arg(QDir::toNativeSeparators(parent), folderCreationReason(candidate)));
}

void ExportStaging::publishThrow()
{
    if (m_staging.isEmpty())
        return;
    if (!QFileInfo::exists(m_target) && !QFileInfo(m_target).isSymLink() && QDir().rename(m_staging, m_target)) {
        m_staging.clear();
        m_topmostMadeParent.clear();
        return;
    }
    makeFolderThrow(m_target);
    mergeInto(m_staging, m_target);
    removeFolderTree(m_staging);
    m_staging.clear();
    m_topmostMadeParent.clear();
}

void ExportStaging::discard()
{
    if (!m_staging.isEmpty())
        removeFolderTree(m_staging);
    m_staging.clear();
    if (!m_topmostMadeParent.isEmpty())
        removeFolderTree(m_topmostMadeParent);
    m_topmostMadeParent.clear();
}

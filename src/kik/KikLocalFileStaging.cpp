#include "kik/KikLocalFileStaging.h"

#include "app/AppError.h"
#include "app/FileUtils.h"
#include "kik/KikFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtDebug>

namespace {

const QString kStagingPrefix = QStringLiteral(".staging-");
const QString kCommittedPrefix = QStringLiteral(".committed-");
const QStringList kFolders = {QStringLiteral("thumbs"), QStringLiteral("prof"), QStringLiteral("files")};

// Moves every file of a committed staging folder into the database's folders, never over a
// file already there, then removes the staging folder.
void moveIntoPlace(const QString &committed, const QString &databaseFolder)
{
    for (const QString &folder : kFolders) {
        const QDir staged(QDir(committed).filePath(folder));
        for (const QString &name : staged.entryList(QDir::Files | QDir::Hidden)) {
            const QString target = fileInFolder(QDir(databaseFolder).filePath(folder), name);
            // rename never replaces an existing file: the first copy in the database is kept.
            if (!target.isEmpty() && !QFile::rename(staged.filePath(name), target) && !QFileInfo::exists(target))
                qWarning() << "an attachment copy could not be moved into" << target;
        }
    }
    removeFolderTree(committed);
}

}   // namespace

KikLocalFileStaging::KikLocalFileStaging(const QString &databaseFolder)
    : m_databaseFolder(databaseFolder)
{
}

KikLocalFileStaging::~KikLocalFileStaging()
{
    discard();
}

void KikLocalFileStaging::sweep(const QString &databaseFolder)
{
    const QDir folder(databaseFolder);
    for (const QString &name : folder.entryList({kStagingPrefix + QLatin1Char('*'), kCommittedPrefix + QLatin1Char('*')},
                                                QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
        if (name.startsWith(kCommittedPrefix))
            moveIntoPlace(folder.filePath(name), databaseFolder);
        else
            removeFolderTree(folder.filePath(name));
    }
}

void KikLocalFileStaging::copy(const QString &source, const QString &folder, const QString &name)
{
    const QString target = fileInFolder(folder, name);
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isFile())
        return;
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink())
        return;
    if (m_staging.isEmpty()) {
        QTemporaryDir staging(QDir(m_databaseFolder).filePath(kStagingPrefix + QStringLiteral("XXXXXX")));
        if (!staging.isValid())
            failWith(QStringLiteral("Cannot make a folder for attachment copies in %1: %2")
                         .arg(QDir::toNativeSeparators(m_databaseFolder), staging.errorString()));
        staging.setAutoRemove(false);
        m_staging = staging.path();
        for (const QString &sub : kFolders)
            QDir(m_staging).mkdir(sub);
    }
    const QString staged = fileInFolder(QDir(m_staging).filePath(QFileInfo(folder).fileName()), name);
    if (staged.isEmpty() || QFileInfo::exists(staged))
        return;
    // A copy that cannot be made (a full disk) stops the run: it would be a file lost.
    copyToNewFileThrow(source, staged);
}

void KikLocalFileStaging::publish()
{
    if (m_staging.isEmpty())
        return;
    QString committed = QFileInfo(m_staging).absolutePath() + QLatin1Char('/') + kCommittedPrefix
                        + QFileInfo(m_staging).fileName().mid(kStagingPrefix.size());
    if (!QDir().rename(m_staging, committed))
        committed = m_staging;   // moved from where they are; only a killed run leaves them behind
    moveIntoPlace(committed, m_databaseFolder);
    m_staging.clear();
}

void KikLocalFileStaging::discard()
{
    if (!m_staging.isEmpty())
        removeFolderTree(m_staging);
    m_staging.clear();
}

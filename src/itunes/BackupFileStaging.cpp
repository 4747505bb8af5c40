#include "itunes/BackupFileStaging.h"

#include "app/FileUtils.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

const QString kStagedSuffix = QStringLiteral(".parlewick-part");
const QString kAsideSuffix = QStringLiteral(".parlewick-old");

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

} // namespace

BackupFileStaging::BackupFileStaging(const QString &folder) : m_folder(folder) {}

BackupFileStaging::~BackupFileStaging()
{
    for (const QString &copy : std::as_const(m_staged))
        QFile::remove(copy);
    removeMadeFolders();
}

void BackupFileStaging::removeMadeFolders()
{
    for (const QString &folder : std::as_const(m_madeFolders))
        QDir().rmdir(folder);  // only when empty
    m_madeFolders.clear();
}

QString BackupFileStaging::targetPath(const QString &fileName) const
{
    return QDir(m_folder).filePath(fileName);
}

QString BackupFileStaging::stageThrow(const QString &localPath, const QString &fileName)
{
    const QString target = targetPath(fileName);
    const QString copy = target + kStagedSuffix;
    const QString parent = QFileInfo(target).absolutePath();
    if (!QFileInfo::exists(parent)) {
        if (!QDir().mkpath(parent))
            fail(QStringLiteral("can not write %1. %2").arg(target, QStringLiteral("The folder can not be created.")));
        m_madeFolders << parent;
    }
    QFile::remove(copy);
    QFile source(localPath);
    if (!source.copy(copy)) {
        const QString reason = source.errorString();
        QFile::remove(copy);
        fail(QStringLiteral("can not write %1. %2").arg(target, reason));
    }
    m_staged.insert(fileName, copy);
    return copy;
}

void BackupFileStaging::commitThrow(const std::function<void()> &lastStep)
{
    QStringList placed;
    QStringList setAside;
    try {
        for (auto it = m_staged.cbegin(); it != m_staged.cend(); ++it) {
            const QString target = targetPath(it.key());
            if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
                QFile::remove(target + kAsideSuffix);
                if (!QFile::rename(target, target + kAsideSuffix))
                    fail(QStringLiteral("can not overwrite %1").arg(target));
                setAside << target;
            }
            QFile copy(it.value());
            if (!copy.rename(target))
                fail(QStringLiteral("can not write %1. %2").arg(target, fileWriteReason(copy)));
            placed << target;
        }
        lastStep();
    } catch (...) {
        rollBack(placed, setAside);
        throw;
    }
    m_staged.clear();
    m_madeFolders.clear();
    for (const QString &target : std::as_const(setAside))
        if (!QFile::remove(target + kAsideSuffix))
            qDebug("BackupFileStaging: can not remove %s", qUtf8Printable(target + kAsideSuffix));
}

void BackupFileStaging::rollBack(const QStringList &placed, const QStringList &setAside)
{
    for (const QString &target : placed)
        QFile::remove(target);
    for (const QString &target : setAside)
        if (!QFile::rename(target + kAsideSuffix, target))
            qDebug("BackupFileStaging: can not put back %s", qUtf8Printable(target));
}

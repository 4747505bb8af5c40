#include "simiphone/PhoneRestore.h"

#include "simiphone/MobileBackupFailure.h"

#include "itunes/BackupFileNode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

[[noreturn]] void unreadable(const QString &detail)
{
    throw MobileBackupFailure::of(205, detail);
}

// Every part a plain name: nothing empty, ".", "..", or with a backslash or NUL in it.
bool isPlainRelativePath(const QString &path)
{
    if (path.isEmpty())
        return false;
    for (const QString &part : path.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") || part.contains(QLatin1Char('\\'))
            || part.contains(QChar(0)))
            return false;
    }
    return true;
}

// No link on the way from the container down to the file: a link put there could lead out.
bool staysInside(const QString &container, const QString &relativePath)
{
    QString at = container;
    for (const QString &part : relativePath.split(QLatin1Char('/'))) {
        at += QLatin1Char('/') + part;
        if (QFileInfo(at).isSymLink())
            return false;
    }
    return true;
}

}   // namespace

PhoneRestore::PhoneRestore(const SimPhoneFolder &phone, const QString &backupFolder)
    : m_phone(phone)
    , m_backup(backupFolder)
{
}

void PhoneRestore::open(const QString &password)
{
    try {
        m_backup.readInfo();
    } catch (const std::exception &error) {
        unreadable(QStringLiteral("Error reading backup properties: %1").arg(QString::fromUtf8(error.what())));
    }
    // An encrypted file list opens only with the keybag unlocked.
    if (m_backup.encrypted()) {
        bool unlocked = false;
        try {
            unlocked = m_backup.unlock(Secret::fromUtf8(password.toUtf8()));
        } catch (const std::exception &) {
            unreadable(QStringLiteral("No keybag in manifest"));
        }
        if (!unlocked)
            throw MobileBackupFailure::of(207);
    }
    try {
        m_backup.load();
    } catch (const std::exception &error) {
        unreadable(QStringLiteral("Error reading backup properties: %1").arg(QString::fromUtf8(error.what())));
    }
    for (const BackupFileNode *node : m_backup.fileTree().allNodes()) {
        const MbdbRecord &rec = node->record();
        if (node->backupName().isEmpty() || (rec.mode & S_IFMT) != S_IFREG)
            continue;
        const QString target = targetOf(rec.domain.toString(), rec.path.toString());
        if (target.isEmpty())
            ++m_skipped;
        else
            m_items.append({node, target});
    }
}

QString PhoneRestore::targetOf(const QString &domain, const QString &path) const
{
    if (!isPlainRelativePath(path))
        return {};
    QString container;
    if (domain.startsWith(QLatin1String("AppDomainGroup-"))) {
        const QString groupId = domain.mid(15);
        container = m_phone.groupContainerPath(groupId);
        if (container.isEmpty() && SimPhoneFolder::isValidBundleId(groupId))
            container = m_phone.addGroup(groupId);
    } else if (domain.startsWith(QLatin1String("AppDomain-"))) {
        container = m_phone.containerPath(domain.mid(10));
    }
    if (container.isEmpty() || !staysInside(container, path))
        return {};
    return container + QLatin1Char('/') + path;
}

QStringList PhoneRestore::payloadNames() const
{
    QStringList names;
    const QDir folder(m_backup.folder());
    for (const Item &item : m_items)
        names << folder.relativeFilePath(m_backup.payloadPath(item.node));
    return names;
}

void PhoneRestore::apply()
{
    QStringList staged;
    auto discard = [&staged] {
        for (const QString &file : std::as_const(staged))
            QFile::remove(file);
    };
    for (const Item &item : std::as_const(m_items)) {
        const QString temporary = item.target + QStringLiteral(".restoring");
        try {
            QDir().mkpath(QFileInfo(item.target).path());
            QFile::remove(temporary);
            m_backup.extractFile(item.node, temporary);
        } catch (const std::exception &error) {
            discard();
            unreadable(QString::fromUtf8(error.what()));
        }
        staged << temporary;
    }
    for (const Item &item : std::as_const(m_items)) {
        const QString temporary = item.target + QStringLiteral(".restoring");
        QFile::remove(item.target);
        if (!QFile::rename(temporary, item.target)) {
            discard();
            throw MobileBackupFailure::of(1, QStringLiteral("Could not restore %1").arg(item.node->record().path.toString()));
        }
    }
}

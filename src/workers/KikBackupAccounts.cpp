#include "workers/KikBackupAccounts.h"

#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"

#include <QRegularExpression>
#include <QtDebug>

#include <algorithm>

namespace {

const QString kAppDomain = QStringLiteral("AppDomain-com.kik.chat");
const QString kGroupDomain = QStringLiteral("AppDomainGroup-group.com.kik.chat");
const QString kAccountsPath = QStringLiteral("cores/private");

const _BackupFileNode *childIgnoringCase(const _BackupFileNode *node, const QString &name)
{
    return node ? node->child(name, Qt::CaseInsensitive) : nullptr;
}

const _BackupFileNode *domainNode(const BackupManifest &backup, const QString &domain, const QString &path)
{
    return backup.fileTree().node(BackupFileTree::treePath(domain, path));
}

// The store itself, named exactly as Kik names it.
bool holdsStore(const _BackupFileNode *folder)
{
    return folder && folder->child(QStringLiteral("kik.sqlite"), Qt::CaseSensitive);
}

}   // namespace

bool isKikAccountId(const QString &name)
{
    static const QRegularExpression accountId(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    return accountId.match(name).hasMatch();
}

QList<KikBackupLocation> kikBackupLocations(const BackupManifest &backup)
{
    QList<KikBackupLocation> accounts;
    if (const _BackupFileNode *folder = domainNode(backup, kGroupDomain, kAccountsPath)) {
        for (const _BackupFileNode *account : folder->children()) {
            if (!isKikAccountId(account->name())) {
                qDebug() << "Kik group folder that is no account id passed over:" << account->name();
                continue;
            }
            if (holdsStore(account))
                accounts.append({account->name(), account, kGroupDomain, kAccountsPath + QLatin1Char('/') + account->name()});
        }
    }
    std::sort(accounts.begin(), accounts.end(),
              [](const KikBackupLocation &a, const KikBackupLocation &b) { return a.accountId < b.accountId; });
    // The app container's Documents counts with a store, or, without one, when it is the
    // only place (its side files are still mirrored; nothing is found).
    const _BackupFileNode *documents = childIgnoringCase(domainNode(backup, kAppDomain, QString()), QStringLiteral("Documents"));
    if (documents && (holdsStore(documents) || accounts.isEmpty()))
        accounts.prepend({QLatin1String(KikBackupLocation::DocumentsAccount), documents, kAppDomain, documents->name()});
    return accounts;
}

bool hasKikContainer(const BackupManifest &backup)
{
    return domainNode(backup, kAppDomain, QString()) || domainNode(backup, kGroupDomain, QString());
}

QString describeKikAccounts(const QList<KikAccountSummary> &accounts)
{
    QStringList lines;
    for (const KikAccountSummary &account : accounts) {
        if (account.messages < 0) {
            lines << QStringLiteral("%1  can not be read: %2").arg(account.accountId, account.problem);
            continue;
        }
        const QString newest =
            account.newest.isValid()
                ? QStringLiteral(", newest %1").arg(account.newest.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                : QString();
        lines << QStringLiteral("%1  %2 messages%3").arg(account.accountId).arg(account.messages).arg(newest);
    }
    return lines.join(QLatin1Char('\n'));
}

IOSFileItemList placedInBackup(IOSFileItemList files, const KikBackupLocation &location)
{
    const QString documents = QStringLiteral("Documents/");
    for (IOSFileItem &file : files) {
        if (!location.domain.isEmpty() && file.path.startsWith(documents)) {
            file.domain = location.domain;
            file.path = location.path + QLatin1Char('/') + file.path.mid(documents.size());
        }
    }
    return files;
}

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

const BackupFileNode *childIgnoringCase(const BackupFileNode *node, const QString &name)
{
    return node ? node->child(name, Qt::CaseInsensitive) : nullptr;
}

const BackupFileNode *domainNode(const BackupManifest &backup, const QString &domain, const QString &path)
{
    return backup.fileTree().node(BackupFileTree::treePath(domain, path));
}

// The store itself, named exactly as Kik names it.
bool holdsStore(const BackupFileNode *folder)
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
    if (const BackupFileNode *folder = domainNode(backup, kGroupDomain, kAccountsPath)) {
        for (const BackupFileNode *account : folder->children()) {
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
    const BackupFileNode *documents = childIgnoringCase(domainNode(backup, kAppDomain, QString()), QStringLiteral("Documents"));
    if (documents && (holdsStore(documents) || accounts.isEmpty()))
        accounts.prepend({QLatin1String(KikBackupLocation::DocumentsAccount), documents, kAppDomain, documents->name()});
    return accounts;
}

bool hasKikContainer(const BackupManifest &backup)
{
    return domainNode(backup, kAppDomain, QString()) || domainNode(backup, kGroupDomain, QString());
}

QString kikAccountName(const KikAccountSummary &account, const QList<KikAccountSummary> &all)
{
    if (account.userName.isEmpty())
        return account.accountId;
    const auto sameName = [&account](const KikAccountSummary &other) {
        return other.userName.compare(account.userName, Qt::CaseInsensitive) == 0;
    };
    QString name = account.userName;
    if (!account.displayName.isEmpty() && account.displayName != account.userName)
        name += QStringLiteral(" (%1)").arg(account.displayName);
    if (std::count_if(all.begin(), all.end(), sameName) > 1)
        name += QStringLiteral(" [%1]").arg(account.accountId);
    return name;
}

QString describeKikAccounts(const QList<KikAccountSummary> &accounts)
{
    QStringList lines;
    for (const KikAccountSummary &account : accounts) {
        const QString name = kikAccountName(account, accounts);
        if (account.messages < 0) {
            lines << QStringLiteral("%1  can not be read: %2").arg(name, account.problem);
            continue;
        }
        const QString newest =
            account.newest.isValid()
                ? QStringLiteral(", newest %1").arg(account.newest.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                : QString();
        lines << QStringLiteral("%1  %2 messages%3").arg(name).arg(account.messages).arg(newest);
    }
    return lines.join(QLatin1Char('\n'));
}

const KikAccountSummary *findKikAccount(const QList<KikAccountSummary> &accounts, const QString &typed)
{
    for (const KikAccountSummary &account : accounts) {
        if (account.accountId.compare(typed, Qt::CaseInsensitive) == 0)
            return &account;
    }
    const KikAccountSummary *found = nullptr;
    for (const KikAccountSummary &account : accounts) {
        if (!account.userName.isEmpty() && account.userName.compare(typed, Qt::CaseInsensitive) == 0) {
            if (found)
                return nullptr;   // two accounts of that name: only the id tells them apart
            found = &account;
        }
    }
    return found;
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

#include "PhoneKikStore.h"

#include "KikBackupFixture.h"
#include "db/Sqlite3DB.h"
#include "simiphone/SimPhoneFolder.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

const QString kKik = QStringLiteral("com.kik.chat");
const QString kGroup = QStringLiteral("group.com.kik.chat");

QString accountFolder(const SimPhoneFolder &phone)
{
    return phone.groupContainerPath(kGroup) + QStringLiteral("/cores/private/") + kikFixtureAccountId(1);
}

}   // namespace

GeneratedKikStore putKikInGroupContainer(const SimPhoneFolder &phone, const KikStoreOptions &options, const QString &workFolder)
{
    GeneratedKikStore store = KikStoreGenerator(options).generate(workFolder);
    const QString account = accountFolder(phone);
    if (!QDir().mkpath(QFileInfo(account).path()) || !QDir().rename(store.rootFolder + QStringLiteral("/Documents"), account))
        throw std::runtime_error("cannot move the Kik store into the phone's group container");
    store.storePath = account + QStringLiteral("/kik.sqlite");
    return store;
}

QString kikGroupId()
{
    return kGroup;
}

QString kikStorePath(const SimPhoneFolder &phone)
{
    if (!phone.groupContainerPath(kGroup).isEmpty())
        return accountFolder(phone) + QStringLiteral("/kik.sqlite");
    const QString container = phone.containerPath(kKik);
    return container.isEmpty() ? QString() : container + QStringLiteral("/Documents/kik.sqlite");
}

QMap<QString, int> shownMessageUids(const QString &storePath, QString *integrity)
{
    Sqlite3DB db;
    db.openThrow(storePath, Sqlite3DB::ReadOnly);
    Sqlite3Cursor check = db.queryThrow("PRAGMA integrity_check");
    *integrity = check.moveNext() ? check.getText(0) : QString();
    QMap<QString, int> uids;
    Sqlite3Cursor rows = db.queryThrow("select ZSTANZAID from ZKIKMESSAGE where ZTYPE in (1, 2)");
    while (rows.moveNext())
        ++uids[rows.getText(0)];
    return uids;
}

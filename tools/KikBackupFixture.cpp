#include "KikBackupFixture.h"

#include "ItunesBackupBuilder.h"
#include "db/Sqlite3DB.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

qint64 scalarThrow(Sqlite3DB &db, const QString &sql)
{
    Sqlite3Cursor cursor = db.queryThrow(sql);
    if (!cursor.moveNext())
        fail(QStringLiteral("no row for %1").arg(sql));
    return cursor.getInt64(0);
}

void replaceFileThrow(const QString &source, const QString &target)
{
    QFile::remove(target);
    if (!QFile::copy(source, target))
        fail(QStringLiteral("can not copy %1 to %2").arg(source, target));
}

}   // namespace

QString kikFixtureAccountId(int number)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(number), QCryptographicHash::Md5).toHex());
}

void addKikToBackup(ItunesBackupBuilder &builder, const QString &mirrorRoot, KikFixturePlace place, const QString &accountId)
{
    const bool group = place == KikFixturePlace::Group;
    const QString domain = group ? QStringLiteral("AppDomainGroup-group.com.kik.chat") : QStringLiteral("AppDomain-com.kik.chat");
    const QString prefix = group ? QStringLiteral("cores/private/%1/").arg(accountId) : QStringLiteral("Documents/");
    const QString documents = QDir(mirrorRoot).filePath(QStringLiteral("Documents"));
    const QDir base(documents);
    QDirIterator it(documents, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        builder.addLocalFile(domain, prefix + base.relativeFilePath(file), file);
    }
}

QStringList addWalOnlyMessages(const QString &storePath, int count)
{
    QTemporaryDir work;
    if (!work.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString copy = work.filePath(QStringLiteral("kik.sqlite"));
    replaceFileThrow(storePath, copy);
    if (QFile::exists(storePath + QStringLiteral("-wal")))   // what the log already holds stays in it
        replaceFileThrow(storePath + QStringLiteral("-wal"), copy + QStringLiteral("-wal"));
    Sqlite3DB db;
    db.openThrow(copy, Sqlite3DB::ReadWrite);
    // Nothing reaches the main file while the connection stays open.
    db.execScriptThrow("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    const auto entity = [&db](const char *name) {
        return scalarThrow(db, QStringLiteral("select Z_ENT from Z_PRIMARYKEY where Z_NAME='%1'").arg(QLatin1String(name)));
    };
    const qint64 chatEntity = entity("KikChat"), messageEntity = entity("KikMessage");
    const qint64 chat = scalarThrow(db, QStringLiteral("select min(Z_PK) from ZKIKCHAT"));
    const qint64 user = scalarThrow(db, QStringLiteral("select ZUSER from ZKIKCHAT where Z_PK=%1").arg(chat));
    const double newest = double(scalarThrow(db, QStringLiteral("select ifnull(max(ZTIMESTAMP), 0) from ZKIKMESSAGE")));
    QStringList uids;
    db.beginTran();
    for (int i = 0; i < count; ++i) {
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        db.executeThrow(Sqlite3Sql("insert into ZKIKMESSAGE(Z_ENT,Z_OPT,ZFLAGS,ZSTATE,ZSYSTEMSTATE,ZTYPE,ZUSER,"
                                   "ZRECEIVEDTIMESTAMP,ZTIMESTAMP,ZBODY,ZSTANZAID) values(?,1,0,16,12,1,?,?,?,?,?)")
                            .addInt64Param(messageEntity)
                            .addInt64Param(user)
                            .addDoubleParam(newest + 60 * (i + 1))
                            .addDoubleParam(newest + 60 * (i + 1))
                            .addTextParam(QStringLiteral("Only in the log %1").arg(i + 1))
                            .addTextParam(uid));
        db.executeThrow(QStringLiteral("insert into Z_%1MESSAGES(Z_%1CHAT,Z_%2MESSAGES) values(%3,%4)")
                            .arg(QString::number(chatEntity), QString::number(messageEntity), QString::number(chat),
                                 QString::number(db.lastInsertId())));
        uids << uid;
    }
    db.commitTran();
    // Copied while the connection is open: closing it would checkpoint the log.
    replaceFileThrow(copy, storePath);
    replaceFileThrow(copy + QStringLiteral("-wal"), storePath + QStringLiteral("-wal"));
    QFile::remove(storePath + QStringLiteral("-shm"));
    db.close();
    return uids;
}

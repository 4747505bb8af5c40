#include "KikDbTestKit.h"

#include "TestEnv.h"
#include "kik/KikLocalDb.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace KikDbTestKit {

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

qint64 scalar(Sqlite3DB &db, const QString &sql)
{
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.getInt64(0) : 0;
}

KikDataSetPtr loadAll(AbsKikDb &db)
{
    KikDataSetPtr dataSet(new KikDataSet);
    db.load(dataSet);
    return dataSet;
}

QHash<QString, KikMessage *> messagesByUid(const KikDataSet &dataSet)
{
    QHash<QString, KikMessage *> byUid;
    for (KikMessage *message : dataSet.messages)
        byUid.insert(message->uid, message);
    return byUid;
}

void mergeIntoLocal(KikLocalDb &db, const KikMessageList &messages)
{
    db.open();
    db.beginTran();
    for (const KikMessage *message : messages) {
        if (!message->chat || !message->chat->user)
            continue;
        const KikUser *user = message->chat->user;
        qint64 userId = db.findUserByJid(user);
        if (userId == 0)
            userId = db.insertUser(user);
        qint64 chatId = db.findChatByUserId(userId);
        if (chatId == 0) {
            chatId = db.insertChat(userId, message->chat);
            for (const KikMember &member : user->members)
                db.saveMember(userId, member);
        }
        qint64 messageId = db.findMessageByUid(message->uid);
        if (messageId == 0)
            messageId = db.insertMessage(message);
        db.addChatMessage(chatId, messageId, message->ts);
        if (message->attachment.isEmpty())
            continue;
        const std::pair<const char *, const QString *> pictures[] = {{"image:preview", &message->preview_path.text()},
                                                                     {"image:icon", &message->icon_path.text()},
                                                                     {"image:png-preview", &message->png_preview_path.text()}};
        for (const auto &[key, path] : pictures) {
            const QString name = message->attachment.value(QLatin1String(key)).toString();
            if (!name.isEmpty() && !name.contains(QLatin1Char('/')))
                QFile::copy(*path, db.thumbsFolder() + QLatin1Char('/') + name);
        }
        if (!message->content_id.isEmpty() && !message->content_id.contains(QLatin1Char('/')))
            QFile::copy(message->content_path, db.filesFolder() + QLatin1Char('/') + message->content_id);
    }
    db.commitTran();
    db.updateLastTs();
}

QString realStoreMirror(const QString &root)
{
    const QString documents = root + QStringLiteral("/Documents");
    const QString copy = TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), documents);
    QFile::remove(documents + QStringLiteral("/kik.sqlite"));
    QFile::rename(copy, documents + QStringLiteral("/kik.sqlite"));
    return root;
}

QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

}

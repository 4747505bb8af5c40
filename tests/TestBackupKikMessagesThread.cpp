#include "TestEnv.h"
#include "TestFiles.h"

#include "RecordingProgress.h"
#include "db/Sqlite3DB.h"
#include "kik/KikDataSet.h"
#include "kik/KikLocalDb.h"
#include "kik/KikLocalDbLock.h"
#include "workers/BackupKikMessagesThread.h"

#include <QDir>
#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QtTest>

#include <algorithm>

namespace {

// The database's whole content as the sqlite3 shell prints it.
QByteArray dump(const QString &folder)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-readonly"), folder + QStringLiteral("/talvora-kik.db"), QStringLiteral(".dump")});
    shell.waitForFinished(30000);
    return shell.readAllStandardOutput();
}

// The dump's lines in sorted order: the same rows, whichever order they were stored in.
QList<QByteArray> sortedDump(const QString &folder)
{
    QList<QByteArray> lines = dump(folder).split('\n');
    std::sort(lines.begin(), lines.end());
    return lines;
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QList<QStringList> rows(const QString &folder, const QString &sql)
{
    Sqlite3DB db;
    db.openThrow(folder + QStringLiteral("/talvora-kik.db"), 1);
    Sqlite3Cursor cursor = db.queryThrow(Sqlite3Sql(sql));
    QList<QStringList> result;
    while (cursor.moveNext()) {
        QStringList row;
        for (int i = 0; i < cursor.columnCount(); ++i)
            row << (cursor.isNull(i) ? QStringLiteral("NULL") : cursor.getText(i));
        result << row;
    }
    return result;
}

// Records of one source, made by hand; the data set owns them.
class Source
{
public:
    Source()
        : set(new KikDataSet)
    {
    }

    KikUser *user(const QString &jid, const QString &name, const QString &photo = QString())
    {
        auto *user = new KikUser;
        user->id = ++m_ids;
        user->jid = jid;
        user->display_name = name;
        user->photo_path = photo;
        set->users.insert(user->id, user);
        return user;
    }

    KikUser *group(const QString &jid, const QList<KikUser *> &members)
    {
        KikUser *group = user(jid, QString());
        group->is_group = true;
        for (KikUser *member : members)
            group->members.append({member, member == members.first(), false});
        return group;
    }

    KikChat *chat(KikUser *user)
    {
        auto *chat = new KikChat;
        chat->id = ++m_ids;
        chat->user = user;
        set->chats.insert(chat->id, chat);
        return chat;
    }

    KikMessage *message(KikChat *chat, const QString &uid, qint64 secs, const QString &body = QStringLiteral("hi"))
    {
        auto *message = new KikMessage;
        message->id = ++m_ids;
        message->internal_id = secs;
        message->uid = uid;
        message->ts = QDateTime::fromSecsSinceEpoch(1400000000 + secs, Qt::UTC);
        message->body = body;
        message->chat = chat;
        if (chat)
            chat->messages.append(message);
        set->messages.insert(message->id, message);
        return message;
    }

    KikDataSetPtr set;

private:
    qint64 m_ids = 0;
};

}   // namespace

class TestBackupKikMessagesThread : public QObject
{
    Q_OBJECT
    TestEnv env;

    struct Outcome
    {
        QStringList errors() const { return m_errors; }
        QStringList successes() const { return m_successes; }
        QList<RecordingProgress::Report> reports() const { return m_reports; }
        QStringList m_errors;
        QStringList m_successes;
        QList<RecordingProgress::Report> m_reports;
        int cancels = 0;
    };

    Outcome backup(const KikMessageList &messages, const QString &folder,
                   std::function<bool(const RecordingProgress::Report &)> cancelWhen = {})
    {
        RecordingProgress progress;
        if (cancelWhen)
            progress.cancelWhen(std::move(cancelWhen));
        BackupKikMessagesThread worker(messages, folder, &progress);
        progress.run(worker);
        return {progress.errors(), progress.successes(), progress.reports(), progress.cancels()};
    }

    QString databaseFolder(const QString &name) { return env.path(QStringLiteral("databases/") + name); }

private slots:
    void initTestCase() { QVERIFY(TestEnv::installEnglishTexts()); }

    void theSameChatTwiceChangesNothing()
    {
        Source source;
        KikUser *ann = source.user(QStringLiteral("ann@talk.kik.com"), QStringLiteral("Ann"),
                                   writtenFile(env.path(QStringLiteral("src/ann.jpg")), "ann's face"));
        KikChat *chat = source.chat(ann);
        // Given in reverse: the worker stores them in the message order.
        source.message(chat, QStringLiteral("m3"), 300);
        source.message(chat, QStringLiteral("m2"), 200)->target_user = ann;
        source.message(chat, QStringLiteral("m1"), 100)->was_me = true;

        const QString folder = databaseFolder(QStringLiteral("twice"));
        const Outcome first = backup(source.set->allMessages(), folder);
        QCOMPARE(first.errors(), QStringList());
        QCOMPARE(first.successes(), QStringList{QStringLiteral("Successfully backed up 3 messages.")});
        const auto reports = first.reports();
        QCOMPARE(reports.size(), 4);
        QCOMPARE(reports[0].status, QStringLiteral("Backing up Kik messages..."));
        QCOMPARE(reports[0].value, 0);
        QCOMPARE(reports[1].text, QStringLiteral("Messages: 1/3"));
        QCOMPARE(reports[1].value, 33);
        QCOMPARE(reports[3].text, QStringLiteral("Messages: 3/3"));
        QCOMPARE(reports[3].value, 100);

        QCOMPARE(rows(folder, QStringLiteral("select uid from kik_message order by _id")),
                 (QList<QStringList>{{QStringLiteral("m1")}, {QStringLiteral("m2")}, {QStringLiteral("m3")}}));
        QCOMPARE(rows(folder, QStringLiteral("select last_ts from kik_chat")),
                 QList<QStringList>{{QString::number((1400000000LL + 300) * 1000)}});
        QCOMPARE(readFileBytes(folder + QStringLiteral("/prof/ann@talk.kik.com")), QByteArray("ann's face"));

        const QByteArray before = dump(folder);
        QVERIFY(before.contains("INSERT INTO kik_chat_messages"));
        const Outcome second = backup(source.set->allMessages(), folder);
        QCOMPARE(second.successes(), QStringList{QStringLiteral("Successfully backed up 3 messages.")});
        QCOMPARE(dump(folder), before);
    }

    void aStoredMessageJoinsAnotherChat()
    {
        Source first;
        const KikMessage *shared = first.message(first.chat(first.user(QStringLiteral("a@x"), QStringLiteral("A"))),
                                                 QStringLiteral("shared"), 10, QStringLiteral("first copy"));
        const QString folder = databaseFolder(QStringLiteral("shared"));
        backup({const_cast<KikMessage *>(shared)}, folder);

        Source second;
        KikMessage *again = second.message(second.chat(second.user(QStringLiteral("b@x"), QStringLiteral("B"))),
                                           QStringLiteral("shared"), 10, QStringLiteral("second copy"));
        QCOMPARE(backup({again}, folder).errors(), QStringList());
        // One message row, the first copy's, in both chats.
        QCOMPARE(rows(folder, QStringLiteral("select _id, body from kik_message")),
                 (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("first copy")}}));
        QCOMPARE(rows(folder, QStringLiteral("select c.user_id, cm.message_id from kik_chat_messages cm "
                                             "join kik_chat c on c._id = cm.chat_id order by c.user_id")),
                 (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("2"), QStringLiteral("1")}}));
    }

    void aMessageListedInTwoChatsIsStoredInBoth()
    {
        // Kik's store may list one message in two chats; the record names the last as its chat.
        Source source;
        KikChat *ann = source.chat(source.user(QStringLiteral("ann@x"), QStringLiteral("Ann")));
        KikChat *group = source.chat(source.group(QStringLiteral("9@groups.kik.com"), {}));
        source.message(ann, QStringLiteral("a1"), 1);
        KikMessage *shared = source.message(ann, QStringLiteral("both"), 2);
        group->messages.append(shared);
        shared->chat = group;

        // Backing up Ann's chat keeps the message in it, and in the group it also belongs to.
        const QString folder = databaseFolder(QStringLiteral("listed-twice"));
        QCOMPARE(backup(ann->messages, folder).successes(), QStringList{QStringLiteral("Successfully backed up 2 messages.")});
        QCOMPARE(
            rows(folder, QStringLiteral("select u.jid, m.uid from kik_chat_messages cm join kik_chat c on c._id = cm.chat_id "
                                        "join kik_user u on u._id = c.user_id join kik_message m on m._id = cm.message_id "
                                        "order by u.jid, m.uid")),
            (QList<QStringList>{{QStringLiteral("9@groups.kik.com"), QStringLiteral("both")},
                                {QStringLiteral("ann@x"), QStringLiteral("a1")},
                                {QStringLiteral("ann@x"), QStringLiteral("both")}}));
    }

    void aNewGroupStoresItsMembers()
    {
        const QString folder = databaseFolder(QStringLiteral("group"));
        Source earlier;
        KikUser *bob = earlier.user(QStringLiteral("bob@x"), QStringLiteral("Bob"));
        backup({earlier.message(earlier.chat(bob), QStringLiteral("b1"), 1)}, folder);

        Source source;
        KikUser *ann = source.user(QStringLiteral("ann@x"), QStringLiteral("Ann"),
                                   writtenFile(env.path(QStringLiteral("src/ann-g.jpg")), "ann"));
        KikUser *bobAgain = source.user(QStringLiteral("bob@x"), QStringLiteral("Bob"));
        KikUser *group = source.group(QStringLiteral("1100@groups.kik.com"), {ann, bobAgain});
        group->members.append({nullptr, false, true});   // a member whose record is missing
        group->photo_path = writtenFile(env.path(QStringLiteral("src/group.jpg")), "group picture");
        KikChat *chat = source.chat(group);
        source.message(chat, QStringLiteral("g1"), 50)->target_user = ann;
        source.message(chat, QStringLiteral("g2"), 60)->target_user = bobAgain;

        QCOMPARE(backup(source.set->allMessages(), folder).errors(), QStringList());
        QCOMPARE(rows(folder, QStringLiteral("select jid, is_group from kik_user order by _id")),
                 (QList<QStringList>{{QStringLiteral("bob@x"), QStringLiteral("NULL")},
                                     {QStringLiteral("1100@groups.kik.com"), QStringLiteral("1")},
                                     {QStringLiteral("ann@x"), QStringLiteral("NULL")}}));
        QCOMPARE(rows(folder, QStringLiteral("select user_id, member_id, is_admin, is_banned from kik_user_members "
                                             "order by member_id")),
                 (QList<QStringList>{{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0")},
                                     {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("0")}}));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/prof/ann@x")), QByteArray("ann"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/prof/1100@groups.kik.com")), QByteArray("group picture"));

        // Members of a chat that is already stored are left alone.
        group->members.first().is_admin = false;
        group->members.append({source.user(QStringLiteral("cid@x"), QStringLiteral("Cid")), false, false});
        source.message(chat, QStringLiteral("g3"), 70);
        backup(source.set->allMessages(), folder);
        QCOMPARE(rows(folder, QStringLiteral("select count(*) from kik_user_members")),
                 QList<QStringList>{{QStringLiteral("2")}});
        QCOMPARE(rows(folder, QStringLiteral("select count(*) from kik_user where jid = 'cid@x'")),
                 QList<QStringList>{{QStringLiteral("0")}});
    }

    void attachmentFilesAreCopiedWithoutOverwriting()
    {
        const QString folder = databaseFolder(QStringLiteral("files"));
        Source source;
        KikChat *chat = source.chat(source.user(QStringLiteral("a@x"), QStringLiteral("A")));
        KikMessage *picture = source.message(chat, QStringLiteral("p1"), 1);
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->content_id = QStringLiteral("content-1");
        picture->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("preview-1"));
        picture->attachment.insert(QStringLiteral("image:icon"), QStringLiteral("icon-1"));   // source missing
        picture->attachment.insert(QStringLiteral("image:png-preview"), QStringLiteral("png-1"));
        picture->preview_path = writtenFile(env.path(QStringLiteral("src/preview")), "new preview");
        picture->icon_path = env.path(QStringLiteral("src/no-such-icon"));
        picture->png_preview_path = writtenFile(env.path(QStringLiteral("src/png")), "png");
        picture->content_path = writtenFile(env.path(QStringLiteral("src/content")), "content bytes");
        // Names from the source that would leave their folder are not used.
        KikMessage *hostile = source.message(chat, QStringLiteral("p2"), 2);
        hostile->content_id = QStringLiteral("../../escaped");
        hostile->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("../thumbs-escaped"));
        hostile->preview_path = picture->preview_path;
        hostile->content_path = picture->content_path;

        writtenFile(folder + QStringLiteral("/thumbs/preview-1"), "first copy wins");
        QCOMPARE(backup(source.set->allMessages(), folder).errors(), QStringList());
        QCOMPARE(
            filesBelow(folder).filter(QStringLiteral("/")),
            (QStringList{QStringLiteral("files/content-1"), QStringLiteral("thumbs/png-1"), QStringLiteral("thumbs/preview-1")}));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/thumbs/preview-1")), QByteArray("first copy wins"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/files/content-1")), QByteArray("content bytes"));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("escaped"))));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("databases/escaped"))));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/thumbs-escaped")));
    }

    void cancelLeavesTheDatabaseAsItWas()
    {
        const QString folder = databaseFolder(QStringLiteral("cancel"));
        Source stored;
        KikUser *ann = stored.user(QStringLiteral("ann@x"), QStringLiteral("Ann"));
        stored.message(stored.chat(ann), QStringLiteral("old"), 1);
        backup(stored.set->allMessages(), folder);
        writtenFile(folder + QStringLiteral("/files/kept"), "from before");
        const QByteArray dumpBefore = dump(folder);
        const QByteArray bytesBefore = readFileBytes(folder + QStringLiteral("/talvora-kik.db"));
        const QStringList filesBefore = filesBelow(folder);

        Source source;
        KikUser *newUser = source.user(QStringLiteral("new@x"), QStringLiteral("New"),
                                       writtenFile(env.path(QStringLiteral("src/new.jpg")), "new face"));
        KikChat *chat = source.chat(newUser);
        for (int i = 0; i < 5; ++i) {
            KikMessage *message = source.message(chat, QStringLiteral("n%1").arg(i), 10 + i);
            message->content_id = QStringLiteral("c%1").arg(i);
            message->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("x"));
            message->content_path = writtenFile(env.path(QStringLiteral("src/c%1").arg(i)), "content");
        }
        const Outcome canceled = backup(source.set->allMessages(), folder, [](const RecordingProgress::Report &r) {
            return r.text == QStringLiteral("Messages: 3/5");
        });
        QCOMPARE(canceled.errors(), QStringList());
        QCOMPARE(canceled.successes(), QStringList());
        QCOMPARE(canceled.cancels, 1);   // said once, so a caller waiting for the end is told
        QCOMPARE(canceled.reports().last().text, QStringLiteral("Messages: 3/5"));
        QCOMPARE(dump(folder), dumpBefore);
        QCOMPARE(readFileBytes(folder + QStringLiteral("/talvora-kik.db")), bytesBefore);
        // The pictures and files the canceled run copied are gone; what was there stays.
        QCOMPARE(filesBelow(folder), filesBefore);

        // A database the canceled run would have made is not left behind, nor are the
        // database file and folders it would have made in a folder that was there already.
        const auto cancelAtTwo = [](const RecordingProgress::Report &r) { return r.text == QStringLiteral("Messages: 2/5"); };
        const QString fresh = databaseFolder(QStringLiteral("never-made"));
        backup(source.set->allMessages(), fresh, cancelAtTwo);
        QVERIFY(!QFileInfo::exists(fresh));
        const QString empty = databaseFolder(QStringLiteral("empty-before"));
        QVERIFY(QDir().mkpath(empty));
        backup(source.set->allMessages(), empty, cancelAtTwo);
        QCOMPARE(QDir(empty).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // Copies wait in a staging folder until the commit: a run killed before it leaves none that
    // the database does not name, and the next run clears or finishes what a killed one left.
    void copiesGoInWithTheCommit()
    {
        const QString folder = databaseFolder(QStringLiteral("staged"));
        Source source;
        KikChat *chat = source.chat(source.user(QStringLiteral("s@x"), QStringLiteral("S")));
        for (int i = 0; i < 5; ++i) {
            KikMessage *message = source.message(chat, QStringLiteral("s%1").arg(i), 1 + i);
            message->content_id = QStringLiteral("c%1").arg(i);
            message->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("x"));
            message->content_path = writtenFile(env.path(QStringLiteral("src/s%1").arg(i)), "content");
        }
        QStringList placedMidRun;
        const Outcome done = backup(source.set->allMessages(), folder, [&](const RecordingProgress::Report &r) {
            if (r.text == QStringLiteral("Messages: 4/5"))
                placedMidRun = filesBelow(folder + QStringLiteral("/files"));
            return false;
        });
        QCOMPARE(done.errors(), QStringList());
        QCOMPARE(placedMidRun, QStringList());
        QCOMPARE(filesBelow(folder).filter(QStringLiteral("/")),
                 (QStringList{QStringLiteral("files/c0"), QStringLiteral("files/c1"), QStringLiteral("files/c2"),
                              QStringLiteral("files/c3"), QStringLiteral("files/c4")}));

        // Left by killed runs: one died before its commit, one after it.
        writtenFile(folder + QStringLiteral("/.staging-dead/files/orphan"), "never committed");
        writtenFile(folder + QStringLiteral("/.committed-done/files/late"), "committed");
        writtenFile(folder + QStringLiteral("/.committed-done/thumbs/late-preview"), "committed");
        writtenFile(folder + QStringLiteral("/.committed-done/files/c0"), "not over the first copy");
        QCOMPARE(backup(KikMessageList(), folder).errors(), QStringList());
        QCOMPARE(QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("files"), QStringLiteral("prof"), QStringLiteral("thumbs")}));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/files/late")), QByteArray("committed"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/thumbs/late-preview")), QByteArray("committed"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("/files/c0")), QByteArray("content"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/files/orphan")));
    }

    void emptySelectionsAndSkippedMessages()
    {
        const QString folder = databaseFolder(QStringLiteral("empty"));
        QCOMPARE(backup({}, folder).successes(), QStringList{QStringLiteral("Successfully backed up 0 messages.")});
        QCOMPARE(rows(folder, QStringLiteral("select count(*) from kik_message")), QList<QStringList>{{QStringLiteral("0")}});

        // Messages without a chat or a chat user are not stored, and the summary says so.
        Source source;
        source.message(nullptr, QStringLiteral("orphan"), 1);
        source.message(source.chat(nullptr), QStringLiteral("no-user"), 2);
        const Outcome skipped = backup(source.set->allMessages(), folder);
        QCOMPARE(skipped.successes(), QStringList{QStringLiteral("Successfully backed up 0 messages. 2 messages were not "
                                                                 "stored because their chat is not known.")});
        QCOMPARE(skipped.reports().last().text, QStringLiteral("Messages: 2/2"));
        QCOMPARE(rows(folder, QStringLiteral("select count(*) from kik_message")), QList<QStringList>{{QStringLiteral("0")}});
        source.message(source.chat(source.user(QStringLiteral("a@x"), QStringLiteral("A"))), QStringLiteral("kept"), 3);
        QCOMPARE(backup(source.set->allMessages(), folder).successes(),
                 QStringList{QStringLiteral("Successfully backed up 1 message. 2 messages were not stored because "
                                            "their chat is not known.")});
    }

    void messagesWithoutAUidOfTheirOwnAreKeptApart()
    {
        // No uid, an empty one, one two messages share, and two messages alike in everything:
        // each is a row of its own in its own chat, the first backup filling in bulk and the
        // others merging row by row; a second backup of the same adds nothing.
        Source source;
        KikUser *ann = source.user(QStringLiteral("ann@x"), QStringLiteral("Ann"));
        KikUser *bob = source.user(QStringLiteral("bob@x"), QStringLiteral("Bob"));
        KikChat *annChat = source.chat(ann);
        KikChat *bobChat = source.chat(bob);
        source.message(annChat, QString(), 1, QStringLiteral("no uid"))->target_user = ann;
        source.message(annChat, QStringLiteral(""), 2, QStringLiteral("empty uid"))->was_me = true;
        source.message(annChat, QStringLiteral("dup"), 3, QStringLiteral("shared by ann"))->target_user = ann;
        source.message(bobChat, QStringLiteral("dup"), 4, QStringLiteral("shared by bob"))->target_user = bob;
        source.message(bobChat, QString(), 5, QStringLiteral("twice"))->target_user = bob;
        source.message(bobChat, QString(), 5, QStringLiteral("twice"))->target_user = bob;
        KikMessage *own = source.message(bobChat, QStringLiteral("own"), 6, QStringLiteral("own uid"));
        QString byChat = QStringLiteral("select u.jid, m.body, ifnull(t.jid, '') from kik_chat_messages cm "
                                        "join kik_chat c on c._id = cm.chat_id join kik_user u on u._id = c.user_id "
                                        "join kik_message m on m._id = cm.message_id "
                                        "left join kik_user t on t._id = m.target_user order by m._id");
        const QList<QStringList> expected = {{"ann@x", "no uid", "ann@x"},
                                             {"ann@x", "empty uid", ""},
                                             {"ann@x", "shared by ann", "ann@x"},
                                             {"bob@x", "shared by bob", "bob@x"},
                                             {"bob@x", "twice", "bob@x"},
                                             {"bob@x", "twice", "bob@x"},
                                             {"bob@x", "own uid", ""}};

        const QString filled = databaseFolder(QStringLiteral("own rows"));
        QCOMPARE(backup(source.set->allMessages(), filled).successes(),
                 QStringList{QStringLiteral("Successfully backed up 7 messages.")});
        QCOMPARE(rows(filled, byChat), expected);
        const QByteArray stored = dump(filled);
        QCOMPARE(backup(source.set->allMessages(), filled).errors(), QStringList());
        QCOMPARE(dump(filled), stored);
        // One chat at a time finds the same rows again.
        QCOMPARE(backup(bobChat->messages, filled).errors(), QStringList());
        QCOMPARE(dump(filled), stored);

        const QString merged = databaseFolder(QStringLiteral("own rows merged"));
        QCOMPARE(backup({own}, merged).errors(), QStringList());
        QCOMPARE(backup(source.set->allMessages(), merged).errors(), QStringList());
        QList<QStringList> inOrder = expected;
        std::sort(inOrder.begin(), inOrder.end());
        QCOMPARE(rows(merged, byChat.replace(QStringLiteral("order by m._id"), QStringLiteral("order by 1, 2, 3"))), inOrder);
    }

    void fillingAndMergingStoreTheSame()
    {
        // The first backup into a database without messages fills it in bulk; later ones merge
        // row by row. Both store exactly the same rows (a bulk fill stores chat memberships
        // chat by chat): one database gets the earliest message in a run of its own and the
        // rest in a second run, the other gets everything at once.
        Source source;
        KikUser *ann = source.user(QStringLiteral("ann@x"), QStringLiteral("Ann"));
        KikUser *bob = source.user(QStringLiteral("bob@x"), QStringLiteral("Bob"));
        KikUser *cid = source.user(QStringLiteral("cid@x"), QStringLiteral("Cid"));   // only ever a target
        KikUser *group = source.group(QStringLiteral("7@groups.kik.com"), {ann, bob});
        const QList<KikChat *> chats = {source.chat(ann), source.chat(bob), source.chat(group)};
        KikMessage *earliest = source.message(chats[0], QStringLiteral("earliest"), 0);
        for (int i = 1; i <= 200; ++i) {
            // Repeated uids within a batch of rows, across batches, and of the earliest message.
            QString uid = QStringLiteral("u%1").arg(i);
            if (i % 50 == 0)
                uid = QStringLiteral("u%1").arg(i - 37);
            else if (i == 111)
                uid = QStringLiteral("earliest");
            KikMessage *message = source.message(chats[i % 3], uid, i * 61, i % 7 ? QStringLiteral("m%1").arg(i) : QString());
            message->was_me = i % 2;
            message->target_user = i % 5 == 0 ? cid : i % 5 == 1 ? ann : nullptr;
            if (i % 4 == 0)
                message->rec_ts = message->ts.addSecs(3);
            if (i % 9 == 0) {
                message->content_id = QStringLiteral("c%1").arg(i);
                message->app_id = QStringLiteral("com.kik.ext.gallery");
                message->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("f%1").arg(i));
                message->render_ins = QByteArray("\x01\x00", 2);
                message->other = QByteArray("extra");
            }
            if (i % 13 == 0)
                chats[(i + 1) % 3]->messages.append(message);   // listed in a second chat too
        }
        source.message(nullptr, QStringLiteral("no chat"), 300);
        source.message(source.chat(nullptr), QStringLiteral("no user"), 301);

        const QString atOnce = databaseFolder(QStringLiteral("at-once"));
        QCOMPARE(backup(source.set->allMessages(), atOnce).errors(), QStringList());
        const QString inTwo = databaseFolder(QStringLiteral("in-two"));
        QCOMPARE(backup({earliest}, inTwo).errors(), QStringList());
        QCOMPARE(backup(source.set->allMessages(), inTwo).errors(), QStringList());

        QVERIFY(dump(atOnce).contains("CREATE INDEX index_kik_message_uid"));
        QCOMPARE(sortedDump(atOnce), sortedDump(inTwo));
        // 201 messages with a chat, five of them repeating another message's uid: a uid two
        // messages share names neither, each is a row of its own.
        QCOMPARE(rows(atOnce, QStringLiteral("select count(*), max(_id) from kik_message")),
                 (QList<QStringList>{{QStringLiteral("201"), QStringLiteral("201")}}));
        // A row per message and chat, and one per second listing.
        QCOMPARE(rows(atOnce, QStringLiteral("select count(*) from kik_chat_messages")),
                 QList<QStringList>{{QStringLiteral("216")}});
        QCOMPARE(rows(atOnce, QStringLiteral("select integrity_check from pragma_integrity_check")),
                 QList<QStringList>{{QStringLiteral("ok")}});
    }

    void aDatabaseWithoutMessagesCountsOnFromItsDeletedOnes()
    {
        const QString folder = databaseFolder(QStringLiteral("emptied"));
        Source old;
        KikChat *oldChat = old.chat(old.user(QStringLiteral("old@x"), QStringLiteral("Old")));
        for (int i = 0; i < 3; ++i)
            old.message(oldChat, QStringLiteral("old%1").arg(i), i);
        backup(old.set->allMessages(), folder);
        {
            KikLocalDb db(folder);
            db.deleteMessages({1, 2, 3});
        }
        const QByteArray before = dump(folder);

        Source source;
        KikChat *chat = source.chat(source.user(QStringLiteral("new@x"), QStringLiteral("New")));
        for (int i = 0; i < 70; ++i)
            source.message(chat, QStringLiteral("n%1").arg(i), 100 + i);
        // Canceled after a full batch of rows: the dropped indexes come back with the rest.
        backup(source.set->allMessages(), folder,
               [](const RecordingProgress::Report &r) { return r.text == QStringLiteral("Messages: 66/70"); });
        QCOMPARE(dump(folder), before);

        QCOMPARE(backup(source.set->allMessages(), folder).errors(), QStringList());
        QCOMPARE(rows(folder, QStringLiteral("select min(_id), max(_id) from kik_message")),
                 (QList<QStringList>{{QStringLiteral("4"), QStringLiteral("73")}}));
    }

    void rowsBreakingAnIndexOfTheFileFailTheRun()
    {
        // A file may define an index otherwise, here a unique one on the time. Rows that break
        // it fail the run, stored in bulk or merged one by one, and change nothing.
        const QString folder = databaseFolder(QStringLiteral("unique-ts"));
        {
            KikLocalDb db(folder);
            db.open();
            db.execScriptThrow("drop index index_kik_message_ts; create unique index index_kik_message_ts on kik_message (ts)");
        }
        Source source;
        KikChat *chat = source.chat(source.user(QStringLiteral("a@x"), QStringLiteral("A")));
        const KikMessageList clash = {source.message(chat, QStringLiteral("one"), 5),
                                      source.message(chat, QStringLiteral("two"), 5)};
        for (const char *state : {"without messages", "with a message"}) {
            const QByteArray before = dump(folder);
            const Outcome failed = backup(clash, folder);
            QVERIFY2(failed.errors().size() == 1 && failed.errors().first().contains(QStringLiteral("UNIQUE")), state);
            QCOMPARE(dump(folder), before);
            backup({source.message(chat, QStringLiteral("apart"), 1)}, folder);
        }
    }

    void aLargeRunReportsWhenTheFiguresMove()
    {
        Source source;
        for (int i = 0; i < 1000; ++i)
            source.message(nullptr, QStringLiteral("skipped%1").arg(i), i);
        const Outcome outcome = backup(source.set->allMessages(), databaseFolder(QStringLiteral("reports")));
        const auto reports = outcome.reports();
        // The title, the first message, one per percent reached (the last among them) and one
        // every 256 messages in between.
        QCOMPARE(reports.size(), 1 + 1 + 100 + 3);
        QCOMPARE(reports.at(1).text, QStringLiteral("Messages: 1/1000"));
        QCOMPARE(reports.at(2).text, QStringLiteral("Messages: 10/1000"));
        QCOMPARE(reports.last().text, QStringLiteral("Messages: 1000/1000"));
        QCOMPARE(reports.last().value, 100);
        // Messages without a chat are reported, not counted as backed up.
        QCOMPARE(outcome.successes(), QStringList{QStringLiteral("Successfully backed up 0 messages. 1000 messages were not "
                                                                 "stored because their chat is not known.")});
    }

    void twoWritersAtOnceShareOneNewDatabase()
    {
        // Two runs into one database that does not exist yet, started together again and again:
        // it is made once, neither run takes away what the other stored, both succeed.
        Source source;
        KikChat *chat = source.chat(source.user(QStringLiteral("ann@x"), QStringLiteral("Ann")));
        for (int i = 0; i < 300; ++i)
            source.message(chat, QStringLiteral("u%1").arg(i), i);
        const KikMessageList messages = source.set->allMessages();
        for (int trial = 0; trial < 25; ++trial) {
            const QString folder = databaseFolder(QStringLiteral("race %1").arg(trial));
            RecordingProgress progress[2];
            BackupKikMessagesThread first(messages, folder, &progress[0]);
            BackupKikMessagesThread second(messages, folder, &progress[1]);
            first.start();
            second.start();
            first.wait();
            second.wait();
            for (const RecordingProgress &run : progress) {
                QCOMPARE(run.errors(), QStringList());
                QCOMPARE(run.successes(), QStringList{QStringLiteral("Successfully backed up 300 messages.")});
            }
            QCOMPARE(rows(folder, QStringLiteral("select count(*), count(distinct uid) from kik_message")),
                     (QList<QStringList>{{QStringLiteral("300"), QStringLiteral("300")}}));
            QCOMPARE(rows(folder, QStringLiteral("select count(*) from kik_chat_messages")),
                     QList<QStringList>{{QStringLiteral("300")}});
            QCOMPARE(rows(folder, QStringLiteral("select integrity_check from pragma_integrity_check")),
                     QList<QStringList>{{QStringLiteral("ok")}});
        }
    }

    void aSecondWriterWaitsForTheLock()
    {
        Source source;
        source.message(source.chat(source.user(QStringLiteral("a@x"), QStringLiteral("A"))), QStringLiteral("m"), 1);
        const QString folder = databaseFolder(QStringLiteral("locked"));
        const QString waiting =
            QStringLiteral("The local database locked is in use by another import. Waiting for it to finish...");
        const auto saidWaiting = [&](const RecordingProgress &progress) {
            const auto reports = progress.reports();
            return std::any_of(reports.cbegin(), reports.cend(), [&](const auto &report) { return report.status == waiting; });
        };
        {
            // While another writer holds the lock the run says so and waits; then it goes on.
            auto held = std::make_unique<KikLocalDbLock>(folder);
            held->acquireThrow([](bool) {});
            RecordingProgress progress;
            BackupKikMessagesThread worker(source.set->allMessages(), folder, &progress);
            worker.start();
            QTRY_VERIFY(saidWaiting(progress));
            QVERIFY(!QFileInfo::exists(folder));
            held.reset();
            QVERIFY(worker.wait(60000));
            QCOMPARE(progress.successes(), QStringList{QStringLiteral("Successfully backed up 1 message.")});
        }
        {
            // A cancel while waiting leaves everything to the holder.
            const QString other = databaseFolder(QStringLiteral("locked too"));
            KikLocalDbLock held(other);
            held.acquireThrow([](bool) {});
            RecordingProgress progress;
            progress.cancelWhen(
                [](const RecordingProgress::Report &report) { return report.status.contains(QStringLiteral("in use")); });
            BackupKikMessagesThread worker(source.set->allMessages(), other, &progress);
            progress.run(worker);
            QVERIFY(progress.successes().isEmpty());
            QVERIFY(progress.errors().isEmpty());
            QVERIFY(!QFileInfo::exists(other));
        }
        {
            // A lock left by a process that ended, and one that was never written whole, are taken over.
            const QString lockPath = KikLocalDbLock::lockPathFor(folder);
            QByteArray contents;
            {
                QLockFile own(lockPath);
                QVERIFY(own.tryLock());
                contents = readFileBytes(lockPath);
            }
            QProcess ended;
            ended.start(QStringLiteral("true"));
            QVERIFY(ended.waitForStarted());
            const qint64 pid = ended.processId();
            QVERIFY(ended.waitForFinished());
            contents.replace(0, contents.indexOf('\n'), QByteArray::number(pid));
            writtenFile(lockPath, contents);
            QCOMPARE(backup(source.set->allMessages(), folder).successes(),
                     QStringList{QStringLiteral("Successfully backed up 1 message.")});
            QFile unreadable(writtenFile(lockPath, QByteArray()));
            QVERIFY(unreadable.open(QIODevice::ReadWrite));
            QVERIFY(unreadable.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
            unreadable.close();
            QCOMPARE(backup(source.set->allMessages(), folder).successes(),
                     QStringList{QStringLiteral("Successfully backed up 1 message.")});
            QVERIFY(!QFileInfo::exists(lockPath));
        }
    }

    void databaseErrorsAreReportedAndNothingChanges()
    {
        const QString folder = databaseFolder(QStringLiteral("broken"));
        writtenFile(folder + QStringLiteral("/talvora-kik.db"), QByteArray(4096, 'x'));
        Source source;
        source.message(source.chat(source.user(QStringLiteral("a@x"), QStringLiteral("A"))), QStringLiteral("m"), 1);
        const Outcome failed = backup(source.set->allMessages(), folder);
        QCOMPARE(failed.errors().size(), 1);
        QVERIFY(failed.successes().isEmpty());
        QCOMPARE(readFileBytes(folder + QStringLiteral("/talvora-kik.db")), QByteArray(4096, 'x'));
        QCOMPARE(backup({}, QString()).errors(), QStringList{QStringLiteral("No local database folder was given.")});
    }
};

QTEST_GUILESS_MAIN(TestBackupKikMessagesThread)
#include "TestBackupKikMessagesThread.moc"

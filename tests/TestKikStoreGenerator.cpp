#include "KikDbTestKit.h"
#include "TestEnv.h"

#include "db/Sqlite3DB.h"
#include "kikstore/KikStoreGenerator.h"
#include "plist/CFType.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QtTest>

using namespace KikDbTestKit;

namespace {

QSet<QString> schemaOf(const QString &path)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadOnly);
    QSet<QString> statements;
    Sqlite3Cursor cursor = db.queryThrow("select type || ' ' || name || ' ' || coalesce(sql, '') from sqlite_master");
    while (cursor.moveNext())
        statements.insert(cursor.getText(0));
    return statements;
}

QStringList rows(Sqlite3DB &db, const QString &sql)
{
    QStringList out;
    Sqlite3Cursor cursor = db.queryThrow(sql);
    while (cursor.moveNext()) {
        QStringList values;
        for (int i = 0; i < cursor.columnCount(); ++i)
            values << cursor.getText(i);
        out << values.join(QLatin1Char('|'));
    }
    return out;
}

}

class TestKikStoreGenerator : public QObject
{
    Q_OBJECT
    TestEnv m_env;

private slots:
    void schemaAndBookkeepingAsOnThePhone();
    void followsItsOptions();
    void sameSeedSameStore();
};

void TestKikStoreGenerator::schemaAndBookkeepingAsOnThePhone()
{
    const GeneratedKikStore store = KikStoreGenerator().generate(m_env.path(QStringLiteral("phone")));
    // The fixture is read from a copy: even a read-only connection leaves WAL files beside a store.
    QCOMPARE(schemaOf(store.storePath),
             schemaOf(TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), m_env.path(QStringLiteral("real")))));

    Sqlite3DB db;
    db.openThrow(store.storePath, Sqlite3DB::ReadWrite);
    QCOMPARE(rows(db, "PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
    QCOMPARE(rows(db, "PRAGMA journal_mode"), QStringList{QStringLiteral("wal")});
    QCOMPARE(rows(db, "PRAGMA auto_vacuum"), QStringList{QStringLiteral("2")});
    QCOMPARE(rows(db, "select Z_ENT, Z_NAME, Z_SUPER from Z_PRIMARYKEY order by Z_ENT"),
             (QStringList{"1|KikAttachment|0", "2|KikAttachmentExtra|0", "3|KikChat|0", "4|KikChatExtra|0", "5|KikMessage|0",
                          "6|KikUser|0", "7|KikUserExtra|0"}));
    for (const auto &[name, table] : {std::pair{"KikMessage", "ZKIKMESSAGE"},
                                      {"KikUser", "ZKIKUSER"},
                                      {"KikChat", "ZKIKCHAT"},
                                      {"KikAttachment", "ZKIKATTACHMENT"},
                                      {"KikUserExtra", "ZKIKUSEREXTRA"}}) {
        QCOMPARE(scalar(db, QStringLiteral("select Z_MAX from Z_PRIMARYKEY where Z_NAME='%1'").arg(name)),
                 scalar(db, QStringLiteral("select max(Z_PK) from %1").arg(table)));
    }
    Sqlite3Cursor plist = db.queryThrow("select Z_PLIST from Z_METADATA where Z_VERSION=1");
    QVERIFY(plist.moveNext());
    const CFType model = CFType::fromPlistData(plist.getBlob(0));
    QCOMPARE(model.value(QStringLiteral("NSStoreType")).toQString(), QStringLiteral("SQLite"));
    QCOMPARE(model.value(QStringLiteral("NSStoreModelVersionHashes")).count(), 7);

    // Every chat points at its newest message and back; users point at their extra rows.
    QCOMPARE(scalar(db, "select count(*) from ZKIKCHAT c join ZKIKMESSAGE m on m.Z_PK=c.ZLASTMESSAGE "
                        "where m.ZLASTMESSAGECHAT=c.Z_PK and m.ZCHATEXTRA=c.ZEXTRA"),
             store.chats);
    QCOMPARE(scalar(db, "select count(*) from ZKIKUSER u join ZKIKUSEREXTRA x on x.Z_PK=u.ZEXTRA where x.ZUSER=u.Z_PK"),
             store.users);
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE where ZTYPE in (1, 2)"), store.messages);
}

void TestKikStoreGenerator::followsItsOptions()
{
    KikStoreOptions options;
    options.contacts = 6;
    options.groups = 2;
    options.membersPerGroup = 3;
    options.adminsPerGroup = 2;
    options.bansPerGroup = 1;
    options.chats = 10;   // more than contacts: one chat per contact
    options.messagesPerChat = 30;
    options.attachmentShare = 0.4;
    options.renderInstructionShare = 0.2;
    options.profilePictureShare = 1.0;
    const GeneratedKikStore store = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("options")));
    QCOMPARE(store.users, 1 + 6 + 2);
    QCOMPARE(store.chats, 6 + 2);
    QCOMPARE(store.messages + store.statusLines, 8 * 30);
    QCOMPARE(store.messageUids.size(), store.messages);
    QCOMPARE(store.contentIds.size(), store.attachments);
    QVERIFY(store.attachments > 40 && store.renderInstructionMessages > 10);

    Sqlite3DB db;
    db.openThrow(store.storePath, Sqlite3DB::ReadWrite);
    QCOMPARE(scalar(db, "select count(*) from Z_6MEMBERS"), 2 * 3);
    QCOMPARE(scalar(db, "select count(*) from Z_6ADMINSINVERSE"), 2 * 2);
    QCOMPARE(scalar(db, "select count(*) from Z_6BANSINVERSE"), 2);
    QCOMPARE(scalar(db, "select count(*) from Z_6ADMINSINVERSE where Z_6ADMINS=1"), 2);
    // Banned users are not members of the group that banned them.
    QCOMPARE(scalar(db, "select count(*) from Z_6BANSINVERSE b join Z_6MEMBERS m on m.Z_6MEMBERSINVERSE=b.Z_6BANSINVERSE "
                        "and m.Z_6MEMBERS=b.Z_6BANS"),
             0);
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE where ZRENDERINSTRUCTIONSET is not null"),
             store.renderInstructionMessages);
    // Attachment messages keep their content id as the body, as Kik does.
    QCOMPARE(scalar(db, "select count(*) from ZKIKMESSAGE m join ZKIKATTACHMENT a on a.ZMESSAGE=m.Z_PK "
                        "where m.ZBODY=a.ZCONTENT and m.ZFLAGS=4"),
             store.attachments);

    const QString documents = store.rootFolder + QStringLiteral("/Documents");
    int binary = 0, xml = 0;
    for (const QString &id : store.contentIds) {
        QFile description(documents + QStringLiteral("/attachments/") + id);
        if (store.contentIdsWithoutDescription.contains(id)) {
            QVERIFY(!description.exists());
            continue;
        }
        QVERIFY(description.open(QIODevice::ReadOnly));
        const QByteArray head = description.read(8);
        binary += head == "bplist00" ? 1 : 0;
        xml += head.startsWith("<?xml") ? 1 : 0;
    }
    QVERIFY(binary > 0 && xml > 0);
    QCOMPARE(QDir(documents + QStringLiteral("/profpix")).entryList(QDir::Files).size(), store.users);

    options.sideFiles = false;
    const GeneratedKikStore bare = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("bare")));
    QCOMPARE(filesUnder(bare.rootFolder), QStringList{bare.storePath});
}

void TestKikStoreGenerator::sameSeedSameStore()
{
    KikStoreOptions options;
    options.seed = 42;
    const GeneratedKikStore a = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("a")));
    const GeneratedKikStore b = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("b")));
    QCOMPARE(a.messageUids, b.messageUids);
    QCOMPARE(a.contentIds, b.contentIds);
    Sqlite3DB first, second;
    first.openThrow(a.storePath, Sqlite3DB::ReadWrite);
    second.openThrow(b.storePath, Sqlite3DB::ReadWrite);
    const QString dump = QStringLiteral("select * from ZKIKMESSAGE order by Z_PK");
    QCOMPARE(rows(first, dump), rows(second, dump));
    options.seed = 43;
    const GeneratedKikStore c = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("c")));
    QVERIFY(c.messageUids != a.messageUids);

    // Generating again into the same folder replaces the store.
    const GeneratedKikStore again = KikStoreGenerator(options).generate(m_env.path(QStringLiteral("a")));
    Sqlite3DB replaced;
    replaced.openThrow(again.storePath, Sqlite3DB::ReadWrite);
    QCOMPARE(scalar(replaced, "select count(*) from ZKIKMESSAGE"), again.messages + again.statusLines);
}

QTEST_GUILESS_MAIN(TestKikStoreGenerator)
#include "TestKikStoreGenerator.moc"

#include "TestEnv.h"

#include "kik/KikDataSet.h"

#include <QtTest>

// The compact storage behind loaded records: the id-keyed record maps and the picture paths.
class TestKikDataSet : public QObject
{
    Q_OBJECT

private slots:
    void recordMapKeepsIdOrderWhateverTheInsertOrder()
    {
        TestEnv env;
        KikDataSet set;
        const qint64 ids[] = {5, 1, 9, 3, 7, 2, 10};
        for (qint64 id : ids) {
            auto *message = new KikMessage;
            message->id = id;
            QCOMPARE(set.messages.insert(id, message), nullptr);
        }
        QCOMPARE(set.messages.size(), 7);
        QList<qint64> order;
        for (const KikMessage *message : set.messages)
            order.append(message->id);
        QCOMPARE(order, (QList<qint64>{1, 2, 3, 5, 7, 9, 10}));
        QCOMPARE(set.allMessages().size(), 7);
        for (qint64 id : ids)
            QCOMPARE(set.messages.value(id)->id, id);
        for (qint64 missing : {0, 4, 11, -1})
            QVERIFY(!set.messages.contains(missing) && set.messages.value(missing) == nullptr);
    }

    void laterRowWithTheSameIdReplacesTheEarlier()
    {
        TestEnv env;
        KikDataSet set;
        auto *first = new KikUser;
        first->jid = QStringLiteral("first@example");
        putRecord(set.users, 4, first);
        putRecord(set.users, 8, new KikUser);
        auto *second = new KikUser;
        second->jid = QStringLiteral("second@example");
        putRecord(set.users, 4, second);   // also deletes the first: no leak under sanitizers
        QCOMPARE(set.users.size(), 2);
        QCOMPARE(set.users.value(4)->jid, QStringLiteral("second@example"));

        auto *replaced = new KikChat;
        QCOMPARE(set.chats.insert(1, replaced), nullptr);
        auto *replacement = new KikChat;
        QCOMPARE(set.chats.insert(1, replacement), replaced);
        delete replaced;
        QCOMPARE(set.allChats(), (QList<KikChat *>{replacement}));
    }

    void picturePathsReadAsTextsAndCopyIndependently()
    {
        KikMessage message;
        QVERIFY(message.preview_path.isEmpty() && message.preview_path.text().isNull());
        message.preview_path = QStringLiteral("/thumbs/a.jpg");
        message.content_path = QString();
        QVERIFY(!message.preview_path.isEmpty() && message.content_path.isEmpty());
        const QString &asText = message.preview_path;
        QCOMPARE(asText, QStringLiteral("/thumbs/a.jpg"));
        QVERIFY(message.preview_path == QStringLiteral("/thumbs/a.jpg"));

        KikMessage copy = message;
        copy.preview_path = QStringLiteral("/thumbs/b.jpg");
        QCOMPARE(message.preview_path.text(), QStringLiteral("/thumbs/a.jpg"));
        QCOMPARE(copy.preview_path.text(), QStringLiteral("/thumbs/b.jpg"));

        copy.preview_path = copy.preview_path.text();   // assigning its own text keeps it
        QCOMPARE(copy.preview_path.text(), QStringLiteral("/thumbs/b.jpg"));
        copy.preview_path = QString();   // an empty text frees the storage
        QVERIFY(copy.preview_path.isEmpty());
        copy.icon_path = message.preview_path;
        message.preview_path.clear();
        QCOMPARE(copy.icon_path.text(), QStringLiteral("/thumbs/a.jpg"));

        SparseString moved(std::move(copy.icon_path));
        QCOMPARE(moved.text(), QStringLiteral("/thumbs/a.jpg"));
        QVERIFY(copy.icon_path.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKikDataSet)
#include "TestKikDataSet.moc"

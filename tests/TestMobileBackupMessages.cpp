// The backup client's answers to a phone's messages, driven directly with crafted messages on a
// socket pair: every message that carries a name refuses a hostile one before anything is
// written, read or sent, and the answers a phone of today waits for come at once.

#include "TestEnv.h"
#include "TestFiles.h"
#include "WireBytes.h"

#include "device/MobileBackupError.h"
#include "device/MobileBackupFolder.h"
#include "device/MobileBackupLink.h"
#include "device/MobileBackupMessages.h"
#include "device/ServiceMessage.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");

CFType dl(std::initializer_list<CFType> items)
{
    CFType message = CFType::newArray();
    for (const CFType &item : items)
        message.append(item);
    return message;
}

CFType stringArray(const QStringList &texts)
{
    CFType array = CFType::newArray();
    for (const QString &text : texts)
        array.append(CFType(text));
    return array;
}

QByteArray streamedFile(const QByteArray &name, const QByteArray &bytes)
{
    return be32(quint32(name.size())) + name + be32(quint32(name.size())) + name + be32(quint32(bytes.size() + 1)) + '\x0c'
           + bytes + be32(1) + QByteArray(1, '\0');
}

// One side of the socket pair is the phone: it sends the stream after the message, and reads
// what the handler answered.
class Exchange
{
public:
    Exchange(const QString &root)
        : folder(root, kUdid)
    {
        ::socketpair(AF_UNIX, SOCK_STREAM, 0, m_ends);
        link = std::make_unique<MobileBackupLink>(m_ends[0], [] { throw std::runtime_error("the handler waited"); });
        messages = std::make_unique<MobileBackupMessages>(*link, folder);
    }
    ~Exchange()
    {
        ::close(m_ends[0]);
        ::close(m_ends[1]);
    }

    void handle(const CFType &message, const QByteArray &stream = QByteArray())
    {
        ::send(m_ends[1], stream.constData(), size_t(stream.size()), 0);
        messages->handle(message);
    }
    // The next status answer's [code, text, value].
    CFType status() { return mobiledevice_recmsg(m_ends[1], CFType(), 2000); }
    QByteArray raw(qsizetype length)
    {
        QByteArray bytes(length, '\0');
        qsizetype got = 0;
        while (got < length) {
            const ssize_t n = ::recv(m_ends[1], bytes.data() + got, size_t(length - got), 0);
            if (n <= 0)
                break;
            got += n;
        }
        return bytes.left(got);
    }

    // What the handler sent that the phone has not read yet, without waiting.
    QByteArray pending()
    {
        QByteArray bytes(1 << 16, '\0');
        const ssize_t n = ::recv(m_ends[1], bytes.data(), size_t(bytes.size()), MSG_DONTWAIT);
        return bytes.left(std::max<ssize_t>(n, 0));
    }

    MobileBackupFolder folder;
    std::unique_ptr<MobileBackupLink> link;
    std::unique_ptr<MobileBackupMessages> messages;

private:
    int m_ends[2] = {-1, -1};
};

}   // namespace

class TestMobileBackupMessages : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    QString m_root;
    QString m_outside;

private slots:
    void init()
    {
        m_root = m_env.path(QStringLiteral("root"));
        m_outside = m_env.path(QStringLiteral("outside"));
        QDir(m_root).removeRecursively();
        QDir(m_outside).removeRecursively();
        QDir().mkpath(m_root + '/' + kUdid + "/3d");
        writeFileBytes(m_outside + "/secret", "not the phone's");
        writeFileBytes(m_root + '/' + kUdid + "/Status.plist", "old status");
        QFile::link(m_outside, m_root + '/' + kUdid + "/away");
        QFile::link(m_outside + "/secret", m_root + '/' + kUdid + "/secretlink");
    }

    void hostileNamesStopTheRunAndTouchNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        const QStringList names{kUdid + "/../../planted",
                                kUdid + "/3d/../../outside/secret",
                                "/tmp/planted",
                                "",
                                kUdid
                                    + "/a\x01"
                                      "b",
                                kUdid + "//x",
                                kUdid + "/./x",
                                "00008030-OTHERPHONE/x",
                                kUdid + "\\..\\x",
                                kUdid + "/away/planted",
                                kUdid + "/secretlink"};
        for (const char *kind :
             {"upload", "download", "list", "mkdir", "move-from", "move-to", "remove", "copy-from", "copy-to"}) {
            for (const QString &name : names) {
                if (name.isEmpty() && QLatin1String(kind) == QLatin1String("upload"))
                    continue;   // a name of no bytes ends an upload
                QTest::newRow(qPrintable(QLatin1String(kind) + ": " + QString(name).replace('\x01', "<01>"))) << kind << name;
            }
        }
        // Names in property lists end at a NUL; in a file stream one is part of the name.
        QTest::newRow("upload: NUL") << "upload" << kUdid + QStringLiteral("/a") + QChar(0) + "b";
    }

    void hostileNamesStopTheRunAndTouchNothing()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        const QString good = kUdid + "/Status.plist";
        Exchange exchange(m_root);
        bool refused = false;
        try {
            if (kind == "upload")
                exchange.handle(
                    dl({CFType("DLMessageUploadFiles"), CFType::newDictionary(), CFType::fromDouble(1), CFType::fromInt64(5)}),
                    streamedFile(name.toUtf8(), "HACKED") + be32(0));
            else if (kind == "download")
                exchange.handle(dl({CFType("DLMessageDownloadFiles"), stringArray({name}), CFType::newDictionary()}));
            else if (kind == "list")
                exchange.handle(dl({CFType("DLContentsOfDirectory"), CFType(name)}));
            else if (kind == "mkdir")
                exchange.handle(dl({CFType("DLMessageCreateDirectory"), CFType(name)}));
            else if (kind.startsWith("move")) {
                CFType moves = CFType::newDictionary();
                moves.setValue(kind == "move-from" ? name : good, CFType(kind == "move-from" ? good : name));
                exchange.handle(dl({CFType("DLMessageMoveItems"), moves}));
            } else if (kind == "remove")
                exchange.handle(dl({CFType("DLMessageRemoveItems"), stringArray({name})}));
            else
                exchange.handle(dl({CFType("DLMessageCopyItem"), CFType(kind == "copy-from" ? name : good),
                                    CFType(kind == "copy-from" ? good : name)}));
        } catch (const MobileBackupError &error) {
            refused = QString::fromUtf8(error.what()).startsWith("The iPhone sent a file name that is not safe to use");
        }
        QVERIFY(refused);
        QCOMPARE(readFileBytes(m_outside + "/secret"), QByteArray("not the phone's"));
        QCOMPARE(readFileBytes(m_root + '/' + kUdid + "/Status.plist"), QByteArray("old status"));
        QCOMPARE(QDir(m_outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"secret"});
        QVERIFY(!QFileInfo::exists(m_env.path("planted")) && !QFileInfo::exists("/tmp/planted"));
        QVERIFY(!exchange.messages->changedFolder());
        QVERIFY(!exchange.pending().contains("not the phone's"));
    }

    void purgeAndUnknownMessagesAreAnsweredAtOnce()
    {
        Exchange exchange(m_root);
        for (const char *name : {"DLMessagePurgeDiskSpace", "DLMessageSomethingNew"}) {
            exchange.handle(dl({CFType(name), CFType::fromInt64(1 << 30)}));
            const CFType answer = exchange.status();
            QCOMPARE(answer.at(0).toQString(), QStringLiteral("DLMessageStatusResponse"));
            QCOMPARE(answer.at(1).toInt64(), -1);
            QCOMPARE(answer.at(2).toQString(), QStringLiteral("Operation not supported"));
        }
    }

    void freeSpaceCountsFragments()
    {
        Exchange exchange(m_root);
        exchange.handle(dl({CFType("DLMessageGetFreeDiskSpace")}));
        const CFType answer = exchange.status();
        struct statvfs volume
        { };
        QCOMPARE(::statvfs(QFile::encodeName(m_root).constData(), &volume), 0);
        QCOMPARE(answer.at(1).toInt64(), 0);
        QCOMPARE(answer.at(2).toQString(), QStringLiteral("___EmptyParameterString___"));
        // Nothing else writes on this test's disk meanwhile but the logs: a few blocks at most.
        const qint64 expected = qint64(volume.f_bavail) * qint64(volume.f_frsize);
        QVERIFY(qAbs(answer.at(3).toInt64() - expected) < 1 << 20);
    }

    void uploadsReplaceFilesUnderANewInodeAndCount()
    {
        const QString target = m_root + '/' + kUdid + "/3d/3d0d7e5f";
        writeFileBytes(target, "old bytes");
        QCOMPARE(::link(QFile::encodeName(target).constData(), QFile::encodeName(m_env.path("mirror")).constData()), 0);
        Exchange exchange(m_root);
        exchange.handle(
            dl({CFType("DLMessageUploadFiles"), CFType::newDictionary(), CFType::fromDouble(42), CFType::fromInt64(9)}),
            streamedFile((kUdid + "/3d/3d0d7e5f").toUtf8(), "new bytes") + be32(0));
        QCOMPARE(exchange.status().at(1).toInt64(), 0);
        QCOMPARE(readFileBytes(target), QByteArray("new bytes"));
        QCOMPARE(readFileBytes(m_env.path("mirror")), QByteArray("old bytes"));
        const MobileBackupMessages::Counters counts = exchange.messages->counters();
        QCOMPARE(counts.filesReceived, 1);
        QCOMPARE(counts.bytesReceived, 9);
        QCOMPARE(counts.bytesAnnounced, 9);
        QCOMPARE(counts.percent, 42.0);
        QVERIFY(exchange.messages->changedFolder());
    }

    void downloadsSendFilesAndSayWhichAreMissing()
    {
        Exchange exchange(m_root);
        exchange.handle(dl({CFType("DLMessageDownloadFiles"), stringArray({kUdid + "/Status.plist", kUdid + "/Missing"}),
                            CFType::newDictionary(), CFType::fromDouble(3)}));
        const QByteArray name = (kUdid + "/Status.plist").toUtf8();
        QCOMPARE(exchange.raw(4 + name.size()), be32(quint32(name.size())) + name);
        QCOMPARE(exchange.raw(5 + 10 + 5), be32(11) + '\x0c' + "old status" + be32(1) + QByteArray(1, '\0'));
        const QByteArray missing = (kUdid + "/Missing").toUtf8();
        QCOMPARE(exchange.raw(4 + missing.size()), be32(quint32(missing.size())) + missing);
        const quint32 errorLength = qFromBigEndian<quint32>(exchange.raw(4).constData());
        QCOMPARE(exchange.raw(1), QByteArray(1, '\x06'));
        exchange.raw(errorLength - 1);
        QCOMPARE(exchange.raw(4), be32(0));
        const CFType answer = exchange.status();
        QCOMPARE(answer.at(1).toInt64(), MobileBackupMessages::MultiStatus);
        QCOMPARE(answer.at(3).value(kUdid + "/Missing").value("DLFileErrorCode").toInt64(), -6);
        QVERIFY(!exchange.messages->changedFolder());
    }
};

QTEST_GUILESS_MAIN(TestMobileBackupMessages)
#include "TestMobileBackupMessages.moc"

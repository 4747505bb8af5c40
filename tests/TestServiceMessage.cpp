// The framing of property-list messages on service sockets: exact bytes on a socket pair,
// and a simulated phone's spoiled answers through the real phone library's connection.

#include "TestEnv.h"
#include "ThrownText.h"

#include "PhoneLog.h"
#include "SimulatedPhones.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceService.h"
#include "device/ServiceMessage.h"
#include "device/ServiceSocket.h"

#include <QElapsedTimer>
#include <QtEndian>
#include <QtTest>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");

QByteArray frameLength(quint32 length)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(length, bytes.data());
    return bytes;
}

// Two connected sockets: the program's end and the peer's, written byte for byte by the test.
struct SocketPair
{
    int program = -1;
    int peer = -1;
    SocketPair()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            program = fds[0];
            peer = fds[1];
        }
    }
    ~SocketPair()
    {
        closePeer();
        if (program >= 0)
            ::close(program);
    }
    void peerSends(const QByteArray &bytes) { QCOMPARE(::write(peer, bytes.constData(), bytes.size()), bytes.size()); }
    void closePeer()
    {
        if (peer >= 0)
            ::close(peer);
        peer = -1;
    }
    QByteArray peerReceives()
    {
        QByteArray bytes(1 << 16, '\0');
        const ssize_t n = ::recv(peer, bytes.data(), bytes.size(), MSG_DONTWAIT);
        bytes.resize(n > 0 ? n : 0);
        return bytes;
    }
};

CFType vendRequest(const QString &bundleId = QStringLiteral("com.kik.chat"))
{
    CFType request = CFType::newDictionary();
    request.setValue(QStringLiteral("Command"), CFType("VendContainer"));
    request.setValue(QStringLiteral("Identifier"), CFType(bundleId));
    return request;
}

}   // namespace

class TestServiceMessage : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void sentMessagesAreBigEndianLengthAndXml()
    {
        SocketPair pair;
        CFType message = vendRequest();
        mobiledevice_sendmsg(pair.program, message);
        const QByteArray wire = pair.peerReceives();
        const QByteArray xml = message.toPlistData(CFType::XmlFormat);
        QCOMPARE(wire, frameLength(quint32(xml.size())) + xml);
        QVERIFY(xml.startsWith("<?xml"));

        // A message that does not serialise sends nothing.
        mobiledevice_sendmsg(pair.program, CFType());
        QCOMPARE(pair.peerReceives(), QByteArray());
    }

    void answersInAnyFormatAreRead()
    {
        SocketPair pair;
        CFType answer = CFType::newDictionary();
        answer.setValue(QStringLiteral("Status"), CFType("Complete"));
        for (int format : {int(CFType::BinaryFormat), int(CFType::XmlFormat)}) {
            const QByteArray body = answer.toPlistData(format);
            pair.peerSends(frameLength(quint32(body.size())) + body);
            QCOMPARE(mobiledevice_recmsg(pair.program).value("Status").toQString(), QStringLiteral("Complete"));
        }
    }

    void zeroLengthOrNoPropertyListIsANullMessage()
    {
        SocketPair pair;
        pair.peerSends(frameLength(0));
        QVERIFY(mobiledevice_recmsg(pair.program).isNull());
        pair.peerSends(frameLength(9) + "not plist");
        QVERIFY(mobiledevice_recmsg(pair.program).isNull());
        // The stream stays in step after both.
        const QByteArray body = vendRequest().toPlistData(CFType::XmlFormat);
        pair.peerSends(frameLength(quint32(body.size())) + body);
        QCOMPARE(mobiledevice_recmsg(pair.program).value("Command").toQString(), QStringLiteral("VendContainer"));
    }

    void shortAnswersRaiseWithTheCountAndTheRequest()
    {
        const CFType request = vendRequest();
        const QString quoted = QString::fromUtf8(request.toPlistData(CFType::XmlFormat)).left(800);
        {
            SocketPair pair;
            pair.peerSends(QByteArray("\x00\x00", 2));
            pair.closePeer();
            QCOMPARE(thrownText([&] { mobiledevice_recmsg(pair.program, request); }),
                     "mobiledevice_recmsg(msg-length) error, received length: 2.\n" + quoted);
        }
        {
            SocketPair pair;
            pair.peerSends(frameLength(100) + QByteArray(30, 'x'));
            pair.closePeer();
            QCOMPARE(thrownText([&] { mobiledevice_recmsg(pair.program); }),
                     QStringLiteral("mobiledevice_recmsg(msg) error, received length: 30."));
        }
        {
            // The body's wait is the caller's timeout.
            SocketPair pair;
            pair.peerSends(frameLength(100) + QByteArray(10, 'x'));
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(thrownText([&] { mobiledevice_recmsg(pair.program, CFType(), 200); }),
                     QStringLiteral("mobiledevice_recmsg(msg) error, received length: 10."));
            QVERIFY(timer.elapsed() < 5000);
        }
    }

    void implausibleLengthsAreRefusedWithoutWaitingOrAllocating()
    {
        SocketPair pair;
        pair.peerSends(frameLength(0xC0000000u) + QByteArray(16, 'x'));   // 3 GiB announced, the peer stays
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(thrownText([&] { mobiledevice_recmsg(pair.program); }),
                 QStringLiteral("mobiledevice_recmsg(msg) error, received length: 0."));
        QVERIFY(timer.elapsed() < 5000);

        // At the limit: read as it arrives, failing with what really came.
        SocketPair atLimit;
        atLimit.peerSends(frameLength(MaxServiceMessageLength) + QByteArray(5, 'x'));
        atLimit.closePeer();
        QCOMPARE(thrownText([&] { mobiledevice_recmsg(atLimit.program); }),
                 QStringLiteral("mobiledevice_recmsg(msg) error, received length: 5."));
    }

    // A timeout of 0 looks once: a socket with nothing to read is no reason to block.
    void aWaitOfNoTimeLooksOnce()
    {
        SocketPair pair;
        char byte = 0;
        QCOMPARE(ServiceSocket::wait(pair.program, false, 0), ServiceSocket::TimedOut);
        QCOMPARE(ServiceSocket::receive(pair.program, &byte, 1, 0), qint64(0));
        pair.peerSends("x");
        QCOMPARE(ServiceSocket::wait(pair.program, false, 0), ServiceSocket::Ready);
    }

    void sendingToAPeerThatHungUpRaisesInsteadOfEndingTheProgram()
    {
        SocketPair pair;
        pair.closePeer();
        const CFType message = vendRequest();
        QCOMPARE(thrownText([&] { mobiledevice_sendmsg(pair.program, message); }),
                 "mobiledevice_sendmsg(msg-length) error.\n"
                     + QString::fromUtf8(message.toPlistData(CFType::XmlFormat)).left(800));
    }

    void spoiledAnswersOfASimulatedPhone_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QString>("expected");   // empty: a null message
        QTest::newRow("zero length") << "ZeroLength" << QVariantMap{} << QString();
        QTest::newRow("malformed") << "MalformedPlist" << QVariantMap{} << QString();
        QTest::newRow("closed after 2 bytes")
            << "CloseAfter" << QVariantMap{{"Bytes", 2}} << "mobiledevice_recmsg(msg-length) error, received length: 2.";
        QTest::newRow("huge length") << "HugeLength" << QVariantMap{} << "mobiledevice_recmsg(msg) error, received length: 0.";
        QTest::newRow("truncated") << "Truncated" << QVariantMap{{"Bytes", 7}}
                                   << "mobiledevice_recmsg(msg) error, received length: 7.";
    }

    void spoiledAnswersOfASimulatedPhone()
    {
        QFETCH(QString, fault);
        QFETCH(QVariantMap, settings);
        QFETCH(QString, expected);
        SimulatedPhones sim(env.path(QStringLiteral("phones-") + fault));
        SimPhoneFolder phone = sim.add(PhoneSetup(kUdid, PhoneKik::Development)).folder;
        sim.start();
        phone.setFaults(PhoneLog::answerFault("com.apple.mobile.house_arrest", "VendContainer", fault, settings));

        const int socket = mobiledevice_start_service(MobileDeviceHandle::attach(kUdid), "com.apple.mobile.house_arrest");
        const CFType request = vendRequest();
        mobiledevice_sendmsg(socket, request);
        if (expected.isEmpty()) {
            QVERIFY(mobiledevice_recmsg(socket, request).isNull());
        } else {
            const QString text = thrownText([&] { mobiledevice_recmsg(socket, request); });
            QCOMPARE(text.section('\n', 0, 0), expected);
            QVERIFY(text.section('\n', 1).startsWith("<?xml"));
        }
        mobiledevice_closesocket(socket);
        QCOMPARE(PhoneLog::entries(phone, {{"kind", "fault"}}).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceMessage)
#include "TestServiceMessage.moc"

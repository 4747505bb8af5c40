// The simulated iPhone checked through the real phone library and its tools, and through raw
// sockets where the exact bytes on the wire matter.

#include "SimulatedPhones.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "simiphone/AfcPacket.h"
#include "simiphone/AfcRoot.h"
#include "simiphone/PlistChannel.h"
#include "simiphone/PlistCodec.h"
#include "simiphone/SimulatedIPhone.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

#include <libimobiledevice/afc.h>
#include <libimobiledevice/house_arrest.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <algorithm>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
const QString kKik = QStringLiteral("com.kik.chat");

QVariantMap toMap(plist_t node)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    const QVariant value = PlistCodec::parse(QByteArray(xml, length));
    free(xml);
    return value.toMap();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entries of a phone's received log that match every given field.
QList<QJsonObject> entries(const SimPhoneFolder &phone, const QJsonObject &fields)
{
    QList<QJsonObject> found;
    for (const QJsonObject &entry : phone.received()) {
        bool all = true;
        for (auto it = fields.begin(); it != fields.end(); ++it)
            all = all && entry.value(it.key()) == it.value();
        if (all)
            found.append(entry);
    }
    return found;
}

// A lockdown session opened by the phone library the way the program opens one.
struct Lockdown
{
    idevice_t device = nullptr;
    lockdownd_client_t client = nullptr;
    lockdownd_error_t error = LOCKDOWN_E_MUX_ERROR;

    explicit Lockdown(const QString &udid)
    {
        if (idevice_new(&device, udid.toUtf8().constData()) == IDEVICE_E_SUCCESS)
            error = lockdownd_client_new_with_handshake(device, &client, "simiphone-test");
    }
    ~Lockdown()
    {
        if (client)
            lockdownd_client_free(client);
        if (device)
            idevice_free(device);
    }
    quint16 startService(const char *name, lockdownd_error_t *result = nullptr)
    {
        lockdownd_service_descriptor_t service = nullptr;
        const lockdownd_error_t rc = lockdownd_start_service(client, name, &service);
        if (result)
            *result = rc;
        const quint16 port = service ? service->port : 0;
        lockdownd_service_descriptor_free(service);
        return port;
    }
};

// An AFC client of the phone library: the media area, or an app container through house_arrest.
struct Afc
{
    idevice_t device = nullptr;
    house_arrest_client_t houseArrest = nullptr;
    afc_client_t client = nullptr;
    QVariantMap vendAnswer;

    explicit Afc(const QString &udid, const QString &bundleId = QString())
    {
        if (idevice_new(&device, udid.toUtf8().constData()) != IDEVICE_E_SUCCESS)
            return;
        if (bundleId.isEmpty()) {
            afc_client_start_service(device, &client, "simiphone-test");
            return;
        }
        if (house_arrest_client_start_service(device, &houseArrest, "simiphone-test") != HOUSE_ARREST_E_SUCCESS)
            return;
        plist_t answer = nullptr;
        house_arrest_send_command(houseArrest, "VendContainer", bundleId.toUtf8().constData());
        house_arrest_get_result(houseArrest, &answer);
        if (answer) {
            vendAnswer = toMap(answer);
            plist_free(answer);
        }
        if (vendAnswer.value(QStringLiteral("Status")) == QLatin1String("Complete"))
            afc_client_new_from_house_arrest_client(houseArrest, &client);
    }
    ~Afc()
    {
        if (client)
            afc_client_free(client);
        if (houseArrest)
            house_arrest_client_free(houseArrest);
        if (device)
            idevice_free(device);
    }
    QStringList list(const char *path, afc_error_t *error = nullptr)
    {
        char **names = nullptr;
        const afc_error_t rc = afc_read_directory(client, path, &names);
        if (error)
            *error = rc;
        QStringList result;
        for (char **name = names; name && *name; ++name)
            result << QString::fromUtf8(*name);
        afc_dictionary_free(names);
        return result;
    }
    QMap<QString, QString> info(const char *path, afc_error_t *error = nullptr)
    {
        char **pairs = nullptr;
        const afc_error_t rc = afc_get_file_info(client, path, &pairs);
        if (error)
            *error = rc;
        QMap<QString, QString> result;
        for (char **pair = pairs; pair && pair[0] && pair[1]; pair += 2)
            result.insert(QString::fromUtf8(pair[0]), QString::fromUtf8(pair[1]));
        afc_dictionary_free(pairs);
        return result;
    }
    afc_error_t write(const char *path, const QByteArray &bytes)
    {
        uint64_t handle = 0;
        afc_error_t rc = afc_file_open(client, path, AFC_FOPEN_WRONLY, &handle);
        if (rc != AFC_E_SUCCESS)
            return rc;
        uint32_t written = 0;
        rc = afc_file_write(client, handle, bytes.constData(), uint32_t(bytes.size()), &written);
        afc_file_close(client, handle);
        return rc;
    }
    QByteArray read(const char *path, afc_error_t *error = nullptr)
    {
        uint64_t handle = 0;
        afc_error_t rc = afc_file_open(client, path, AFC_FOPEN_RDONLY, &handle);
        QByteArray content;
        char buffer[65536];
        uint32_t got = 0;
        while (rc == AFC_E_SUCCESS && (rc = afc_file_read(client, handle, buffer, sizeof buffer, &got)) == AFC_E_SUCCESS
               && got > 0)
            content.append(buffer, got);
        if (handle)
            afc_file_close(client, handle);
        if (error)
            *error = rc;
        return content;
    }
};

// A client of the multiplexer that writes its own bytes.
class RawMux
{
public:
    explicit RawMux(const QString &address)
    {
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        m_socket.connectToHost(address.left(colon), quint16(address.mid(colon + 1).toUInt()));
        m_socket.waitForConnected(5000);
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(5000);
    }
    // Up to count bytes; fewer when the peer closes or nothing comes for timeoutMs.
    QByteArray receive(qint64 count, int timeoutMs = 5000)
    {
        QByteArray bytes;
        while (bytes.size() < count) {
            if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(timeoutMs))
                break;
            bytes += m_socket.read(count - bytes.size());
        }
        return bytes;
    }
    bool closedByPeer()
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        receive(1 << 20, 3000);
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    }
    QVariantMap ask(const QVariantMap &message)
    {
        const QByteArray xml = PlistCodec::toXml(message);
        QByteArray header(16, '\0');
        qToLittleEndian(quint32(16 + xml.size()), header.data());
        qToLittleEndian(quint32(1), header.data() + 4);
        qToLittleEndian(quint32(8), header.data() + 8);
        qToLittleEndian(quint32(7), header.data() + 12);
        send(header + xml);
        const QByteArray replyHeader = receive(16);
        if (replyHeader.size() < 16)
            return {};
        return PlistCodec::parse(receive(qFromLittleEndian<quint32>(replyHeader.constData()) - 16)).toMap();
    }
    // Connect turns this socket into a pipe to the phone's port.
    bool connectTo(quint32 deviceId, quint16 port)
    {
        const QVariantMap answer = ask({{QStringLiteral("MessageType"), QStringLiteral("Connect")},
                                        {QStringLiteral("DeviceID"), deviceId},
                                        {QStringLiteral("PortNumber"), qToBigEndian(port)}});
        return answer.value(QStringLiteral("Number"), 99).toInt() == 0;
    }
    void sendFrame(const QVariantMap &message)
    {
        const QByteArray xml = PlistCodec::toXml(message);
        QByteArray length(4, '\0');
        qToBigEndian(quint32(xml.size()), length.data());
        send(length + xml);
    }

private:
    QTcpSocket m_socket;
};

struct EventLog
{
    QMutex mutex;
    QList<QPair<int, QString>> events;

    static void callback(const idevice_event_t *event, void *context)
    {
        auto *self = static_cast<EventLog *>(context);
        QMutexLocker lock(&self->mutex);
        self->events.append({int(event->event), QString::fromUtf8(event->udid)});
    }
    int count(int kind, const QString &udid)
    {
        QMutexLocker lock(&mutex);
        return int(std::count(events.cbegin(), events.cend(), qMakePair(kind, udid)));
    }
};

}   // namespace

class TestSimulatedIPhone : public QObject
{
    Q_OBJECT

private:
    TestEnv m_env;
    SimulatedPhones m_sim{m_env.path(QStringLiteral("phones"))};
    SimulatedIPhone &m_simulator = m_sim.simulator();   // what is tested here

    SimPhoneFolder phone() const { return m_sim.phone(kUdid); }
    QString runTool(const QString &tool, const QStringList &arguments, int *exitCode = nullptr)
    {
        QProcess process;
        process.start(tool, arguments);
        process.waitForFinished(30000);
        if (exitCode)
            *exitCode = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        PhoneSetup ada(kUdid, PhoneKik::Development);
        ada.deviceName = QStringLiteral("Ada's iPhone");
        const SimPhoneFolder folder = m_sim.add(ada).folder;
        writeFileBytes(folder.containerPath(kKik) + QStringLiteral("/Documents/kik.sqlite"), "SQLite format 3");
        writeFileBytes(folder.mediaPath() + QStringLiteral("/hello.txt"), "hello");
        const QString address = m_sim.start();
        QVERIFY(address.startsWith(QLatin1String("127.0.0.1:")));
        QCOMPARE(qgetenv("USBMUXD_SOCKET_ADDRESS"), address.toUtf8());
    }

    void cleanupTestCase()
    {
        m_sim.stop();
        QVERIFY(qgetenv("USBMUXD_SOCKET_ADDRESS").isEmpty());
    }

    void init() { phone().setFaults({}); }

    // Property lists keep their types both ways; what is no property list is refused.
    void propertyListCodec()
    {
        const QVariantMap value{
            {QStringLiteral("text"), QStringLiteral("Zoë")},
            {QStringLiteral("data"), QByteArray("\0\1\2", 3)},
            {QStringLiteral("yes"), true},
            {QStringLiteral("big"), quint64(59000000000ULL)},
            {QStringLiteral("real"), 2.5},
            {QStringLiteral("when"), QDateTime::fromMSecsSinceEpoch(978307200000LL - 2000, Qt::UTC)},
            {QStringLiteral("later"), QDateTime::fromMSecsSinceEpoch(1700000000000LL, Qt::UTC)},
            {QStringLiteral("list"), QVariantList{QStringLiteral("a"), QVariantMap{{QStringLiteral("n"), 1}}}},
        };
        const QVariantMap back = PlistCodec::parse(PlistCodec::toXml(value)).toMap();
        QCOMPARE(back.value(QStringLiteral("data")).typeId(), int(QMetaType::QByteArray));
        QCOMPARE(back.value(QStringLiteral("data")).toByteArray(), QByteArray("\0\1\2", 3));
        QCOMPARE(back.value(QStringLiteral("text")).toString(), QStringLiteral("Zoë"));
        QCOMPARE(back.value(QStringLiteral("yes")).typeId(), int(QMetaType::Bool));
        QCOMPARE(back.value(QStringLiteral("big")).toULongLong(), 59000000000ULL);
        QCOMPARE(back.value(QStringLiteral("real")).toDouble(), 2.5);
        // XML dates keep whole seconds: the times on either side of the 2001 epoch survive.
        QCOMPARE(back.value(QStringLiteral("when")).toDateTime(), value.value(QStringLiteral("when")).toDateTime());
        QCOMPARE(back.value(QStringLiteral("later")).toDateTime(), value.value(QStringLiteral("later")).toDateTime());
        QCOMPARE(back.value(QStringLiteral("list")).toList().at(1).toMap().value(QStringLiteral("n")).toInt(), 1);

        plist_t node = plist_new_dict();
        plist_dict_set_item(node, "Command", plist_new_string("VendContainer"));
        char *binary = nullptr;
        uint32_t length = 0;
        plist_to_bin(node, &binary, &length);
        QCOMPARE(PlistCodec::parse(QByteArray(binary, length)).toMap().value(QStringLiteral("Command")).toString(),
                 QStringLiteral("VendContainer"));
        free(binary);
        plist_free(node);
        QVERIFY(!PlistCodec::parse("hello").isValid());
        QVERIFY(!PlistCodec::parse(QByteArray("bplist00\xff\xff", 10)).isValid());
    }

    // The multiplexer's own messages, including what no well-behaved client sends.
    void multiplexerMessages()
    {
        RawMux mux(m_simulator.address());
        const QVariantList devices = mux.ask({{QStringLiteral("MessageType"), QStringLiteral("ListDevices")}})
                                         .value(QStringLiteral("DeviceList"))
                                         .toList();
        const auto ours = std::find_if(devices.cbegin(), devices.cend(), [](const QVariant &device) {
            return device.toMap()[QStringLiteral("Properties")].toMap()[QStringLiteral("SerialNumber")] == kUdid;
        });
        QVERIFY(ours != devices.cend());
        const QVariantMap properties = ours->toMap().value(QStringLiteral("Properties")).toMap();
        QCOMPARE(properties.value(QStringLiteral("ConnectionType")).toString(), QStringLiteral("USB"));
        QCOMPARE(properties.value(QStringLiteral("DeviceID")).toUInt(), m_simulator.deviceId(kUdid));
        QCOMPARE(mux.ask({{QStringLiteral("MessageType"), QStringLiteral("ReadBUID")}}).value(QStringLiteral("BUID")).toString(),
                 SimPhoneFolder::systemBuid(m_simulator.phonesDir()));

        const auto result = [&mux](const QVariantMap &message) {
            return mux.ask(message).value(QStringLiteral("Number"), -1).toInt();
        };
        const QString record = QStringLiteral("PairRecordID");
        QCOMPARE(
            result({{QStringLiteral("MessageType"), QStringLiteral("ReadPairRecord")}, {record, QStringLiteral("../phones")}}),
            22);
        QCOMPARE(
            result({{QStringLiteral("MessageType"), QStringLiteral("ReadPairRecord")}, {record, QStringLiteral("ABSENT-1")}}), 2);
        const QByteArray kept = phone().pairRecordData();
        QCOMPARE(result({{QStringLiteral("MessageType"), QStringLiteral("SavePairRecord")},
                         {record, kUdid},
                         {QStringLiteral("PairRecordData"), QByteArray("not a plist")}}),
                 22);
        QCOMPARE(phone().pairRecordData(), kept);
        QCOMPARE(result({{QStringLiteral("MessageType"), QStringLiteral("Bogus")}}), 1);

        // The old binary protocol is told to use property lists.
        QByteArray binary(16, '\0');
        qToLittleEndian(quint32(16), binary.data());
        qToLittleEndian(quint32(3), binary.data() + 8);   // Listen, binary
        qToLittleEndian(quint32(9), binary.data() + 12);
        mux.send(binary);
        const QByteArray answer = mux.receive(20);
        QCOMPARE(answer.size(), 20);
        QCOMPARE(qFromLittleEndian<quint32>(answer.constData() + 8), quint32(1));    // result
        QCOMPARE(qFromLittleEndian<quint32>(answer.constData() + 12), quint32(9));   // tag kept
        QCOMPARE(qFromLittleEndian<quint32>(answer.constData() + 16), quint32(6));   // bad version
    }

    // The phone library's own tools find the phone and read its values through a TLS session.
    void phoneToolsReadThePhone()
    {
        QVERIFY(runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).split('\n').contains(kUdid));

        phone().clearReceived();
        int exitCode = -1;
        const QString info = runTool(QStringLiteral("ideviceinfo"), {QStringLiteral("-u"), kUdid}, &exitCode);
        QCOMPARE(exitCode, 0);
        QVERIFY(info.contains(QLatin1String("DeviceName: Ada's iPhone\n")));
        QVERIFY(info.contains(QLatin1String("ProductType: iPhone10,3\n")));

        const QString disk = runTool(QStringLiteral("ideviceinfo"),
                                     {QStringLiteral("-u"), kUdid, QStringLiteral("-q"), QStringLiteral("com.apple.disk_usage")});
        QVERIFY(disk.contains(QLatin1String("TotalDataCapacity: 59000000000\n")));
        QVERIFY(disk.contains(QLatin1String("AmountDataAvailable: 20000000000\n")));

        // The log shows the session: plain until StartSession, TLS up to StopSession.
        const QList<QJsonObject> lockdown = entries(phone(), {{QStringLiteral("kind"), QStringLiteral("plist")}});
        QStringList sequence;
        for (const QJsonObject &entry : lockdown)
            sequence << entry[QStringLiteral("request")][QStringLiteral("Request")].toString()
                            + (entry[QStringLiteral("tls")].toBool() ? QStringLiteral("/tls") : QString());
        QCOMPARE(sequence.mid(0, 5),
                 QStringList({QStringLiteral("QueryType"), QStringLiteral("GetValue"), QStringLiteral("StartSession"),
                              QStringLiteral("GetValue/tls"), QStringLiteral("StopSession/tls")}));
        const auto diskAsked = std::find_if(lockdown.cbegin(), lockdown.cend(), [](const QJsonObject &entry) {
            return entry[QStringLiteral("request")][QStringLiteral("Domain")] == QStringLiteral("com.apple.disk_usage");
        });
        QVERIFY(diskAsked != lockdown.cend() && (*diskAsked)[QStringLiteral("tls")].toBool());
        QCOMPARE(
            entries(phone(), {{QStringLiteral("message"), QStringLiteral("Connect")}}).first()[QStringLiteral("port")].toInt(),
            62078);

        // After StopSession the same connection goes on in plain text. The library learns the
        // phone's version through a handshake first, or it would offer TLS 1.0 only.
        idevice_t device = nullptr;
        lockdownd_client_t client = nullptr;
        QCOMPARE(idevice_new(&device, kUdid.toUtf8().constData()), IDEVICE_E_SUCCESS);
        QCOMPARE(lockdownd_client_new_with_handshake(device, &client, "simiphone-test"), LOCKDOWN_E_SUCCESS);
        lockdownd_client_free(client);
        QCOMPARE(lockdownd_client_new(device, &client, "simiphone-test"), LOCKDOWN_E_SUCCESS);
        const QByteArray hostId =
            PlistCodec::parse(phone().pairRecordData()).toMap().value(QStringLiteral("HostID")).toString().toUtf8();
        char *sessionId = nullptr;
        int tls = 0;
        QCOMPARE(lockdownd_start_session(client, hostId.constData(), &sessionId, &tls), LOCKDOWN_E_SUCCESS);
        QCOMPARE(tls, 1);
        plist_t value = nullptr;
        QCOMPARE(lockdownd_get_value(client, "com.apple.mobile.backup", "WillEncrypt", &value), LOCKDOWN_E_SUCCESS);
        QCOMPARE(plist_get_node_type(value), PLIST_BOOLEAN);
        plist_free(value);
        QCOMPARE(lockdownd_stop_session(client, sessionId), LOCKDOWN_E_SUCCESS);
        free(sessionId);
        QCOMPARE(lockdownd_get_value(client, nullptr, "NoSuchKey", &value), LOCKDOWN_E_MISSING_VALUE);
        QCOMPARE(lockdownd_get_value(client, nullptr, "ProductVersion", &value), LOCKDOWN_E_SUCCESS);
        plist_free(value);
        lockdownd_client_free(client);
        idevice_free(device);
        const QList<QJsonObject> last = entries(phone(), {{QStringLiteral("kind"), QStringLiteral("plist")}}).mid(-2);
        QCOMPARE(last.first()[QStringLiteral("tls")].toBool(), false);
        QCOMPARE(last.last()[QStringLiteral("request")][QStringLiteral("Key")].toString(), QStringLiteral("ProductVersion"));
    }

    // Phones of iOS 10 and later take TLS 1.2 or newer only; older ones still take TLS 1.0,
    // which is all the library offers a phone whose version it was not told.
    void sessionTlsFollowsThePhonesVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("started");
        QTest::newRow("iOS 17") << "17.5" << false;
        QTest::newRow("iOS 10") << "10.0" << false;
        QTest::newRow("iOS 9") << "9.3.5" << true;
    }

    void sessionTlsFollowsThePhonesVersion()
    {
        QFETCH(QString, version);
        QFETCH(bool, started);
        phone().setLockdownValue(QString(), QStringLiteral("ProductVersion"), version);
        phone().clearReceived();
        idevice_t device = nullptr;
        lockdownd_client_t client = nullptr;
        QCOMPARE(idevice_new(&device, kUdid.toUtf8().constData()), IDEVICE_E_SUCCESS);
        QCOMPARE(lockdownd_client_new(device, &client, "simiphone-test"), LOCKDOWN_E_SUCCESS);
        const QByteArray hostId =
            PlistCodec::parse(phone().pairRecordData()).toMap().value(QStringLiteral("HostID")).toString().toUtf8();
        char *sessionId = nullptr;
        const lockdownd_error_t result = lockdownd_start_session(client, hostId.constData(), &sessionId, nullptr);
        free(sessionId);
        lockdownd_client_free(client);
        idevice_free(device);
        phone().setLockdownValue(QString(), QStringLiteral("ProductVersion"), QStringLiteral("14.8"));

        QCOMPARE(result == LOCKDOWN_E_SUCCESS, started);
        const QList<QJsonObject> tls = entries(phone(), {{QStringLiteral("kind"), QStringLiteral("tls")}});
        QCOMPARE(tls.size(), 1);
        QCOMPARE(tls.first()[QStringLiteral("event")].toString(), started ? QStringLiteral("started") : QStringLiteral("failed"));
    }

    void afcOnTheMediaArea()
    {
        Afc afc(kUdid);
        QVERIFY(afc.client);
        QCOMPARE(afc.list("/"),
                 QStringList({QStringLiteral("."), QStringLiteral(".."), QStringLiteral("DCIM"), QStringLiteral("hello.txt")}));

        QByteArray payload(70000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
        QCOMPARE(afc_make_directory(afc.client, "/Downloads/Nested"), AFC_E_SUCCESS);
        phone().clearReceived();
        QCOMPARE(afc.write("/Downloads/Nested/big.bin", payload), AFC_E_SUCCESS);
        QCOMPARE(readFile(phone().mediaPath() + QStringLiteral("/Downloads/Nested/big.bin")), payload);
        afc_error_t error = AFC_E_UNKNOWN_ERROR;
        QCOMPARE(afc.read("/Downloads/Nested/big.bin", &error), payload);
        QCOMPARE(error, AFC_E_SUCCESS);

        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const QMap<QString, QString> info = afc.info("/Downloads/Nested/big.bin");
        QCOMPARE(info.value(QStringLiteral("st_size")), QStringLiteral("70000"));
        QCOMPARE(info.value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFREG"));
        QVERIFY(qAbs(info.value(QStringLiteral("st_mtime")).toLongLong() / 1000000 - before) < 60000);   // nanoseconds
        QVERIFY(info.contains(QStringLiteral("st_birthtime")) && info.contains(QStringLiteral("st_blocks")));
        QCOMPARE(afc.info("/Downloads").value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFDIR"));
        afc.info("/missing", &error);
        QCOMPARE(error, AFC_E_OBJECT_NOT_FOUND);

        // The packets as they came: open mode 3 with its path, the data, the handle throughout.
        const QJsonObject open = entries(phone(), {{QStringLiteral("name"), QStringLiteral("FileOpen")}}).first();
        QCOMPARE(open[QStringLiteral("path")].toString(), QStringLiteral("/Downloads/Nested/big.bin"));
        QCOMPARE(open[QStringLiteral("mode")].toInt(), 3);
        const QList<QJsonObject> writes = entries(phone(), {{QStringLiteral("name"), QStringLiteral("FileWrite")}});
        int written = 0;
        for (const QJsonObject &write : writes) {
            written += write[QStringLiteral("dataLength")].toInt();
            QCOMPARE(write[QStringLiteral("handle")], open[QStringLiteral("handle")]);
            QCOMPARE(write[QStringLiteral("rawLength")].toInt(), write[QStringLiteral("entireLength")].toInt());
            QVERIFY(write[QStringLiteral("raw")].toString().startsWith(QLatin1String("434641364c504141")));   // CFA6LPAA
        }
        QCOMPARE(written, 70000);

        // Seek, tell, truncate, times, rename and removal act on the folder.
        uint64_t handle = 0, position = 0;
        QCOMPARE(afc_file_open(afc.client, "/hello.txt", AFC_FOPEN_RW, &handle), AFC_E_SUCCESS);
        QCOMPARE(afc_file_seek(afc.client, handle, 2, SEEK_SET), AFC_E_SUCCESS);
        QCOMPARE(afc_file_tell(afc.client, handle, &position), AFC_E_SUCCESS);
        QCOMPARE(position, uint64_t(2));
        QCOMPARE(afc_file_truncate(afc.client, handle, 4), AFC_E_SUCCESS);
        QCOMPARE(afc_file_close(afc.client, handle), AFC_E_SUCCESS);
        QCOMPARE(readFile(phone().mediaPath() + QStringLiteral("/hello.txt")), QByteArray("hell"));
        QCOMPARE(afc_set_file_time(afc.client, "/hello.txt", 1500000000123456789ULL), AFC_E_SUCCESS);
        QCOMPARE(afc.info("/hello.txt").value(QStringLiteral("st_mtime")), QStringLiteral("1500000000123456789"));
        QCOMPARE(afc_rename_path(afc.client, "/hello.txt", "/Downloads/hello.txt"), AFC_E_SUCCESS);
        QVERIFY(QFile::exists(phone().mediaPath() + QStringLiteral("/Downloads/hello.txt")));
        QCOMPARE(afc_remove_path(afc.client, "/Downloads"), AFC_E_DIR_NOT_EMPTY);
        QCOMPARE(afc_remove_path_and_contents(afc.client, "/Downloads"), AFC_E_SUCCESS);
        QVERIFY(!QFile::exists(phone().mediaPath() + QStringLiteral("/Downloads")));
        QCOMPARE(afc_file_close(afc.client, 4242), AFC_E_INVALID_ARG);

        char **device = nullptr;
        QCOMPARE(afc_get_device_info(afc.client, &device), AFC_E_SUCCESS);
        QStringList deviceInfo;
        for (char **item = device; item && *item; ++item)
            deviceInfo << QString::fromUtf8(*item);
        afc_dictionary_free(device);
        QCOMPARE(deviceInfo.mid(0, 4), QStringList({QStringLiteral("Model"), QStringLiteral("iPhone10,3"),
                                                    QStringLiteral("FSTotalBytes"), QStringLiteral("59000000000")}));
    }

    void afcStaysInsideItsFolder()
    {
        const QString outside = m_env.path(QStringLiteral("outside"));
        QDir().mkpath(outside);
        const QString media = phone().mediaPath();
        QVERIFY(QFile::link(outside, media + QStringLiteral("/out")));
        QVERIFY(QFile::link(media + QStringLiteral("/DCIM"), media + QStringLiteral("/photos")));
        QVERIFY(QFile::link(outside + QStringLiteral("/nothing-yet"), media + QStringLiteral("/dangling")));

        const AfcRoot root(media);
        QString host;
        QCOMPARE(root.resolve("../x", AfcRoot::FollowLast, &host), quint64(AfcPermissionDenied));
        QCOMPARE(root.resolve("/DCIM/../../x", AfcRoot::FollowLast, &host), quint64(AfcPermissionDenied));
        QCOMPARE(root.resolve("out/file", AfcRoot::FollowLast, &host), quint64(AfcPermissionDenied));
        QCOMPARE(root.resolve("dangling", AfcRoot::FollowLast, &host), quint64(AfcPermissionDenied));
        QCOMPARE(root.resolve("dangling", AfcRoot::KeepLast, &host), quint64(AfcSuccess));
        QCOMPARE(root.resolve("//./photos/new/a.jpg", AfcRoot::FollowLast, &host), quint64(AfcSuccess));
        QCOMPARE(host, QFileInfo(media).canonicalFilePath() + QStringLiteral("/DCIM/new/a.jpg"));
        QCOMPARE(root.resolve("/", AfcRoot::FollowLast, &host), quint64(AfcSuccess));
        QCOMPARE(host, QFileInfo(media).canonicalFilePath());

        Afc afc(kUdid);
        QVERIFY(afc.client);
        QCOMPARE(afc.write("../escape.txt", "x"), AFC_E_PERM_DENIED);
        QCOMPARE(afc.write("/out/escape.txt", "x"), AFC_E_PERM_DENIED);
        QCOMPARE(afc.write("/dangling", "x"), AFC_E_PERM_DENIED);
        QCOMPARE(afc_make_directory(afc.client, "/DCIM/../../made"), AFC_E_PERM_DENIED);
        QCOMPARE(afc_rename_path(afc.client, "/DCIM", "/out/DCIM"), AFC_E_PERM_DENIED);
        afc_error_t error = AFC_E_SUCCESS;
        afc.list("/out", &error);
        QCOMPARE(error, AFC_E_PERM_DENIED);
        QCOMPARE(afc_remove_path(afc.client, "/"), AFC_E_PERM_DENIED);
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(QFileInfo::exists(m_env.path(QStringLiteral("phones"))));
        QVERIFY(!QFileInfo::exists(m_env.path(QStringLiteral("phones/") + kUdid + QStringLiteral("/escape.txt"))));

        // Links that stay inside work, and removing one leaves its target alone.
        QCOMPARE(afc.write("/photos/inside.jpg", "jpg"), AFC_E_SUCCESS);
        QVERIFY(QFile::exists(media + QStringLiteral("/DCIM/inside.jpg")));
        QCOMPARE(afc.info("/out").value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFLNK"));
        QCOMPARE(afc_remove_path(afc.client, "/out"), AFC_E_SUCCESS);
        QVERIFY(QFileInfo(outside).isDir());
        QFile::remove(media + QStringLiteral("/photos"));
        QFile::remove(media + QStringLiteral("/dangling"));
    }

    void houseArrestVendsContainers()
    {
        phone().clearReceived();
        {
            Afc kik(kUdid, kKik);
            QCOMPARE(kik.vendAnswer, QVariantMap({{QStringLiteral("Status"), QStringLiteral("Complete")}}));
            QVERIFY(kik.client);
            QVERIFY(kik.list("/Documents").contains(QStringLiteral("kik.sqlite")));
            QCOMPARE(kik.read("/Documents/kik.sqlite"), QByteArray("SQLite format 3"));
            QCOMPARE(kik.write("/Documents/kik.sqlite-wal", "wal"), AFC_E_SUCCESS);
            QCOMPARE(readFile(phone().containerPath(kKik) + QStringLiteral("/Documents/kik.sqlite-wal")), QByteArray("wal"));
        }
        const QJsonObject vend = entries(phone(), {{QStringLiteral("service"), QStringLiteral("com.apple.mobile.house_arrest")},
                                                   {QStringLiteral("kind"), QStringLiteral("plist")}})
                                     .first()[QStringLiteral("request")]
                                     .toObject();
        QCOMPARE(vend[QStringLiteral("Command")].toString(), QStringLiteral("VendContainer"));
        QCOMPARE(vend[QStringLiteral("Identifier")].toString(), kKik);
        QVERIFY(!entries(phone(), {{QStringLiteral("service"), QStringLiteral("com.apple.mobile.house_arrest")},
                                   {QStringLiteral("name"), QStringLiteral("ReadDirectory")}})
                     .isEmpty());

        Afc missing(kUdid, QStringLiteral("com.example.absent"));
        QCOMPARE(missing.vendAnswer, QVariantMap({{QStringLiteral("Error"), QStringLiteral("ApplicationLookupFailed")}}));
        QVERIFY(!missing.client);
        Afc hostile(kUdid, QStringLiteral("../") + kUdid);
        QCOMPARE(hostile.vendAnswer.value(QStringLiteral("Error")).toString(), QStringLiteral("ApplicationLookupFailed"));

        // From 8.3 on an App Store app's container is refused; before, any app's is vended.
        phone().installApp(QStringLiteral("com.example.store"));
        QCOMPARE(Afc(kUdid, QStringLiteral("com.example.store")).vendAnswer,
                 QVariantMap({{QStringLiteral("Error"), QStringLiteral("InstallationLookupFailed")}}));
        phone().setLockdownValue(QString(), QStringLiteral("ProductVersion"), QStringLiteral("8.2"));
        QVERIFY(Afc(kUdid, QStringLiteral("com.example.store")).client);
        phone().setLockdownValue(QString(), QStringLiteral("ProductVersion"), QStringLiteral("17.5"));

        phone().setFault(QStringLiteral("ContainerRefused"), true);
        Afc refused(kUdid, kKik);
        QCOMPARE(refused.vendAnswer, QVariantMap({{QStringLiteral("Error"), QStringLiteral("InstallationLookupFailed")}}));
    }

    void pairingAndLockdownErrors()
    {
        // No pair record yet: the library pairs, keeps the record, and opens a session with it.
        SimPhoneOptions unpaired;
        unpaired.paired = false;
        const QString fresh = QStringLiteral("00008030-0000000000000A01");
        const SimPhoneFolder freshPhone = m_simulator.createPhone(fresh, unpaired);
        QVERIFY(freshPhone.pairRecordData().isEmpty());
        {
            Lockdown session(fresh);
            QCOMPARE(session.error, LOCKDOWN_E_SUCCESS);
        }
        const QVariantMap saved = PlistCodec::parse(freshPhone.pairRecordData()).toMap();
        QVERIFY(!saved.value(QStringLiteral("HostID")).toString().isEmpty());
        QCOMPARE(freshPhone.pairing().value(QStringLiteral("HostID")), saved.value(QStringLiteral("HostID")));
        QVERIFY(!entries(freshPhone, {{QStringLiteral("message"), QStringLiteral("SavePairRecord")}}).isEmpty());
        QCOMPARE(entries(freshPhone,
                         {{QStringLiteral("kind"), QStringLiteral("tls")}, {QStringLiteral("event"), QStringLiteral("started")}})
                     .size(),
                 1);

        // Before iOS 7 the library validates the pairing first.
        freshPhone.setLockdownValue(QString(), QStringLiteral("ProductVersion"), QStringLiteral("6.1.3"));
        QCOMPARE(Lockdown(fresh).error, LOCKDOWN_E_SUCCESS);
        const QList<QJsonObject> validations = entries(freshPhone, {{QStringLiteral("kind"), QStringLiteral("plist")}});
        const auto validated = std::find_if(validations.cbegin(), validations.cend(), [&saved](const QJsonObject &entry) {
            const QJsonObject request = entry[QStringLiteral("request")].toObject();
            return request[QStringLiteral("Request")] == QStringLiteral("ValidatePair")
                   && request[QStringLiteral("PairRecord")][QStringLiteral("HostID")]
                          == saved.value(QStringLiteral("HostID")).toString();
        });
        QVERIFY(validated != validations.cend());

        // The trust prompt declined.
        const QString shy = QStringLiteral("00008030-0000000000000A02");
        const SimPhoneFolder shyPhone = m_simulator.createPhone(shy, unpaired);
        shyPhone.setFault(QStringLiteral("PairingRefused"), true);
        {
            Lockdown session(shy);
            QCOMPARE(session.error, LOCKDOWN_E_USER_DENIED_PAIRING);
        }
        QVERIFY(shyPhone.pairRecordData().isEmpty());
        QVERIFY(shyPhone.pairing().isEmpty());

        // A phone that forgot this computer, and errors answered on request.
        phone().setFault(QStringLiteral("NotPaired"), true);
        QCOMPARE(Lockdown(kUdid).error, LOCKDOWN_E_INVALID_HOST_ID);
        phone().setFaults({{QStringLiteral("LockdownErrors"),
                            QVariantMap{{QStringLiteral("StartService:com.apple.afc"), QStringLiteral("InvalidService")},
                                        {QStringLiteral("GetValue:com.apple.mobile.backup"), QStringLiteral("GetProhibited")}}}});
        Lockdown session(kUdid);
        QCOMPARE(session.error, LOCKDOWN_E_SUCCESS);
        lockdownd_error_t result = LOCKDOWN_E_SUCCESS;
        QCOMPARE(session.startService("com.apple.afc", &result), quint16(0));
        QCOMPARE(result, LOCKDOWN_E_INVALID_SERVICE);
        QVERIFY(session.startService("com.apple.mobile.house_arrest") != 0);
        plist_t value = nullptr;
        QCOMPARE(lockdownd_get_value(session.client, "com.apple.mobile.backup", nullptr, &value), LOCKDOWN_E_GET_PROHIBITED);
        QCOMPARE(lockdownd_get_value(session.client, nullptr, "DeviceName", &value), LOCKDOWN_E_SUCCESS);
        plist_free(value);
    }

    // A service added later plugs into StartService and is handed its connection.
    void servicesPlugIn()
    {
        m_simulator.addService(QStringLiteral("com.example.echo"), [](ServiceContext &context) {
            PlistChannel channel(context);
            while (const std::optional<QVariantMap> message = channel.receive())
                if (!channel.send(*message, QStringLiteral("Echo")))
                    return;
        });
        Lockdown session(kUdid);
        const quint16 port = session.startService("com.example.echo");
        QVERIFY(port != 0);
        RawMux mux(m_simulator.address());
        QVERIFY(mux.connectTo(m_simulator.deviceId(kUdid), port));
        const QVariantMap ping{{QStringLiteral("Ping"), QStringLiteral("pong")}};
        mux.sendFrame(ping);
        const quint32 length = qFromBigEndian<quint32>(mux.receive(4).constData());
        QCOMPARE(PlistCodec::parse(mux.receive(length)).toMap(), ping);
        QCOMPARE(entries(phone(), {{QStringLiteral("service"), QStringLiteral("com.example.echo")}})
                     .last()[QStringLiteral("request")][QStringLiteral("Ping")]
                     .toString(),
                 QStringLiteral("pong"));
    }

    void hotPlug()
    {
        EventLog log;
        QCOMPARE(idevice_event_subscribe(&EventLog::callback, &log), IDEVICE_E_SUCCESS);
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_ADD, kUdid), 1);

        const QString second = QStringLiteral("00008030-0000000000000B01");
        m_simulator.createPhone(second);
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_ADD, second), 1);
        m_simulator.unplug(second);
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_REMOVE, second), 1);
        QVERIFY(runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).split('\n').contains(kUdid));
        QVERIFY(!runTool(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).contains(second));
        m_simulator.plugIn(second);
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_ADD, second), 2);

        // The folder watcher sees phones put in and taken away by hand.
        const auto putInByHand = [&](const QString &udid) {
            SimPhoneFolder::create(m_env.path(QStringLiteral("staging")), udid);
            return QDir().rename(m_env.path(QStringLiteral("staging/")) + udid,
                                 m_simulator.phonesDir() + QLatin1Char('/') + udid);
        };
        const QString third = QStringLiteral("00008030-0000000000000B02");
        QVERIFY(putInByHand(third));
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_ADD, third), 1);
        QVERIFY(QDir(m_simulator.phone(second).path()).removeRecursively());
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_REMOVE, second), 2);
        // Events come in order: once a later phone comes and goes, no double can still be on its way.
        const QString marker = QStringLiteral("00008030-0000000000000B03");
        QVERIFY(putInByHand(marker));
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_ADD, marker), 1);
        QVERIFY(QDir(m_simulator.phone(marker).path()).removeRecursively());
        QTRY_COMPARE(log.count(IDEVICE_DEVICE_REMOVE, marker), 1);
        QCOMPARE(log.count(IDEVICE_DEVICE_ADD, second), 2);
        QCOMPARE(log.count(IDEVICE_DEVICE_ADD, kUdid), 1);
        QCOMPARE(log.count(IDEVICE_DEVICE_REMOVE, kUdid), 0);
        QCOMPARE(idevice_event_unsubscribe(), IDEVICE_E_SUCCESS);

        // Unplugging ends the phone's open connections.
        Afc afc(third);
        QVERIFY(afc.client);
        m_simulator.unplug(third);
        afc_error_t error = AFC_E_SUCCESS;
        afc.list("/", &error);
        QVERIFY(error != AFC_E_SUCCESS);
    }

    // Answers spoiled on request reach the peer byte for byte.
    void spoiledAnswers()
    {
        const quint32 deviceId = m_simulator.deviceId(kUdid);
        auto lockdownRule = [](const char *fault, const QVariantMap &more = {}) {
            QVariantMap rule{{QStringLiteral("Service"), QStringLiteral("com.apple.mobile.lockdown")},
                             {QStringLiteral("Request"), QStringLiteral("GetValue")},
                             {QStringLiteral("Key"), QStringLiteral("DeviceName")},
                             {QStringLiteral("Fault"), QLatin1String(fault)}};
            rule.insert(more);
            return QVariantMap{{QStringLiteral("AnswerFaults"), QVariantList{rule}}};
        };
        const QVariantMap askName{{QStringLiteral("Request"), QStringLiteral("GetValue")},
                                  {QStringLiteral("Key"), QStringLiteral("DeviceName")}};

        phone().setFaults(lockdownRule("CloseAfter", {{QStringLiteral("Bytes"), 2}}));
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.sendFrame(askName);
            QCOMPARE(mux.receive(100).size(), 2);
            QVERIFY(mux.closedByPeer());
        }
        phone().setFaults(lockdownRule("HugeLength"));
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.sendFrame(askName);
            QCOMPARE(qFromBigEndian<quint32>(mux.receive(4).constData()), quint32(3u << 30));
            QVERIFY(mux.closedByPeer());
        }
        phone().setFaults(lockdownRule("ZeroLength", {{QStringLiteral("Count"), 1}}));
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.sendFrame(askName);
            QCOMPARE(mux.receive(4), QByteArray(4, '\0'));
            mux.sendFrame(askName);   // Count 1: the next answer is whole again
            const quint32 length = qFromBigEndian<quint32>(mux.receive(4).constData());
            QCOMPARE(PlistCodec::parse(mux.receive(length)).toMap().value(QStringLiteral("Value")).toString(),
                     QStringLiteral("Ada's iPhone"));
        }
        phone().setFaults(lockdownRule("MalformedPlist"));
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.sendFrame(askName);
            const quint32 length = qFromBigEndian<quint32>(mux.receive(4).constData());
            const QByteArray body = mux.receive(length);
            QCOMPARE(quint32(body.size()), length);
            QVERIFY(!PlistCodec::parse(body).isValid());
        }
        phone().setFaults(lockdownRule("Truncated", {{QStringLiteral("Skip"), 1}}));
        {
            // Through the phone library: the first answer passes, the second is cut and fails.
            Lockdown session(kUdid);
            plist_t value = nullptr;
            QCOMPARE(lockdownd_get_value(session.client, nullptr, "DeviceName", &value), LOCKDOWN_E_SUCCESS);
            plist_free(value);
            value = nullptr;
            QVERIFY(lockdownd_get_value(session.client, nullptr, "DeviceName", &value) != LOCKDOWN_E_SUCCESS);
            QVERIFY(!value);
        }
        QCOMPARE(entries(phone(), {{QStringLiteral("kind"), QStringLiteral("fault")},
                                   {QStringLiteral("fault"), QStringLiteral("Truncated")}})
                     .size(),
                 1);

        // AFC answers: an operation the client never asked for, and an absurd length.
        const auto afcRule = [](const char *fault) {
            return QVariantMap{{QStringLiteral("AnswerFaults"),
                                QVariantList{QVariantMap{{QStringLiteral("Service"), QStringLiteral("com.apple.afc")},
                                                         {QStringLiteral("Request"), int(AfcReadDirectory)},
                                                         {QStringLiteral("Fault"), QLatin1String(fault)}}}}};
        };
        phone().setFaults(afcRule("UnknownOperation"));
        {
            Afc afc(kUdid);
            afc_error_t error = AFC_E_SUCCESS;
            afc.list("/", &error);
            QVERIFY(error != AFC_E_SUCCESS);
        }
        phone().setFaults(afcRule("Status"));
        {
            // Not carried out: the answer is the status alone.
            Afc afc(kUdid);
            afc_error_t error = AFC_E_SUCCESS;
            afc.list("/", &error);
            QCOMPARE(error, AFC_E_IO_ERROR);
        }
        phone().setFaults({{QStringLiteral("AnswerFaults"),
                            QVariantList{QVariantMap{{QStringLiteral("Service"), QStringLiteral("com.apple.afc")},
                                                     {QStringLiteral("Request"), int(AfcFileWrite)},
                                                     {QStringLiteral("Fault"), QStringLiteral("Status")},
                                                     {QStringLiteral("Code"), int(AfcNoSpaceLeft)}}}}});
        {
            Afc afc(kUdid);
            QCOMPARE(afc.write("/full.bin", "never stored"), AFC_E_NO_SPACE_LEFT);
            QCOMPARE(QFileInfo(phone().mediaPath() + QStringLiteral("/full.bin")).size(), 0);
        }
        phone().setFaults(afcRule("HugeLength"));
        {
            Lockdown session(kUdid);
            const quint16 port = session.startService("com.apple.afc");
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, port));
            mux.send(AfcPacket::encode(AfcReadDirectory, 5, QByteArray("/\0", 2)));
            const QByteArray header = mux.receive(40);
            QVERIFY(header.startsWith("CFA6LPAA"));
            QCOMPARE(qFromLittleEndian<quint64>(header.constData() + 8), quint64(3ULL << 30));
            QCOMPARE(qFromLittleEndian<quint64>(header.constData() + 24), quint64(5));   // packet number echoed
            QVERIFY(mux.closedByPeer());
        }
    }

    // Whatever a peer sends, the simulator ends that connection and goes on serving.
    void hostilePeers()
    {
        const quint32 deviceId = m_simulator.deviceId(kUdid);
        phone().clearReceived();
        {
            RawMux mux(m_simulator.address());
            QByteArray header(16, '\0');
            qToLittleEndian(quint32(0xFFFFFFFF), header.data());
            mux.send(header);
            QVERIFY(mux.closedByPeer());
        }
        {
            RawMux mux(m_simulator.address());
            QVERIFY(!mux.connectTo(deviceId, 1234));   // nothing listens there
        }
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.send(QByteArray::fromHex("7fffffff"));
            QVERIFY(mux.closedByPeer());
        }
        {
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, 62078));
            mux.send(QByteArray::fromHex("00000005") + "hello");
            QVERIFY(mux.closedByPeer());
        }
        {
            Lockdown session(kUdid);
            const quint16 port = session.startService("com.apple.afc");
            RawMux mux(m_simulator.address());
            QVERIFY(mux.connectTo(deviceId, port));
            QByteArray packet = AfcPacket::encode(AfcReadDirectory, 1, QByteArray("/\0", 2));
            qToLittleEndian(quint64(1ULL << 40), packet.data() + 8);
            mux.send(packet);
            QVERIFY(mux.closedByPeer());
            RawMux again(m_simulator.address());
            QVERIFY(!again.connectTo(deviceId, port));   // a service port takes one connection
        }
        QStringList reasons;
        for (const QJsonObject &entry : entries(phone(), {{QStringLiteral("kind"), QStringLiteral("rejected")}}))
            reasons << entry[QStringLiteral("reason")].toString();
        QCOMPARE(reasons, QStringList({QStringLiteral("frame too long"), QStringLiteral("not a property-list dictionary"),
                                       QStringLiteral("bad length")}));
        QCOMPARE(Lockdown(kUdid).error, LOCKDOWN_E_SUCCESS);
    }

    // The program on its own, as a demo or another process would run it.
    void standaloneProgram()
    {
        QProcess simulator;
        simulator.start(TestEnv::binaryDir() + QStringLiteral("/bin/simiphone"),
                        {QStringLiteral("--phones"), m_env.path(QStringLiteral("standalone")), QStringLiteral("--listen"),
                         QStringLiteral("UNIX:") + m_env.path(QStringLiteral("mux.sock")), QStringLiteral("--create-phone"),
                         QStringLiteral("SOLO-1"), QStringLiteral("--app"), kKik, QStringLiteral("--passcode-typed-after"),
                         QStringLiteral("-1"), QStringLiteral("--stall-after-files"), QStringLiteral("3"),
                         QStringLiteral("--hostile-name"), QStringLiteral("remove:parent")});
        QVERIFY(simulator.waitForReadyRead(30000));
        const QString listening = QString::fromUtf8(simulator.readLine()).trimmed();
        QCOMPARE(listening, QStringLiteral("LISTENING UNIX:") + m_env.path(QStringLiteral("mux.sock")));

        QProcess idList;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("USBMUXD_SOCKET_ADDRESS"), listening.mid(10));
        idList.setProcessEnvironment(environment);
        idList.start(QStringLiteral("idevice_id"), {QStringLiteral("-l")});
        QVERIFY(idList.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(idList.readAllStandardOutput()).trimmed(), QStringLiteral("SOLO-1"));
        QVERIFY(QFileInfo(m_env.path(QStringLiteral("standalone/SOLO-1/apps/")) + kKik + QStringLiteral("/Documents")).isDir());
        const SimPhoneFolder solo(m_env.path(QStringLiteral("standalone/SOLO-1")));
        QCOMPARE(solo.faults(),
                 (QVariantMap{{"PasscodeTypedAfter", -1.0}, {"StallAfterFiles", 3}, {"HostileName", "remove:parent"}}));
        simulator.write("passcode SOLO-1\n");
        QVERIFY(simulator.waitForReadyRead(10000));
        QCOMPARE(simulator.readLine().trimmed(), QByteArray("OK passcode SOLO-1"));
        QVERIFY(solo.takeTypedPasscode());

        simulator.write("unplug SOLO-1\n");
        QVERIFY(simulator.waitForReadyRead(10000));
        QCOMPARE(simulator.readLine().trimmed(), QByteArray("OK unplugged SOLO-1"));
        simulator.write("quit\n");
        QVERIFY(simulator.waitForFinished(10000));
        QCOMPARE(simulator.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(m_env.path(QStringLiteral("mux.sock"))));
    }
};

QTEST_GUILESS_MAIN(TestSimulatedIPhone)
#include "TestSimulatedIPhone.moc"

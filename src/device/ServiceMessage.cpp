#include "device/ServiceMessage.h"

#include "app/AppError.h"

#include <QDebug>
#include <QtEndian>

namespace {

constexpr int kQuotedCharacters = 800;

QString quoted(const QByteArray &xml)
{
    return QString::fromUtf8(xml).left(kQuotedCharacters);
}

[[noreturn]] void fail(const QString &text)
{
    qDebug().noquote() << text;
    failWith(text);
}

[[noreturn]] void failReceiving(const char *what, qint64 received, const CFType &request)
{
    QString text = QStringLiteral("mobiledevice_recmsg(%1) error, received length: %2.").arg(QLatin1String(what)).arg(received);
    if (!request.isNull())
        text += QLatin1Char('\n') + quoted(request.toPlistData(CFType::XmlFormat));
    fail(text);
}

}   // namespace

void mobiledevice_sendmsg(int socket, const CFType &message, int timeoutMs)
{
    const QByteArray xml = message.toPlistData(CFType::XmlFormat);
    if (xml.isEmpty())
        return;
    char length[4];
    qToBigEndian(quint32(xml.size()), length);
    if (ServiceSocket::send(socket, length, 4, timeoutMs) < 4)
        fail(QStringLiteral("mobiledevice_sendmsg(msg-length) error.\n%1").arg(quoted(xml)));
    if (ServiceSocket::send(socket, xml.constData(), xml.size(), timeoutMs) < xml.size())
        fail(QStringLiteral("mobiledevice_sendmsg(msg) error.\n%1").arg(quoted(xml)));
}

CFType mobiledevice_recmsg(int socket, const CFType &request, int timeoutMs)
{
    char lengthBytes[4];
    const qint64 got = ServiceSocket::receive(socket, lengthBytes, 4, ServiceSocket::DefaultTimeoutMs);
    if (got < 4)
        failReceiving("msg-length", got, request);
    const quint32 length = qFromBigEndian<quint32>(lengthBytes);
    if (length == 0)
        return {};
    // A length no message comes near is not believed: nothing is allocated or read for it.
    if (length > MaxServiceMessageLength)
        failReceiving("msg", 0, request);
    QByteArray body;
    const qint64 received = ServiceSocket::receiveAppend(socket, &body, length, timeoutMs);
    if (received < length)
        failReceiving("msg", received, request);
    const CFType message = CFType::fromPlistData(body);
    if (message.isNull())
        qDebug() << "mobiledevice_recmsg: the answer is no property list," << length << "bytes";
    return message;
}

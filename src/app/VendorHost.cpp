#include "app/VendorHost.h"

#include "app/VendorHostConfig.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

QString vendorHost()
{
    // Set but empty also counts: it takes away a host the build configured.
    if (qEnvironmentVariableIsSet("PARLEWICK_VENDOR_HOST"))
        return qEnvironmentVariable("PARLEWICK_VENDOR_HOST").trimmed();
    return QString::fromLatin1(BuildVendorHost).trimmed();
}

bool vendorHostConfigured()
{
    return !vendorHost().isEmpty();
}

QString vendorUrl(const QString &path)
{
    // No host, no address: a link made from it leads nowhere instead of to a guessed server.
    const QString host = vendorHost();
    return host.isEmpty() ? QString() : QStringLiteral("http://") + host + path;
}

QString vendorSupportAddress()
{
    QString domain = vendorHost().section(QLatin1Char(':'), 0, 0).toLower();
    if (domain.startsWith(QLatin1String("www.")))
        domain.remove(0, 4);
    static const QRegularExpression named(QStringLiteral("[a-z]"));
    return domain.contains(named) ? QStringLiteral("support@") + domain : QString();
}

QString findMyIPhoneHelpUrl()
{
    return vendorUrl(QStringLiteral("/guides/how-to-disable-find-my-iphone.html"));
}

QNetworkRequest vendorRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    // Only a direct 200 answer counts; a redirect could lead anywhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(VendorTimeoutMsecs);
    return request;
}

void limitVendorAnswer(QNetworkReply *reply)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > VendorAnswerLimit || total > VendorAnswerLimit) {
            qDebug() << "vendor answer too long, dropped:" << reply->url().toString() << received << total;
            reply->abort();
        }
    });
}

QNetworkReply *getFromVendor(QNetworkAccessManager *client, const QUrl &url)
{
    QNetworkReply *reply = client->get(vendorRequest(url));
    limitVendorAnswer(reply);
    return reply;
}

std::optional<QByteArray> vendorAnswer(QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // error() also covers an answer cut short by the server or by limitVendorAnswer.
    if (!reply->isFinished() || reply->error() != QNetworkReply::NoError || status != 200) {
        qDebug() << "vendor request without answer:" << reply->url().toString() << status << reply->errorString();
        return std::nullopt;
    }
    const QByteArray body = reply->readAll();
    if (body.size() > VendorAnswerLimit)
        return std::nullopt;
    return body;
}

QByteArray vendorText(const QByteArray &body)
{
    const qsizetype zero = body.indexOf('\0');
    return zero < 0 ? body : body.left(zero);
}

std::optional<QUrl> versionAnswerAddress(const QByteArray &body)
{
    const QString answer = QString::fromLatin1(vendorText(body)).trimmed();
    if (!answer.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return std::nullopt;
    static const QRegularExpression unsafe(QStringLiteral("[\\x00-\\x20\\x7f-\\xff]"));
    const QUrl url(answer, QUrl::StrictMode);
    if (answer.contains(unsafe) || !url.isValid() || url.host().isEmpty()) {
        qDebug() << "version answer is no address:" << answer.left(200);
        return std::nullopt;
    }
    return url;
}

QString advertisementMarkup(const QByteArray &body)
{
    static const QRegularExpression leadingTag(QStringLiteral("^<a"), QRegularExpression::CaseInsensitiveOption);
    QString text = QString::fromUtf8(vendorText(body));
    if (!text.startsWith(QLatin1String("<a"), Qt::CaseInsensitive))
        return QString();
    text.replace(leadingTag, QStringLiteral("<a style=\"color:%1;text-decoration:none;\"").arg(QLatin1String("#FF8B00")));
    return text;
}

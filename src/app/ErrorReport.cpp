#include "app/ErrorReport.h"

#include "app/AppConstants.h"
#include "app/ErrorReportHook.h"
#include "app/PathScrub.h"
#include "app/VendorHost.h"

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

namespace {

// Line breaks of the rich text become CRLF; the two entities the boxes escape come back.
QString plainReportText(QString text)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"), QRegularExpression::CaseInsensitiveOption);
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    return text;
}

// One client for every report of the process, owned by the application object.
QNetworkAccessManager *reportClient()
{
    static QPointer<QNetworkAccessManager> client;
    if (!client)
        client = new QNetworkAccessManager(QCoreApplication::instance());
    return client;
}

// Fire and forget: the answer is never read, and a failure only reaches the log.
void post(const QByteArray &body)
{
    QNetworkRequest request = vendorRequest(QUrl(vendorUrl(QStringLiteral("/err_report.php"))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = reportClient()->post(request, body);
    limitVendorAnswer(reply);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply] {
        if (reply->error() != QNetworkReply::NoError)
            qDebug() << "error report not delivered:" << reply->errorString();
        reply->deleteLater();
    });
}

}   // namespace

QString encodeReportField(const QString &text)
{
    QString encoded = QString::fromLatin1(text.toUtf8().toBase64());
    encoded.replace(QLatin1Char('/'), QLatin1Char('!'));
    encoded.replace(QLatin1Char('='), QLatin1Char('-'));
    return encoded;
}

QByteArray errorReportBody(const QString &text)
{
    const QString version =
        QStringLiteral("%1(%2)").arg(QLatin1String(AppConstants::ProductVersion)).arg(AppConstants::ProductBuild);
    const QString body = QStringLiteral("prod=") + encodeReportField(QObject::tr(AppConstants::ProductName))
                         + QStringLiteral("&ver=") + encodeReportField(version) + QStringLiteral("&err=")
                         + encodeReportField(scrubPaths(plainReportText(text)));
    return body.toUtf8();
}

void sendErrorReport(const QString &text)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !vendorHostConfigured())
        return;
    const QByteArray body = errorReportBody(text);
    // The client lives on the application's thread; a report from elsewhere is handed over.
    if (QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(
            app, [body] { post(body); }, Qt::QueuedConnection);
    else
        post(body);
}

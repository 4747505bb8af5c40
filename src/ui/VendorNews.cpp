#include "ui/VendorNews.h"

#include "app/VendorHost.h"
#include "widgets/UpdateCheck.h"

#include <QDateTime>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>

VendorNews::VendorNews(QLabel *advertisement, QWidget *window)
    : QObject(window)
    , m_advertisement(advertisement)
    , m_window(window)
    , m_client(new QNetworkAccessManager(this))
{
}

void VendorNews::start()
{
    m_advertisement->setText(lastAdvertisement());
    if (!updateChecksWanted() || !isUpdateCheckDue(QDateTime::currentSecsSinceEpoch()))
        return;
    QNetworkReply *check = getFromVendor(m_client, versionCheckUrl());
    connect(check, &QNetworkReply::finished, this, [this, check] { versionAnswered(check); });
    QNetworkReply *advertisement = getFromVendor(m_client, advertisementUrl());
    connect(advertisement, &QNetworkReply::finished, this, [this, advertisement] { advertisementAnswered(advertisement); });
}

void VendorNews::versionAnswered(QNetworkReply *reply)
{
    if (const std::optional<QByteArray> body = vendorAnswer(reply))
        handleVersionAnswer(*body, m_window);
}

void VendorNews::advertisementAnswered(QNetworkReply *reply)
{
    const std::optional<QByteArray> body = vendorAnswer(reply);
    if (!body)
        return;
    const QString advertisement = takeAdvertisement(*body);
    if (!advertisement.isEmpty())
        m_advertisement->setText(advertisement);
}

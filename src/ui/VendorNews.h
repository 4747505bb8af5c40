#pragma once

#include "ui/Export.h"

#include <QObject>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

// The vendor's daily word, where a vendor host is configured and the user allowed it: the check
// for a new version (whose answer may offer a download over the window) and the advertisement in
// the status bar, which shows the last one at once and the new one once it came.
class PARLEWICK_UI_EXPORT VendorNews : public QObject
{
    Q_OBJECT
public:
    VendorNews(QLabel *advertisement, QWidget *window);
    void start();

private:
    void versionAnswered(QNetworkReply *reply);
    void advertisementAnswered(QNetworkReply *reply);

    QLabel *m_advertisement;
    QWidget *m_window;
    QNetworkAccessManager *m_client;
};

#include "widgets/KikBubblePage.h"

#include <QWebEngineSettings>

KikBubblePage::KikBubblePage(QObject *parent)
    : QWebEnginePage(parent)
{
    // The page is markup only; the program's own scrolling runs in an isolated world.
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
}

bool KikBubblePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool)
{
    if (type != NavigationTypeLinkClicked)
        return true;
    // Handled after the engine's callback has returned: the handler may load another page
    // or open a dialog.
    QMetaObject::invokeMethod(
        this, [this, url] { emit linkClicked(url); }, Qt::QueuedConnection);
    return false;
}

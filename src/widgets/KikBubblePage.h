#pragma once

#include "widgets/Export.h"

#include <QUrl>
#include <QWebEnginePage>

// The bubble view's page: it runs no script of its own and hands every clicked link to the
// program instead of following it.
class PARLEWICK_WIDGETS_EXPORT KikBubblePage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit KikBubblePage(QObject *parent = nullptr);

signals:
    void linkClicked(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
};

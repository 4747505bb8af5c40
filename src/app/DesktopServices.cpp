#include "app/DesktopServices.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <cstdlib>

void openInExplorer(const QString &path)
{
    // The desktop's handler for the path: a file manager for folders, the viewer for pictures.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())))
        qDebug() << "openInExplorer failed:" << path;
}

void shellOpen(const QString &target)
{
    // Local documents are opened by path; anything else (http, mailto) is taken as an address.
    const QUrl url =
        QFileInfo::exists(target) ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()) : QUrl(target, QUrl::TolerantMode);
    if (!QDesktopServices::openUrl(url))
        qDebug() << "shellOpen failed:" << target;
}

void killSelf()
{
    // Used right before an installer replaces the program: no clean-up, no dialogs, no waiting.
    std::_Exit(1);
}

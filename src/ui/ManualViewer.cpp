#include "ui/ManualViewer.h"

#include "app/AppConstants.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The README with its pictures, compiled in beside each other as in the source tree.
const char ManualSource[] = "qrc:/manual/README.md";

}   // namespace

ManualViewer::ManualViewer(QWidget *parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ManualViewer"));
    setWindowTitle(QStringLiteral("%1 Help").arg(QObject::tr(AppConstants::ProductName)));
    resize(860, 700);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("manualText"));
    // Links into the web are the user's own choice, handed to the browser on a click.
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl(QLatin1String(ManualSource)), QTextDocument::MarkdownResource);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
}

ManualViewer *ManualViewer::showFor(QWidget *window)
{
    auto *viewer = window->findChild<ManualViewer *>(QString(), Qt::FindDirectChildrenOnly);
    if (!viewer)
        viewer = new ManualViewer(window);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

#include "ui/ManualViewer.h"

#include "app/AppConstants.h"

#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The user manual, compiled in: Help works offline and asks no server anything.
const char ManualSource[] = "qrc:/manual/manual.md";

}   // namespace

ManualViewer::ManualViewer(QWidget *parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ManualViewer"));
    setWindowTitle(QStringLiteral("%1 Help").arg(QObject::tr(AppConstants::ProductName)));
    resize(760, 680);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("manualText"));
    // Links into the web are the user's own choice, handed to the browser on a click.
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl(QLatin1String(ManualSource)), QTextDocument::MarkdownResource);
    m_browser->document()->setDocumentMargin(16);   // the text wraps at the window's width, off its edge
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

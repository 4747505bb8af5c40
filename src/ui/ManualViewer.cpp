#include "ui/ManualViewer.h"

#include "app/AppConstants.h"

#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The user manual, compiled in: Help works offline and asks no server anything.
const char ManualSource[] = "qrc:/manual/manual.md";

// Markdown gives headings no room above them; a part then reads as part of the one before.
void spaceHeadings(QTextDocument *document)
{
    QTextCursor cursor(document);
    for (QTextBlock block = document->begin().next(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (format.headingLevel() == 0)
            continue;
        format.setTopMargin(std::max(format.topMargin(), 14.0));
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

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
    spaceHeadings(m_browser->document());
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

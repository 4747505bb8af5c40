#include "workers/ExportMessagesHtml.h"

#include "app/AppConstants.h"

#include <QDir>
#include <QObject>

#include <stdexcept>

ExportMessagesHtml::ExportMessagesHtml(const QString &folder, const QString &fileName)
    : m_folder(folder),
      m_filesFolder(QDir(folder).filePath(QStringLiteral("files"))),
      m_file(QDir(folder).filePath(fileName)),
      m_html(KikBubbleHtml::forExport(m_filesFolder))
{
    QDir().mkpath(m_filesFolder);
}

void ExportMessagesHtml::begin()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw std::runtime_error(m_file.errorString().toStdString());
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
    m_stream << KikBubbleHtml::documentStart() << '\n'
             << "<head>" << KikBubbleHtml::contentTypeMeta() << '\n'
             << "<title>" << QObject::tr(AppConstants::ProductName) << "</title>" << '\n'
             << "<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>" << '\n';
    throwIfFailed();
}

void ExportMessagesHtml::write(const _KikMessage *message)
{
    m_stream << KikBubbleHtml::dateLine(message->ts, &m_lastMinute) << m_html.bubble(message);
    throwIfFailed();
}

void ExportMessagesHtml::end()
{
    m_stream << "</body></html>";
    m_stream.flush();
    throwIfFailed();
    m_file.close();
}

void ExportMessagesHtml::throwIfFailed()
{
    // A full disk must not end in a page reported as written.
    if (m_stream.status() != QTextStream::Ok || m_file.error() != QFileDevice::NoError)
        throw std::runtime_error(m_file.errorString().toStdString());
}

#include "workers/ExportMessagesHtml.h"

#include "app/AppConstants.h"
#include "app/AppError.h"
#include "app/FileUtils.h"

#include <QDir>
#include <QObject>

namespace {

// Characters gathered before they are written: few writes, little memory.
constexpr qsizetype PendingLimit = 64 * 1024;

}   // namespace

ExportMessagesHtml::ExportMessagesHtml(const QString &folder, const QString &fileName, const QString &finalFolder)
    : m_folder(folder)
    , m_filesFolder(QDir(folder).filePath(QStringLiteral("files")))
    , m_file(QDir(folder).filePath(fileName))
    , m_html(KikBubbleHtml::forExport(m_filesFolder,
                                      finalFolder.isEmpty() ? QString() : QDir(finalFolder).filePath(QStringLiteral("files"))))
{
    QDir().mkpath(m_filesFolder);
}

void ExportMessagesHtml::begin()
{
    // Unbuffered: the pieces are large already, and a failed write shows at once.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered))
        failWith(fileWriteProblem(m_file));
    m_pending.reserve(PendingLimit + 4096);
    m_pending += KikBubbleHtml::documentStart() + QLatin1Char('\n') + QLatin1String("<head>") + KikBubbleHtml::contentTypeMeta()
                 + QLatin1Char('\n') + QLatin1String("<title>") + QObject::tr(AppConstants::ProductName)
                 + QLatin1String("</title>") + QLatin1Char('\n')
                 + QLatin1String("<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>")
                 + QLatin1Char('\n');
    writePending();
}

void ExportMessagesHtml::write(const KikMessage *message)
{
    m_pending += KikBubbleHtml::dateLine(message->ts, &m_lastMinute);
    m_html.appendBubble(m_pending, message);
    if (m_pending.size() >= PendingLimit)
        writePending();
}

void ExportMessagesHtml::end()
{
    m_pending += QLatin1String("</body></html>");
    writePending();
    m_file.close();
}

void ExportMessagesHtml::writePending()
{
    m_bytes.resize(m_encoder.requiredSpace(m_pending.size()));
    const char *end = m_encoder.appendToBuffer(m_bytes.data(), m_pending);
    const qint64 size = end - m_bytes.constData();
    m_pending.resize(0);   // keeps its capacity for the next piece
    // A full disk must not end in a page reported as written.
    if (m_file.write(m_bytes.constData(), size) != size)
        failWith(fileWriteProblem(m_file));
}

#include "workers/ExportMessagesCsv.h"

#include "kik/KikRules.h"

ExportMessagesCsv::ExportMessagesCsv(const QString &filePath)
    : AbsTextFileExport(filePath)
{
}

void ExportMessagesCsv::writeHeader()
{
    m_stream << "date" << ",send" << ",user" << ",content" << '\n';
}

QString ExportMessagesCsv::quoted(const QString &value)
{
    bool needsQuotes = false;
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\n')) {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return value;
    QString result = value;
    result.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

void ExportMessagesCsv::write(const _KikMessage *message)
{
    m_stream << message->ts.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << ','
             << (message->was_me ? '1' : '0') << ',' << quoted(nameColumn(message)) << ','
             << quoted(messageDisplayText(message)) << '\n';
}

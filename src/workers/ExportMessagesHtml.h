#pragma once

#include "kik/KikMessage.h"
#include "views/KikBubbleHtml.h"
#include "workers/AbsFormatExport.h"

#include <QFile>
#include <QString>
#include <QTextStream>

#include <optional>

// One HTML page of chat bubbles. Content files are copied into the output folder's "files"
// subfolder; the export worker puts the style sheet there and the emoji pictures beside it.
class ExportMessagesHtml : public AbsFormatExport<_KikMessage>
{
public:
    // fileName must be a plain name (the caller sanitises it); the page lies in folder.
    ExportMessagesHtml(const QString &folder, const QString &fileName);

    void begin() override;
    void write(const _KikMessage *message) override;
    void end() override;

private:
    void throwIfFailed();

    QString m_folder;
    QString m_filesFolder;
    QFile m_file;
    QTextStream m_stream;
    std::optional<qint64> m_lastMinute;
    KikBubbleHtml m_html;
};

#pragma once

#include "kik/KikMessage.h"
#include "views/KikBubbleHtml.h"
#include "workers/AbsFormatExport.h"
#include "workers/Export.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringEncoder>

#include <optional>

// One HTML page of chat bubbles. Content files and pictures are copied into the output folder's
// "files" subfolder; the export worker puts the style sheet there and the emoji pictures beside it.
class PARLEWICK_WORKERS_EXPORT ExportMessagesHtml : public AbsFormatExport<KikMessage>
{
public:
    // fileName must be a plain name (the caller sanitises it); the page lies in folder. When the
    // page is to move into finalFolder, its files take names free in finalFolder's "files" too.
    ExportMessagesHtml(const QString &folder, const QString &fileName, const QString &finalFolder = QString());

    void begin() override;
    void write(const KikMessage *message) override;
    void end() override;

private:
    void writePending();

    QString m_folder;
    QString m_filesFolder;
    QFile m_file;
    // Markup gathers here and goes to the file in large UTF-8 pieces; the encoder keeps its
    // state between them, so a piece may end anywhere.
    QString m_pending;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    QByteArray m_bytes;
    std::optional<qint64> m_lastMinute;
    KikBubbleHtml m_html;
};

#pragma once

#include "kik/KikMessage.h"
#include "views/KikPagePainter.h"
#include "workers/AbsFormatExport.h"
#include "workers/Export.h"

#include <QPdfWriter>
#include <QSaveFile>
#include <QString>

// PDF: the messages of one chat drawn on A4 pages exactly as they are printed. The file
// appears under its name only when end() has finished it.
class PARLEWICK_WORKERS_EXPORT ExportMessagesPdf : public AbsFormatExport<KikMessage>
{
public:
    explicit ExportMessagesPdf(const QString &filePath, EmojiStyle emoji = EmojiStyle::Placeholder);

    void begin() override;   // opens the file (raises its error text) and starts the first page
    void write(const KikMessage *message) override;
    void end() override;   // finishes the document (raises the file's error text)

private:
    QSaveFile m_file;
    QPdfWriter m_printer;
    KikPagePainter m_pages;
};

#pragma once

#include "kik/KikMessage.h"
#include "kik/KikRules.h"
#include "workers/AbsFormatExport.h"
#include "workers/Export.h"
#include "workers/ExportMessagesCsv.h"
#include "workers/ExportMessagesTxt.h"
#include "workers/ExportStaging.h"

#include <QString>
#include <QThread>

#include <memory>

class AbsProgressTarget;
class KikChat;

// Writes messages to files in the background: text or CSV into one file, PDF or HTML into
// one file per chat inside a folder (written beside it first, see ExportStaging). A cancel or an
// error takes back what the run wrote.
class PARLEWICK_WORKERS_EXPORT ExportMessagesThread : public QThread
{
    Q_OBJECT
public:
    enum Format { FormatText = 0, FormatCsv = 1, FormatPdf = 2, FormatHtml = 3 };

    // outputPath is a file for text and CSV, a folder for PDF and HTML.
    ExportMessagesThread(const KikMessageList &messages, const QString &outputPath, int format, AbsProgressTarget *form,
                         QObject *parent = nullptr);

    // Text, CSV and PDF write emoji as "[EMOJI]" unless told to write the characters.
    void setEmojiStyle(EmojiStyle style) { m_emojiStyle = style; }

    // CSV puts a ' before values a spreadsheet would run as formulas, unless told to write them as
    // they are (for scripts).
    void setCsvFormulaGuard(ExportMessagesCsv::FormulaGuard guard) { m_csvGuard = guard; }

    // How many messages the run wrote; read once it has ended.
    int exportedCount() const { return m_exported; }

    // The name of a chat's PDF or HTML file, made safe to use in a folder.
    static QString chatFileName(const KikChat *chat, const QString &suffix);

protected:
    void run() override;

private:
    using Writer = std::shared_ptr<AbsFormatExport<KikMessage>>;

    int exportMessages();
    void sortForFormat();
    Writer openChatWriter(const KikChat *chat);
    void discardOutput();
    ExportMessagesTxt::ChatColumn textChatColumn() const;
    void prepareHtmlFolders();

    KikMessageList m_messages;
    QString m_outputPath;
    int m_format;
    EmojiStyle m_emojiStyle = EmojiStyle::Placeholder;
    ExportMessagesCsv::FormulaGuard m_csvGuard = ExportMessagesCsv::FormulaGuard::On;
    AbsProgressTarget *m_form;
    ExportStaging m_staging;
    int m_exported = 0;
};

#pragma once

#include "kik/KikMessage.h"
#include "kik/KikRules.h"
#include "workers/AbsFormatExport.h"

#include <QSaveFile>
#include <QString>
#include <QTextStream>

// A writer of one UTF-8 text file. The file appears under its name only when end() has
// written it completely; a writer dropped before that leaves any earlier file untouched.
class AbsTextFileExport : public AbsFormatExport<_KikMessage>
{
public:
    AbsTextFileExport(const QString &filePath, EmojiStyle emoji);

    void begin() override;   // opens the file (raises its error text) and writes the header
    void end() override;     // finishes the file (raises its error text)

    // The name the text and CSV exports show for a message: the sender of a group message,
    // else the chat's user. Null when the message's chat has no user.
    static QString nameColumn(const _KikMessage *message);

protected:
    virtual void writeHeader() = 0;
    QString messageText(const _KikMessage *message) const { return messageDisplayText(message, m_emoji); }

    QTextStream m_stream;

private:
    QSaveFile m_file;
    EmojiStyle m_emoji;
};

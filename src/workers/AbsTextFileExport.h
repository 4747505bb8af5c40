#pragma once

#include "kik/KikMessage.h"
#include "kik/KikRules.h"
#include "workers/AbsFormatExport.h"
#include "workers/Export.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringEncoder>

// A writer of one UTF-8 text file. The file appears under its name only when end() has
// written it completely; a writer dropped before that leaves any earlier file untouched.
class PARLEWICK_WORKERS_EXPORT AbsTextFileExport : public AbsFormatExport<KikMessage>
{
public:
    AbsTextFileExport(const QString &filePath, EmojiStyle emoji);

    void begin() override;   // opens the file (raises its error text) and writes the header
    void end() override;     // finishes the file (raises its error text)

    // The name the text and CSV exports show for a message: the sender of a group message,
    // else the chat's user. Null when the message's chat has no user.
    static QString nameColumn(const KikMessage *message);

protected:
    virtual void writeHeader() = 0;
    QString messageText(const KikMessage *message) const { return messageDisplayText(message, m_emoji); }

    // Text goes into a buffer as UTF-8 and reaches the file in large blocks: a million short
    // rows would otherwise spend their time in the stream's conversions and small writes.
    void put(QStringView text);
    void put(QLatin1StringView text) { m_buffer.append(text.data(), text.size()); }
    void put(char c) { m_buffer.append(c); }
    QByteArray &buffer() { return m_buffer; }
    void flushIfFull();   // raises the file's error text

private:
    void flushThrow();

    QSaveFile m_file;
    EmojiStyle m_emoji;
    QByteArray m_buffer;
    // Stateless: each text is whole, so a lone surrogate at its end never joins the next one.
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};

#pragma once

#include "workers/AbsTextFileExport.h"
#include "workers/Export.h"

// Plain text: one line per message with the date, the direction and the name in columns. A file
// of several chats also names each line's chat, so that group messages can be told apart.
class PARLEWICK_WORKERS_EXPORT ExportMessagesTxt : public AbsTextFileExport
{
public:
    enum class ChatColumn { Without, With };
    explicit ExportMessagesTxt(const QString &filePath, EmojiStyle emoji = EmojiStyle::Placeholder,
                               ChatColumn chatColumn = ChatColumn::Without);

    void write(const KikMessage *message) override;

protected:
    void writeHeader() override;

private:
    ChatColumn m_chatColumn;
};

#pragma once

#include "workers/AbsTextFileExport.h"

// Plain text: one line per message with the date, the direction and the name in columns.
class ExportMessagesTxt : public AbsTextFileExport
{
public:
    explicit ExportMessagesTxt(const QString &filePath, EmojiStyle emoji = EmojiStyle::Placeholder);

    void write(const _KikMessage *message) override;

protected:
    void writeHeader() override;
};

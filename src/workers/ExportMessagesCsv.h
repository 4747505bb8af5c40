#pragma once

#include "workers/AbsTextFileExport.h"

// CSV: date, direction (1 sent, 0 received), name and text of each message.
class ExportMessagesCsv : public AbsTextFileExport
{
public:
    explicit ExportMessagesCsv(const QString &filePath, EmojiStyle emoji = EmojiStyle::Placeholder);

    void write(const _KikMessage *message) override;

    // A value holding a double quote, a comma or a line feed goes in double quotes, with its
    // double quotes doubled; other values stay as they are.
    static QString quoted(const QString &value);

protected:
    void writeHeader() override;
};

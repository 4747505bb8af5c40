#pragma once

#include "workers/AbsTextFileExport.h"
#include "workers/Export.h"

#include <QHash>

class KikUser;

// CSV: date, direction (1 sent, 0 received), name and text of each message.
class PARLEWICK_WORKERS_EXPORT ExportMessagesCsv : public AbsTextFileExport
{
public:
    // Spreadsheets run a value that begins with = + - @ (a tab or a carriage return may come
    // first) as a formula, and the other person in a chat chooses the names and the texts. The
    // guard puts a ' before such a value; only scripts that read the file themselves turn it off.
    enum class FormulaGuard { On, Off };

    explicit ExportMessagesCsv(const QString &filePath, EmojiStyle emoji = EmojiStyle::Placeholder,
                               FormulaGuard guard = FormulaGuard::On);

    void write(const KikMessage *message) override;

    // One value as it goes into the file: in double quotes with its double quotes doubled when it
    // holds a double quote, a comma, a carriage return or a line feed, after the guard's '.
    static QByteArray field(QStringView value, FormulaGuard guard);

protected:
    void writeHeader() override;

private:
    void putField(QStringView value);
    void putNameField(const KikMessage *message);

    FormulaGuard m_guard;
    QHash<const KikUser *, QByteArray> m_nameFields;   // a name is written the same way each time
};

#include "workers/ExportMessagesCsv.h"

#include "kik/KikRules.h"

namespace {

void putDigits(QChar *&at, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    at += digits;
}

// "yyyy-MM-dd hh:mm:ss", written directly: a million rows would spend a good part of their
// time parsing the same format string.
QString csvDate(const QDateTime &ts)
{
    const QDate date = ts.date();
    const QTime time = ts.time();
    if (!date.isValid() || !time.isValid() || date.year() < 0 || date.year() > 9999)
        return ts.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QString text(19, Qt::Uninitialized);
    QChar *at = text.data();
    const auto put = [&at](QChar c) { *at++ = c; };
    putDigits(at, date.year(), 4);
    put(QLatin1Char('-'));
    putDigits(at, date.month(), 2);
    put(QLatin1Char('-'));
    putDigits(at, date.day(), 2);
    put(QLatin1Char(' '));
    putDigits(at, time.hour(), 2);
    put(QLatin1Char(':'));
    putDigits(at, time.minute(), 2);
    put(QLatin1Char(':'));
    putDigits(at, time.second(), 2);
    return text;
}

}   // namespace

ExportMessagesCsv::ExportMessagesCsv(const QString &filePath, EmojiStyle emoji)
    : AbsTextFileExport(filePath, emoji)
{
}

void ExportMessagesCsv::writeHeader()
{
    m_stream << "date"
             << ",send"
             << ",user"
             << ",content" << '\n';
}

QString ExportMessagesCsv::quoted(const QString &value)
{
    bool needsQuotes = false;
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\n')) {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return value;
    QString result = value;
    result.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + result + QLatin1Char('"');
}

void ExportMessagesCsv::write(const _KikMessage *message)
{
    m_stream << csvDate(message->ts) << ',' << (message->was_me ? '1' : '0') << ',' << quoted(nameColumn(message)) << ','
             << quoted(messageText(message)) << '\n';
}

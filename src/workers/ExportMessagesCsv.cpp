#include "workers/ExportMessagesCsv.h"

#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"

#include <array>

namespace {

enum ByteKind : unsigned char { Plain = 0, Special = 1, Quote = 2 };

constexpr std::array<unsigned char, 256> byteKinds()
{
    std::array<unsigned char, 256> kinds{};
    kinds[static_cast<unsigned char>(',')] = Special;
    kinds[static_cast<unsigned char>('\n')] = Special;
    kinds[static_cast<unsigned char>('\r')] = Special;
    kinds[static_cast<unsigned char>('"')] = Quote;
    return kinds;
}

constexpr std::array<unsigned char, 256> ByteKinds = byteKinds();

bool startsLikeFormula(char first)
{
    return first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r';
}

// Makes the UTF-8 value that `out` holds from `start` on into a CSV field, in place (in UTF-8
// neither a quote nor a separator is ever part of another character).
void finishField(QByteArray &out, qsizetype start, ExportMessagesCsv::FormulaGuard guard)
{
    const qsizetype length = out.size() - start;
    const char *const value = out.constData() + start;
    unsigned kinds = 0;
    qsizetype quotes = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char kind = ByteKinds[static_cast<unsigned char>(value[i])];
        kinds |= kind;
        quotes += kind >> 1;
    }
    const bool guarded = guard == ExportMessagesCsv::FormulaGuard::On && length > 0 && startsLikeFormula(value[0]);
    if (kinds == Plain && !guarded)
        return;
    const bool quoted = kinds != Plain;
    out.resize(start + length + (quoted ? 2 + quotes : 0) + (guarded ? 1 : 0));
    char *const begin = out.data() + start;
    char *to = out.data() + out.size();
    const char *from = begin + length;
    if (quoted)
        *--to = '"';
    while (from > begin) {
        const char c = *--from;
        *--to = c;
        if (c == '"')
            *--to = '"';
    }
    if (guarded)
        *--to = '\'';
    if (quoted)
        *--to = '"';
}

void putDigits(char *&at, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = char('0' + value % 10);
        value /= 10;
    }
    at += digits;
}

}   // namespace

ExportMessagesCsv::ExportMessagesCsv(const QString &filePath, EmojiStyle emoji, FormulaGuard guard)
    : AbsTextFileExport(filePath, emoji)
    , m_guard(guard)
{
}

void ExportMessagesCsv::writeHeader()
{
    put(QLatin1StringView("date,send,user,content\n"));
}

QByteArray ExportMessagesCsv::field(QStringView value, FormulaGuard guard)
{
    QByteArray out = value.toUtf8();
    finishField(out, 0, guard);
    return out;
}

void ExportMessagesCsv::putField(QStringView value)
{
    const qsizetype start = buffer().size();
    put(value);
    finishField(buffer(), start, m_guard);
}

void ExportMessagesCsv::putNameField(const KikMessage *message)
{
    const KikUser *user = message->chat->user;
    if (user && user->is_group && message->target_user)
        user = message->target_user;
    auto found = m_nameFields.constFind(user);
    if (found == m_nameFields.cend())
        found = m_nameFields.insert(user, field(nameColumn(message), m_guard));
    buffer().append(*found);
}

void ExportMessagesCsv::write(const KikMessage *message)
{
    // "yyyy-MM-dd hh:mm:ss", written directly: a million rows would spend a good part of their
    // time formatting the same pattern.
    const QDate date = message->ts.date();
    const QTime time = message->ts.time();
    if (!date.isValid() || !time.isValid() || date.year() < 0 || date.year() > 9999) {
        put(message->ts.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    } else {
        QByteArray &out = buffer();
        const qsizetype start = out.size();
        out.resize(start + 19);
        char *at = out.data() + start;
        putDigits(at, date.year(), 4);
        *at++ = '-';
        putDigits(at, date.month(), 2);
        *at++ = '-';
        putDigits(at, date.day(), 2);
        *at++ = ' ';
        putDigits(at, time.hour(), 2);
        *at++ = ':';
        putDigits(at, time.minute(), 2);
        *at++ = ':';
        putDigits(at, time.second(), 2);
    }
    put(message->was_me ? QLatin1StringView(",1,") : QLatin1StringView(",0,"));
    putNameField(message);
    put(',');
    putField(messageText(message));
    put('\n');
    flushIfFull();
}

#include "kik/KikEmoji.h"

#include <QHash>

#include <algorithm>
#include <iterator>

namespace {

// Old carrier emoji (private use area) and the emoji that have a single UTF-16 unit.
constexpr char16_t SingleUnitEmoji[] = {0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B, 0x23EB, 0x23EC,
                                        0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
                                        0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744,
                                        0x2747, 0x274E, 0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030};
constexpr char16_t FirstCarrierUnit = 0xE000;
constexpr char16_t LastCarrierUnit = 0xE537;

constexpr char32_t PresentationSelector = 0xFE0F;
constexpr char32_t Joiner = 0x200D;
constexpr char32_t Keycap = 0x20E3;

// No real sequence has more code points (a kiss with two skin tones has ten); a longer run of
// joined symbols is cut into several emoji.
constexpr qsizetype MaxSequenceLength = 16;

struct CarrierEmoji
{
    char16_t unit;
    char32_t codes[2];
};

// Written at build time from the Unicode data's EmojiSources.txt.
constexpr CarrierEmoji CarrierTable[] = {
#include "carrier_emoji.inc"
};

bool isSingleUnitEmoji(char16_t unit)
{
    if (unit >= FirstCarrierUnit && unit <= LastCarrierUnit)
        return true;
    return std::binary_search(std::begin(SingleUnitEmoji), std::end(SingleUnitEmoji), unit);
}

bool isCarrier(char32_t code)
{
    return code >= FirstCarrierUnit && code <= LastCarrierUnit;
}

bool isSkinTone(char32_t code)
{
    return code >= 0x1F3FB && code <= 0x1F3FF;
}

bool isRegionalIndicator(char32_t code)
{
    return code >= 0x1F1E6 && code <= 0x1F1FF;
}

// Tag letters and the cancel tag that end a subdivision flag.
bool isTag(char32_t code)
{
    return code >= 0xE0020 && code <= 0xE007F;
}

bool isKeycapBase(char32_t code)
{
    return code == '#' || code == '*' || (code >= '0' && code <= '9');
}

// Symbols an emoji sequence may be built of.
bool isPictographic(char32_t code)
{
    return code == 0xA9 || code == 0xAE || (code >= 0x203C && code <= 0x3299) || (code >= 0x1F000 && code <= 0x1FAFF);
}

// Below these nothing begins an emoji of either pass: most texts are skipped at once.
bool isCandidate(char16_t unit)
{
    return unit >= 0x203C || unit == 0xA9 || unit == 0xAE || isKeycapBase(unit);
}

struct CodePoint
{
    char32_t value = 0;
    qsizetype length = 0;
};

CodePoint codePointAt(QStringView text, qsizetype i)
{
    if (i >= text.size())
        return {};
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text.at(i + 1)), 2};
    return {c.unicode(), 1};
}

QString hexCode(char32_t code)
{
    return QString::number(code, 16).toUpper();
}

// A symbol joined to the emoji before it: the first pass leaves it to the sequence.
bool continuesSequence(QStringView text, qsizetype i)
{
    if (i < 2 || text.at(i - 1).unicode() != Joiner)
        return false;
    const char16_t before = text.at(i - 2).unicode();
    return before == PresentationSelector || QChar::isLowSurrogate(before) || isPictographic(before);
}

bool isEmojiPairAt(QStringView text, qsizetype i)
{
    const char16_t unit = text.at(i).unicode();
    return (unit == 0xD83C || unit == 0xD83D) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
}

// A symbol outside the lists that what follows marks as emoji: a keycap, the presentation
// selector, a skin tone or a joiner with another symbol.
bool isMarkedEmojiAt(QStringView text, qsizetype i)
{
    const CodePoint first = codePointAt(text, i);
    CodePoint next = codePointAt(text, i + first.length);
    if (isKeycapBase(first.value)) {
        if (next.value == PresentationSelector)
            next = codePointAt(text, i + first.length + next.length);
        return next.value == Keycap;
    }
    if (!isPictographic(first.value))
        return false;
    if (next.value == PresentationSelector || isSkinTone(next.value))
        return true;
    return next.value == Joiner && isPictographic(codePointAt(text, i + first.length + next.length).value);
}

struct Emoji
{
    qsizetype end = 0;
    QString code;
};

// The emoji that begins at start, with the sequence it begins.
Emoji readEmoji(QStringView text, qsizetype start)
{
    const CodePoint first = codePointAt(text, start);
    QStringList parts{hexCode(first.value)};
    qsizetype i = start + first.length;
    if (isCarrier(first.value))
        return {i, parts.constFirst()};
    if (isRegionalIndicator(first.value)) {
        // A flag is two letters; a third begins the next flag.
        const CodePoint second = codePointAt(text, i);
        if (isRegionalIndicator(second.value)) {
            parts << hexCode(second.value);
            i += second.length;
        }
        return {i, parts.join(QLatin1Char('-'))};
    }
    bool toned = false;
    bool keycap = isKeycapBase(first.value);
    while (i < text.size() && parts.size() < MaxSequenceLength) {
        const CodePoint next = codePointAt(text, i);
        if (next.value == PresentationSelector) {
            i += next.length;
        } else if ((next.value == Keycap && keycap) || (isSkinTone(next.value) && !toned) || isTag(next.value)) {
            parts << hexCode(next.value);
            i += next.length;
            toned = toned || isSkinTone(next.value);
            keycap = false;
        } else if (next.value == Joiner) {
            const CodePoint joined = codePointAt(text, i + next.length);
            if (!isPictographic(joined.value) || isSkinTone(joined.value) || parts.size() + 2 > MaxSequenceLength)
                break;
            parts << hexCode(Joiner) << hexCode(joined.value);
            i += next.length + joined.length;
            toned = false;
            keycap = false;
        } else {
            break;
        }
    }
    if (isKeycapBase(first.value) && parts.size() == 1)
        return {start, QString()};   // a digit or '#' alone is no emoji
    return {i, parts.join(QLatin1Char('-'))};
}

bool startsFirstPass(QStringView text, qsizetype i)
{
    return isSingleUnitEmoji(text.at(i).unicode()) && !continuesSequence(text, i);
}

bool startsSecondPass(QStringView text, qsizetype i)
{
    return isEmojiPairAt(text, i) || isMarkedEmojiAt(text, i);
}

template <typename StartsAt>
QString replacePass(const QString &text, const EmojiHandler &handler, StartsAt startsAt)
{
    const QChar *units = text.constData();
    qsizetype i = 0;
    while (i < text.size() && !(isCandidate(units[i].unicode()) && startsAt(text, i)))
        ++i;
    if (i == text.size())
        return text;   // shared, not copied: the case of most messages
    QString out;
    out.reserve(text.size() + 64);
    out.append(QStringView(text).first(i));
    while (i < text.size()) {
        if (isCandidate(text.at(i).unicode()) && startsAt(text, i)) {
            const Emoji emoji = readEmoji(text, i);
            if (emoji.end > i) {
                out += handler(emoji.code);
                i = emoji.end;
                continue;
            }
        }
        out += text.at(i++);
    }
    return out;
}

const QHash<char16_t, QString> &carrierEmoji()
{
    static const QHash<char16_t, QString> table = [] {
        QHash<char16_t, QString> map;
        for (const CarrierEmoji &entry : CarrierTable)
            map.insert(entry.unit, QString::fromUcs4(entry.codes, entry.codes[1] ? 2 : 1));
        return map;
    }();
    return table;
}

// Kik's text emoticons and the emoji it draws for each.
struct Emoticon
{
    const char *text;
    char32_t emoji;
};

constexpr Emoticon KikEmoticons[] = {
    {":)", 0x1F642},  {":-)", 0x1F642}, {":(", 0x1F641},  {":-(", 0x1F641}, {";)", 0x1F609},  {";-)", 0x1F609}, {":D", 0x1F603},
    {":-D", 0x1F603}, {":d", 0x1F603},  {":P", 0x1F61B},  {":-P", 0x1F61B}, {":p", 0x1F61B},  {":O", 0x1F62E},  {":-O", 0x1F62E},
    {":o", 0x1F62E},  {":'(", 0x1F622}, {":@", 0x1F620},  {">:(", 0x1F620}, {":S", 0x1F616},  {":s", 0x1F616},  {":|", 0x1F610},
    {":-|", 0x1F610}, {":$", 0x1F633},  {"<3", 0x2764},   {"</3", 0x1F494}, {"8)", 0x1F60E},  {"B)", 0x1F60E},  {":*", 0x1F618},
    {":-*", 0x1F618}, {"O:)", 0x1F607}, {"o:)", 0x1F607}, {":/", 0x1F615},  {":-/", 0x1F615}, {"XD", 0x1F606},  {"xD", 0x1F606},
    {"-_-", 0x1F611}, {"^_^", 0x1F60A}, {"(y)", 0x1F44D}, {"(Y)", 0x1F44D}, {"(n)", 0x1F44E}, {"(N)", 0x1F44E},
};

}   // namespace

QString replaceEmoji(const QString &text, const EmojiHandler &handler)
{
    return replacePass(replacePass(text, handler, startsFirstPass), handler, startsSecondPass);
}

QList<EmojiSpan> emojiSpans(const QString &text)
{
    // The same passes; what the first takes is out of the second's reach, as it is when the
    // first pass has replaced it.
    QList<EmojiSpan> first;
    for (qsizetype i = 0; i < text.size();) {
        const Emoji emoji = isCandidate(text.at(i).unicode()) && startsFirstPass(text, i) ? readEmoji(text, i) : Emoji();
        if (emoji.end > i) {
            first.append({i, emoji.end - i});
            i = emoji.end;
        } else {
            ++i;
        }
    }
    QList<EmojiSpan> spans;
    qsizetype next = 0;   // the first pass's next span
    for (qsizetype i = 0; i < text.size();) {
        if (next < first.size() && first.at(next).start == i) {
            spans.append(first.at(next));
            i += first.at(next++).length;
            continue;
        }
        const qsizetype limit = next < first.size() ? first.at(next).start : text.size();
        const Emoji emoji = isCandidate(text.at(i).unicode()) && startsSecondPass(text, i)
                                ? readEmoji(QStringView(text).first(limit), i)
                                : Emoji();
        if (emoji.end > i) {
            spans.append({i, emoji.end - i});
            i = emoji.end;
        } else {
            ++i;
        }
    }
    return spans;
}

QString wholeEmojiCode(const QString &text)
{
    int count = 0;
    QString code;
    const QString rest = replaceEmoji(text, [&count, &code](const QString &seen) {
        ++count;
        code = seen;
        return QString();
    });
    return rest.isEmpty() && count == 1 ? code : QString();
}

QString emojiCodeText(const QString &code)
{
    QList<char32_t> values;
    for (const QString &part : code.split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 16);
        if (ok && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF))
            values.append(value);
    }
    QString text;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const char32_t value = values.at(i);
        if (isCarrier(value)) {
            text += standardEmoji(QString(QChar(char16_t(value))));
            continue;
        }
        text += QString::fromUcs4(&value, 1);
        const bool toned = i + 1 < values.size() && isSkinTone(values.at(i + 1));
        if (value <= 0xFFFF && (isPictographic(value) || isKeycapBase(value)) && !toned)
            text += QChar(char16_t(PresentationSelector));
    }
    return text;
}

QString standardEmoji(const QString &text)
{
    const auto isMapped = [](QChar c) { return c.unicode() >= FirstCarrierUnit && c.unicode() <= LastCarrierUnit; };
    if (std::none_of(text.cbegin(), text.cend(), isMapped))
        return text;
    const QHash<char16_t, QString> &table = carrierEmoji();
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text)
        out += isMapped(c) ? table.value(c.unicode(), QString(c)) : QString(c);
    return out;
}

const QStringList &kikEmoticons()
{
    static const QStringList texts = [] {
        QStringList list;
        for (const Emoticon &emoticon : KikEmoticons)
            list << QString::fromLatin1(emoticon.text);
        return list;
    }();
    return texts;
}

QString emoticonEmoji(const QString &emoticon)
{
    for (const Emoticon &known : KikEmoticons) {
        if (emoticon == QLatin1String(known.text))
            return QString::fromUcs4(&known.emoji, 1) + (known.emoji <= 0xFFFF ? QString(QChar(0xFE0F)) : QString());
    }
    return QString();
}

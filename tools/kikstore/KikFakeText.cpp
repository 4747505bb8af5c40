#include "kikstore/KikFakeText.h"

namespace {

const char *const FirstNames[] = {"Ann",  "Bob",   "Chloé", "Dmitri", "Ellie", "Finn",   "Grace", "Hiro",  "Isla",
                                  "Jake", "Kenia", "Liam",  "Maya",   "Noah",  "Olivia", "Priya", "Quinn", "Rolf",
                                  "Sina", "Tomás", "Uma",   "Vic",    "Wren",  "Xena",   "Yusuf", "Zoë"};
const char *const LastNames[] = {"Adams", "Brennan", "Costa",    "Dubois", "Evans",  "Fischer", "García",  "Harris",
                                 "Ito",   "Jenkins", "Kowalski", "Larsen", "Murray", "Nguyen",  "Ozolins", "Petrov",
                                 "Quist", "Rossi",   "Silva",    "Tanaka", "Ullman", "Varga",   "Walsh",   "Young"};
const char *const Words[] = {"hey",    "lol",  "ok",      "see",     "you",      "tomorrow", "what", "are",   "doing",
                             "later",  "haha", "yeah",    "no",      "maybe",    "party",    "at",   "mine",  "tonight",
                             "did",    "get",  "my",      "message", "send",     "the",      "pic",  "again", "so",
                             "funny",  "cant", "believe", "that",    "happened", "omg",      "good", "night", "morning",
                             "school", "work", "game",    "coffee",  "weekend",  "bus",      "late", "sorry", "thanks",
                             "love",   "it",   "call",    "me",      "when",     "free",     "new",  "phone"};
// Surrogate pairs, single UTF-16 units and the old carrier emoji of the private use area.
const char16_t *const Emoji[] = {u"\U0001F604", u"\U0001F60A", u"\U0001F602", u"\U0001F44D\U0001F3FE",
                                 u"\U0001F608", u"\u2705",     u"\u2764",     u"\u263A",
                                 u"\uE415",     u"\uE056"};
const char *const Emoticons[] = {":)", ":O", ";)", ":P", ":D", "<3"};

}

QString KikFakeText::uuid()
{
    char16_t text[36];
    static const char16_t hex[] = u"0123456789abcdef";
    quint64 bits[2] = {m_random.generate64(), m_random.generate64()};
    int nibble = 0;
    for (int i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            text[i] = u'-';
            continue;
        }
        const quint64 word = bits[nibble / 16];
        int value = int((word >> ((nibble % 16) * 4)) & 0xF);
        if (i == 14)
            value = 4;   // random (version 4) UUID
        else if (i == 19)
            value = 8 | (value & 3);
        text[i] = hex[value];
        ++nibble;
    }
    return QString(reinterpret_cast<const QChar *>(text), 36);
}

QString KikFakeText::firstName()
{
    return QString::fromUtf8(pick(FirstNames));
}
QString KikFakeText::lastName()
{
    return QString::fromUtf8(pick(LastNames));
}

QString KikFakeText::userName(int index)
{
    return QString::fromUtf8(pick(Words)) + QString::fromUtf8(pick(FirstNames)).toLower().left(4) + QString::number(index);
}

QString KikFakeText::contactJid(const QString &userName)
{
    // Kik appends an underscore and three characters to the user name.
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString jid = userName.toLower() + QLatin1Char('_');
    for (int i = 0; i < 3; ++i)
        jid += QLatin1Char(alphabet[below(36)]);
    return jid + QStringLiteral("@talk.kik.com");
}

QString KikFakeText::groupJid(int index)
{
    return QString::number(1100024090000LL + index * 7919LL) + QStringLiteral("_g@groups.kik.com");
}

QString KikFakeText::emoji()
{
    return QString::fromUtf16(Emoji[below(int(std::size(Emoji)))]);
}

QString KikFakeText::body(bool withEmoji)
{
    const int count = 1 + below(9);
    const int emojiAt = withEmoji ? below(count + 1) : -1;
    QString text;
    for (int i = 0; i <= count; ++i) {
        if (i == emojiAt) {
            if (!text.isEmpty())
                text += QLatin1Char(' ');
            text += emoji();
        }
        if (i == count)
            break;
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QLatin1String(pick(Words));
    }
    if (chance(0.3))
        text[0] = text[0].toUpper();
    return text;
}

std::pair<QString, QByteArray> KikFakeText::renderedBody()
{
    // Every numeric field is two bytes of which the second holds the value, so the body before
    // the emoticon stays short enough for positions below 128.
    QString text = body(false).left(80) + QLatin1Char(' ');
    const QByteArray emoticon = pick(Emoticons);
    const QByteArray image = chance(0.5) ? QByteArray("emoticons/") + QByteArray::number(below(40)) : QByteArray();
    const int start = int(text.size());
    QByteArray record;
    record += char(0x08);
    record += char(start);
    record += char(0x10);
    record += char(start + emoticon.size());
    record += char(0x1A);
    record += char(emoticon.size());
    record += emoticon;
    record += char(0x22);
    record += char(image.size());
    record += image;
    QByteArray blob;
    blob += char(0x0A);
    blob += char(record.size());
    return {text, blob + record};
}

bool KikFakeText::chance(double share)
{
    return share > 0 && m_random.generateDouble() < share;
}

int KikFakeText::below(int bound)
{
    return bound <= 1 ? 0 : int(m_random.bounded(quint32(bound)));
}

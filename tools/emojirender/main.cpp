// Build-time helper: draws the emoji pictures the bubble page and the HTML export refer to,
// from the system's colour emoji font.
//
// Usage: emojirender <font> <emoji-data.txt> <EmojiSources.txt> <emoji-dir> <kikemoji-dir> <size>
//
// emoji/<CODE>.png: every code the message text rules hand to an emoji handler (see
// replaceEmoji), CODE in upper-case hexadecimal as the handler receives it. Single units are
// the standard ones plus the old carrier codes U+E001..U+E537; surrogate pairs are all emoji of
// emoji-data.txt in the range the rule matches. Codes the font cannot draw are left out.
//
// kikemoji/<hex>.png: Kik's text emoticons, hex being the UTF-8 bytes of the emoticon text.

#include "kik/KikRules.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

namespace {

// The old carrier emoji live in the private use area; EmojiSources.txt knows them only by the
// carrier's Shift-JIS codes (its fourth field). The carrier laid its six blocks of 90 codes out
// like this (lead byte, trail range -> private use block):
//   F9 41..9B -> E001..E05A    F7 41..9B -> E101..E15A    F7 A1..FA -> E201..E25A
//   F9 A1..FA -> E301..E35A    FB 41..9B -> E401..E45A    FB A1..D7 -> E501..E537
// The low trail range skips 7F, as Shift-JIS does. Checks: F941 (boy) is E001, FB55 (smiling
// face) is E415, FBD7 (trade mark) is E537.
int carrierCodeToPrivateUse(int sjis)
{
    const int lead = sjis >> 8;
    const int trail = sjis & 0xFF;
    int index = 0;
    bool high = false;
    if (trail >= 0x41 && trail <= 0x9B && trail != 0x7F) {
        index = trail - 0x40 - (trail > 0x7F ? 1 : 0);
    } else if (trail >= 0xA1 && trail <= 0xFA) {
        index = trail - 0xA0;
        high = true;
    } else {
        return 0;
    }
    int block = -1;
    if (lead == 0xF9)
        block = high ? 3 : 0;
    else if (lead == 0xF7)
        block = high ? 2 : 1;
    else if (lead == 0xFB)
        block = high ? 5 : 4;
    if (block < 0 || index > 0x5A)
        return 0;
    return 0xE000 + block * 0x100 + index;
}

QString codePointsText(const QString &field)
{
    QString text;
    for (const QString &hex : field.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const char32_t code = hex.toUInt(nullptr, 16);
        text += QString::fromUcs4(&code, 1);
    }
    return text;
}

// Private use code -> the standard emoji text it stands for.
QHash<int, QString> readCarrierMapping(const QString &path)
{
    QHash<int, QString> mapping;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return mapping;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(';'));
        if (fields.size() < 4 || fields.at(3).isEmpty())
            continue;
        const int privateUse = carrierCodeToPrivateUse(fields.at(3).toInt(nullptr, 16));
        if (privateUse)
            mapping.insert(privateUse, codePointsText(fields.at(0)));
    }
    return mapping;
}

// Code points with the Emoji property.
QList<char32_t> readEmojiCodePoints(const QString &path)
{
    QList<char32_t> codes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return codes;
    static const QRegularExpression entry(QStringLiteral("^([0-9A-F]+)(?:\\.\\.([0-9A-F]+))?\\s*;\\s*Emoji\\s*(#|$)"));
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QRegularExpressionMatch match = entry.match(in.readLine());
        if (!match.hasMatch())
            continue;
        const char32_t first = match.captured(1).toUInt(nullptr, 16);
        const char32_t last = match.hasCaptured(2) ? match.captured(2).toUInt(nullptr, 16) : first;
        for (char32_t code = first; code <= last; ++code)
            codes.append(code);
    }
    return codes;
}

// The code the emoji rule hands to its handler for this text, empty when it hands none.
QString handlerCode(const QString &text)
{
    QString seen;
    replaceEmoji(text, [&seen](const QString &code) {
        seen = code;
        return QString();
    });
    return seen;
}

class Painter
{
public:
    Painter(const QString &family, int size)
        : m_font(family)
        , m_size(size)
    {
        m_font.setPixelSize(size * 4);
        m_raw = QRawFont::fromFont(m_font);
    }

    bool canDraw(const QString &text) const
    {
        const QList<uint> codes = text.toUcs4();
        for (const uint code : codes) {
            // Variation selectors and joiners are shaped away; the font need not list them.
            if (code == 0xFE0F || code == 0x200D || code == 0x20E3)
                continue;
            if (!m_raw.supportsCharacter(code))
                return false;
        }
        return !codes.isEmpty();
    }

    bool save(const QString &text, const QString &path) const
    {
        // Drawn large and scaled down: the font's pictures are bitmaps of a fixed size.
        const int big = m_size * 4;
        QImage canvas(big * 2, big * 2, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setFont(m_font);
        painter.drawText(canvas.rect(), Qt::AlignCenter, text);
        painter.end();
        const QRect used = opaqueBounds(canvas);
        if (used.isEmpty())
            return false;
        const int side = std::max(used.width(), used.height());
        const QRect square(used.center().x() - side / 2, used.center().y() - side / 2, side, side);
        const QImage picture = canvas.copy(square).scaled(m_size, m_size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return picture.save(path, "PNG");
    }

private:
    static QRect opaqueBounds(const QImage &image)
    {
        int left = image.width(), top = image.height(), right = -1, bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) == 0)
                    continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    }

    QFont m_font;
    QRawFont m_raw;
    int m_size;
};

// Kik's text emoticons and the standard emoji drawn for each.
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

int fail(const char *text, const QString &detail)
{
    std::fprintf(stderr, "emojirender: %s %s\n", text, qPrintable(detail));
    return 1;
}

}   // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int size = args.value(6).toInt();
    if (args.size() != 7 || size <= 0) {
        std::fprintf(stderr, "usage: emojirender <font> <emoji-data.txt> <EmojiSources.txt> "
                             "<emoji-dir> <kikemoji-dir> <size>\n");
        return 2;
    }
    const int fontId = QFontDatabase::addApplicationFont(args.at(1));
    if (fontId < 0)
        return fail("cannot load font", args.at(1));
    const Painter painter(QFontDatabase::applicationFontFamilies(fontId).value(0), size);

    const QDir emojiDir(args.at(4));
    const QDir kikEmojiDir(args.at(5));
    if (!QDir().mkpath(emojiDir.path()) || !QDir().mkpath(kikEmojiDir.path()))
        return fail("cannot create", emojiDir.path());

    // code as the handler sees it -> text to draw
    QList<std::pair<QString, QString>> pictures;
    const QHash<int, QString> carrier = readCarrierMapping(args.at(3));
    for (int unit = 0x20; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const QString text = QChar(char16_t(unit));
        const QString code = handlerCode(text);
        if (code.isEmpty())
            continue;
        if (unit >= 0xE000 && unit <= 0xF8FF) {
            if (carrier.contains(unit))
                pictures.append(std::pair(code, carrier.value(unit)));
        } else {
            pictures.append(std::pair(code, text + QChar(0xFE0F)));
        }
    }
    const QList<char32_t> emoji = readEmojiCodePoints(args.at(2));
    if (emoji.isEmpty())
        return fail("no emoji listed in", args.at(2));
    for (const char32_t code : emoji) {
        if (code <= 0xFFFF)
            continue;
        const QString text = QString::fromUcs4(&code, 1);
        const QString handled = handlerCode(text);
        if (!handled.isEmpty())
            pictures.append(std::pair(handled, text));
    }

    int written = 0;
    for (const auto &[code, text] : std::as_const(pictures)) {
        if (painter.canDraw(text) && painter.save(text, emojiDir.filePath(code + QStringLiteral(".png"))))
            ++written;
    }
    for (const Emoticon &emoticon : KikEmoticons) {
        const QString name = QString::fromLatin1(QByteArray(emoticon.text).toHex()) + QStringLiteral(".png");
        const QString text = QString::fromUcs4(&emoticon.emoji, 1) + QChar(0xFE0F);
        if (!painter.save(text, kikEmojiDir.filePath(name)))
            return fail("cannot draw emoticon", QString::fromLatin1(emoticon.text));
    }
    if (written == 0)
        return fail("the font drew no emoji:", args.at(1));
    std::printf("emojirender: %d emoji, %d emoticons\n", written, int(std::size(KikEmoticons)));
    return 0;
}

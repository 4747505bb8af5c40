// Build-time helper: draws the emoji pictures the bubble page and the HTML export refer to,
// from the system's colour emoji font.
//
// Usage: emojirender <font> <emoji-test.txt> <emoji-dir> <kikemoji-dir> <size>
//
// emoji/<CODE>.png: every code the message text rules hand to an emoji handler (see
// replaceEmoji), CODE as the handler receives it: the single units of the rule (the old carrier
// codes drawn as the standard emoji they stand for) and every emoji and sequence Unicode lists
// as fully qualified that the rule takes as one. Codes the font cannot draw as one picture are
// left out; the page then shows their characters.
//
// kikemoji/<hex>.png: Kik's text emoticons, hex being the UTF-8 bytes of the emoticon text.
//
// Pictures are size pixels square, twice the size they are shown at, for high-density screens.

#include "kik/KikEmoji.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextLayout>
#include <QTextStream>

#include <cstdio>

namespace {

QString codePointsText(const QString &field)
{
    QString text;
    for (const QString &hex : field.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const char32_t code = hex.toUInt(nullptr, 16);
        text += QString::fromUcs4(&code, 1);
    }
    return text;
}

// The emoji and sequences emoji-test.txt lists as fully qualified, and the components.
QStringList readListedEmoji(const QString &path)
{
    QStringList texts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return texts;
    static const QRegularExpression entry(QStringLiteral("^([0-9A-F ]+);\\s*(fully-qualified|component)\\s*#"));
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QRegularExpressionMatch match = entry.match(in.readLine());
        if (match.hasMatch())
            texts.append(codePointsText(match.captured(1)));
    }
    return texts;
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
            // Joiners, keycaps and tags are shaped away; the font need not list them.
            if (code == 0x200D || code == 0x20E3 || (code >= 0xE0020 && code <= 0xE007F))
                continue;
            if (!m_raw.supportsCharacter(code))
                return false;
        }
        return !codes.isEmpty() && glyphCount(text) == 1;
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
    // A sequence the font knows is shaped into one glyph; otherwise its parts stand side by side.
    int glyphCount(const QString &text) const
    {
        QTextLayout layout(text, m_font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int count = 0;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            // Selectors may stay as invisible glyphs of their own.
            const QRawFont font = run.rawFont();
            for (const quint32 glyph : run.glyphIndexes())
                count += font.boundingRect(glyph).isEmpty() ? 0 : 1;
        }
        return count;
    }

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
    const int size = args.value(5).toInt();
    if (args.size() != 6 || size <= 0) {
        std::fprintf(stderr, "usage: emojirender <font> <emoji-test.txt> <emoji-dir> <kikemoji-dir> <size>\n");
        return 2;
    }
    const int fontId = QFontDatabase::addApplicationFont(args.at(1));
    if (fontId < 0)
        return fail("cannot load font", args.at(1));
    const Painter painter(QFontDatabase::applicationFontFamilies(fontId).value(0), size);

    const QDir emojiDir(args.at(3));
    const QDir kikEmojiDir(args.at(4));
    if (!QDir().mkpath(emojiDir.path()) || !QDir().mkpath(kikEmojiDir.path()))
        return fail("cannot create", emojiDir.path());
    // A picture of an earlier run whose code the rule no longer gives would still be shown.
    for (const QDir &dir : {emojiDir, kikEmojiDir}) {
        for (const QString &old : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
            if (!QFile::remove(dir.filePath(old)))
                return fail("cannot remove", dir.filePath(old));
        }
    }

    // code as the handler sees it -> text to draw
    QHash<QString, QString> pictures;
    for (int unit = 0x20; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const QString code = wholeEmojiCode(QString(QChar(char16_t(unit))));
        if (!code.isEmpty())
            pictures.insert(code, emojiCodeText(code));
    }
    const QStringList listed = readListedEmoji(args.at(2));
    if (listed.isEmpty())
        return fail("no emoji listed in", args.at(2));
    for (const QString &text : listed) {
        const QString code = wholeEmojiCode(text);
        if (!code.isEmpty() && !pictures.contains(code))
            pictures.insert(code, text);
    }

    int written = 0;
    for (auto it = pictures.cbegin(); it != pictures.cend(); ++it) {
        // The font has no glyph for the presentation selector: left in, it would be taken from
        // another font and split the sequence the font shapes into one picture.
        const QString text = QString(it.value()).remove(QChar(0xFE0F));
        if (painter.canDraw(text) && painter.save(text, emojiDir.filePath(it.key() + QStringLiteral(".png"))))
            ++written;
    }
    for (const QString &emoticon : kikEmoticons()) {
        const QString name = QString::fromLatin1(emoticon.toLatin1().toHex()) + QStringLiteral(".png");
        if (!painter.save(emoticonEmoji(emoticon).remove(QChar(0xFE0F)), kikEmojiDir.filePath(name)))
            return fail("cannot draw emoticon", emoticon);
    }
    if (written == 0)
        return fail("the font drew no emoji:", args.at(1));
    std::printf("emojirender: %d emoji, %d emoticons\n", written, int(kikEmoticons().size()));
    return 0;
}

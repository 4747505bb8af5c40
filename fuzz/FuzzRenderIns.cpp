// A message's render instructions (ZRENDERINSTRUCTIONSET of Kik's store) over its body, and
// the emoji of the body. The first byte gives the length of the body (UTF-8), the rest is the blob.
#include "FuzzInput.h"

#include "kik/KikRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t bodyLength = std::min<size_t>(data[0], size - 1);
    const QString body = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(bodyLength));
    const QByteArray renderIns = fuzzBytes(data + 1 + bodyLength, size - 1 - bodyLength);
    const RenderHandler handler = [](const QString &text, const QString *image) {
        return image ? QStringLiteral("<img src=\"%1\"/>").arg(*image) : text;
    };
    applyRenderInstructions(body, renderIns, handler, true);
    applyRenderInstructions(body, renderIns, handler, false);

    // The spans found are the emoji replaced, in order and inside the text.
    const QList<EmojiSpan> spans = emojiSpans(body);
    qsizetype end = 0;
    for (const EmojiSpan &span : spans) {
        if (span.start < end || span.length <= 0 || span.start + span.length > body.size())
            __builtin_trap();
        end = span.start + span.length;
    }
    qsizetype replaced = 0;
    replaceEmoji(body, [&replaced](const QString &code) {
        ++replaced;
        emojiCodeText(code);
        return QStringLiteral("x");   // nothing the second pass takes
    });
    if (replaced != spans.size())
        __builtin_trap();
    standardEmoji(body);
    return 0;
}

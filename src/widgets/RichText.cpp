#include "widgets/RichText.h"

#include "app/FileUtils.h"

#include <QRegularExpression>

QString richTextOf(const QString &plain)
{
    // An address ends before blanks, quotes and the punctuation that closes a sentence.
    static const QRegularExpression address(QStringLiteral("https?://[^\\s<>\"]*[^\\s<>\".,;:)]"));
    QString rich;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = address.globalMatch(plain); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        const QString link = escapeHtml(found.captured());
        rich += escapeHtml(plain.mid(done, found.capturedStart() - done)) + QStringLiteral("<a href=\"%1\">%1</a>").arg(link);
        done = found.capturedEnd();
    }
    return rich + escapeHtml(plain.mid(done));
}

#include "MarkupCheck.h"

#include <QRegularExpression>
#include <QSet>

namespace {

QString decodeEntities(QString value)
{
    value.replace(QLatin1String("&lt;"), QLatin1String("<"));
    value.replace(QLatin1String("&gt;"), QLatin1String(">"));
    value.replace(QLatin1String("&quot;"), QLatin1String("\""));
    value.replace(QLatin1String("&#39;"), QLatin1String("'"));
    value.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return value;
}

bool allowedLink(const QString &href)
{
    QString seen = decodeEntities(href);
    seen.remove(QRegularExpression(QStringLiteral("[\\t\\n\\r]")));
    seen = seen.trimmed().toLower();
    static const QRegularExpression live(QStringLiteral("^(https?|file|atta):"));
    return seen == QLatin1String("#") || seen == QLatin1String("/pre_page") || seen == QLatin1String("/next_page")
           || seen.startsWith(QLatin1String("files/")) || live.match(seen).hasMatch();
}

}   // namespace

QString markupProblem(const QString &html)
{
    static const QSet<QString> tags = {"html", "head", "meta", "title", "link", "body", "a", "p", "div", "img"};
    static const QSet<QString> attributes = {"xmlns", "http-equiv", "content", "href",  "type",   "rel",   "name",
                                             "class", "style",      "src",     "width", "height", "target"};
    static const QRegularExpression tagPattern(QStringLiteral("<(/?)([A-Za-z!][^\\s>/]*)([^>]*)>"));
    static const QRegularExpression attributePattern(QStringLiteral("\\s+([A-Za-z-]+)=\"([^\"]*)\""));
    static const QRegularExpression rest(QStringLiteral("^\\s*/?\\s*$"));

    qsizetype tagCount = 0;
    for (const QRegularExpressionMatch &tag : tagPattern.globalMatch(html)) {
        ++tagCount;
        const QString name = tag.captured(2).toLower();
        if (name == QLatin1String("!doctype"))
            continue;
        if (!tags.contains(name))
            return QStringLiteral("unknown tag: ") + tag.captured(0);
        QString remainder = tag.captured(3);
        for (const QRegularExpressionMatch &attribute : attributePattern.globalMatch(tag.captured(3))) {
            const QString attributeName = attribute.captured(1).toLower();
            if (!attributes.contains(attributeName))
                return QStringLiteral("unknown attribute: ") + tag.captured(0);
            if (name == QLatin1String("a") && attributeName == QLatin1String("href") && !allowedLink(attribute.captured(2)))
                return QStringLiteral("live link: ") + tag.captured(0);
            remainder.remove(attribute.captured(0));
        }
        if (!rest.match(remainder).hasMatch())
            return QStringLiteral("broken tag: ") + tag.captured(0);
    }
    if (html.count(QLatin1Char('<')) != tagCount)
        return QStringLiteral("a '<' that opens no known tag");
    return QString();
}

#include "widgets/KikBubbleViewMgr.h"

#include "app/AppFolders.h"
#include "app/ColourRoles.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/Preferences.h"
#include "app/PrivateCache.h"
#include "widgets/KikBubblePage.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <stdexcept>

namespace {

// The web view takes a page as a data: address of at most 2 MB, percent-encoded.
constexpr qsizetype MaxInlinePageSize = 2 * 1024 * 1024 - 1024;

qsizetype percentEncodedSize(const QByteArray &bytes)
{
    qsizetype size = 0;
    for (const char c : bytes) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
                           || c == '_' || c == '~';
        size += plain ? 1 : 3;
    }
    return size;
}

QUrl pageBaseUrl()
{
    return QUrl::fromLocalFile(applicationFolder() + QLatin1Char('/'));
}

// Kinds of files the desktop shows itself; anything else is offered for saving.
bool opensDirectly(const QString &suffix)
{
    static const QStringList suffixes = {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                         QStringLiteral("bmp"), QStringLiteral("gif"),  QStringLiteral("mp3"),
                                         QStringLiteral("mp4"), QStringLiteral("mov")};
    return suffixes.contains(suffix);
}

// Videos open in another program, which the user may not expect from a click on a picture:
// asked the first time, the answer yes is remembered.
bool videosMayOpen()
{
    const QString key = QStringLiteral("bubbles/openVideos");
    if (programSettings()->value(key).toBool())
        return true;
    if (!askWithButtons(QMessageBox::Question,
                        QStringLiteral("Open the video in your desktop's video player? Parlewick will not ask again."),
                        QStringLiteral("Open"), QStringLiteral("Cancel")))
        return false;
    programSettings()->setValue(key, true);
    return true;
}

// "..." and the last three parts of a path, or the path when it is shorter.
QString shortPath(const QString &path)
{
    static const QRegularExpression lastThree(QStringLiteral("([^/]+/[^/]+/[^/]+)$"));
    const QRegularExpressionMatch match = lastThree.match(path);
    return match.hasMatch() ? QStringLiteral("...") + match.captured(1) : path;
}

}   // namespace

KikBubbleViewMgr::KikBubbleViewMgr(QObject *parent)
    : QObject(parent)
    , m_askSaveFile(
          [this](const QString &title, const QString &proposed) { return QFileDialog::getSaveFileName(m_view, title, proposed); })
{
}

KikBubbleViewMgr::~KikBubbleViewMgr() = default;

void KikBubbleViewMgr::setView(QWebEngineView *view)
{
    m_view = view;
    auto *page = new KikBubblePage(view);
    view->setPage(page);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->installEventFilter(this);
    followTheme();
    connect(view, &QWebEngineView::loadFinished, this, &KikBubbleViewMgr::onLoadFinish);
    connect(page, &KikBubblePage::linkClicked, this, &KikBubbleViewMgr::onLinkClicked);
}

void KikBubbleViewMgr::setSaveFileAsker(SaveFileAsker asker)
{
    m_askSaveFile = std::move(asker);
}

void KikBubbleViewMgr::showBubble(KikMessageList messages)
{
    m_messages = std::move(messages);
    if (!m_messages.isEmpty()) {
        m_pageCount = KikBubbleHtml::pageCount(m_messages.size());
        firstPage();
        return;
    }
    m_currentPage = 0;
    m_pageCount = 0;
    if (m_view)
        m_view->setHtml(QString(), QUrl());
}

void KikBubbleViewMgr::firstPage()
{
    m_currentPage = 1;
    m_anchor = QStringLiteral("start");
    showPage(m_currentPage);
}

void KikBubbleViewMgr::previousPage()
{
    if (m_currentPage < 2)
        return;
    m_anchor = QStringLiteral("end");
    --m_currentPage;
    showPage(m_currentPage);
}

void KikBubbleViewMgr::nextPage()
{
    if (m_currentPage >= m_pageCount)
        return;
    m_anchor = QStringLiteral("start");
    ++m_currentPage;
    showPage(m_currentPage);
}

void KikBubbleViewMgr::lastPage()
{
    m_currentPage = m_pageCount;
    m_anchor = QStringLiteral("end");
    showPage(m_currentPage);
}

void KikBubbleViewMgr::scrollToPos(int index)
{
    if (index < 0 || index >= m_messages.size())
        return;
    const int page = index / KikBubbleHtml::PageSize + 1;
    m_anchor = QStringLiteral("sms_%1").arg(m_messages.at(index)->id);
    if (page == m_currentPage) {
        scrollToAnchor();
        return;
    }
    m_currentPage = page;
    showPage(m_currentPage);
}

void KikBubbleViewMgr::onLoadFinish(bool)
{
    scrollToAnchor();
    if (!m_highlight.isEmpty())
        applyHighlight();
}

void KikBubbleViewMgr::setHighlight(const QString &keyword)
{
    if (keyword == m_highlight)
        return;
    m_highlight = keyword;
    applyHighlight();
}

void KikBubbleViewMgr::applyHighlight()
{
    if (!m_view)
        return;
    // The page's own find marks every occurrence in the visible text; it also scrolls to the
    // first, so the message asked for is brought back into view afterwards.
    const QPointer<KikBubbleViewMgr> self(this);
    m_view->findText(m_highlight, {}, [self](const QWebEngineFindTextResult &) {
        if (self)
            self->scrollToAnchor();
    });
}

// A theme switch redraws the page shown in the new colours.
bool KikBubbleViewMgr::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        && followTheme() && m_currentPage > 0)
        showPage(m_currentPage);
    return QObject::eventFilter(watched, event);
}

// The page's ground and colours from the theme now; true when they changed.
bool KikBubbleViewMgr::followTheme()
{
    const ColourRoles roles = ColourRoles::current();
    if (m_view)   // no white flash before a dark page is drawn
        m_view->page()->setBackgroundColor(roles.window.background);
    if (roles.dark == m_dark)
        return false;
    m_dark = roles.dark;
    m_html.setDark(m_dark);
    return true;
}

void KikBubbleViewMgr::showPage(int pageNumber)
{
    const QString html = m_html.page(m_messages, pageNumber);
    if (!html.isEmpty())
        setPageHtml(html);
}

void KikBubbleViewMgr::setPageHtml(const QString &html)
{
    if (!m_view)
        return;
    const QByteArray bytes = html.toUtf8();
    if (percentEncodedSize(bytes) <= MaxInlinePageSize) {
        m_view->setHtml(html, pageBaseUrl());
        return;
    }
    // Too big to hand over inline: the page goes into a file, beside links to the folders its
    // relative addresses name, so it looks the same as from the program's folder.
    if (!m_largePageDir) {
        try {
            m_largePageDir = privateTemporaryFolderThrow();
        } catch (const std::exception &error) {
            qDebug() << "bubble page not written:" << error.what();
            return;
        }
        const QDir appDir(applicationFolder());
        for (const QString &folder : {QStringLiteral("kikbb"), QStringLiteral("emoji")})
            QFile::link(appDir.filePath(folder), m_largePageDir->filePath(folder));
    }
    const QString path = m_largePageDir->filePath(QStringLiteral("page.html"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        qDebug() << "bubble page not written:" << path << file.errorString();
        return;
    }
    file.close();
    m_view->load(QUrl::fromLocalFile(path));
}

void KikBubbleViewMgr::scrollToAnchor()
{
    if (!m_view || m_anchor.isEmpty())
        return;
    // Anchor names are the program's own ("start", "end", "sms_<id>").
    const QString script =
        QStringLiteral("(function(){var a=document.getElementsByName('%1');if(a.length)a[0].scrollIntoView();})();")
            .arg(m_anchor);
    m_view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld);
}

void KikBubbleViewMgr::onLinkClicked(const QUrl &url)
{
    const QString path = url.path();
    if (path == QLatin1String("/pre_page")) {
        previousPage();
        return;
    }
    if (path == QLatin1String("/next_page")) {
        nextPage();
        return;
    }
    if (url.isLocalFile()) {
        openOrSaveLocalFile(url.toLocalFile());
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("atta")) {
        openAttachmentCopy(url);
        return;
    }
    // Only web addresses go to the desktop; the page gives no other kind a live link.
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        shellOpen(url.toString());
}

void KikBubbleViewMgr::openOrSaveLocalFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0) {
        showWarning(richTextOf(QStringLiteral("can not find %1.").arg(shortPath(path))));
        return;
    }
    const QString suffix = info.suffix().trimmed();
    const bool video = suffix == QLatin1String("mp4") || suffix == QLatin1String("mov");
    if (video && !videosMayOpen())
        return;
    if (!suffix.isEmpty() && opensDirectly(suffix))
        openInExplorer(path);
    else
        saveAttachment(path);
}

void KikBubbleViewMgr::saveAttachment(const QString &path)
{
    const QFileInfo source(path);
    const QString target = m_askSaveFile(QObject::tr("IDS_SAVE_ATTACHMENT"), QDir::home().filePath(source.fileName()));
    if (target.isEmpty())
        return;
    const QFileInfo targetInfo(target);
    // Saving a file over itself would remove it before copying it.
    if (targetInfo.exists() && targetInfo.canonicalFilePath() == source.canonicalFilePath()) {
        showInformation(QObject::tr("IDS_SAVE_ATTACHMENT_SUC"));
        return;
    }
    // Copied beside the target first: a failed copy leaves the file that was there.
    const QString partial = uniqueFilePath(target + QStringLiteral(".part"));
    bool saved = QFile::copy(path, partial);
    if (saved) {
        QFile::remove(target);
        saved = QFile::rename(partial, target);
    }
    QFile::remove(partial);
    if (saved)
        showInformation(QObject::tr("IDS_SAVE_ATTACHMENT_SUC"));
    else
        reportError(QObject::tr("IDS_SAVE_ATTACHMENT_FILE_ERROR"));
}

void KikBubbleViewMgr::openAttachmentCopy(const QUrl &url)
{
    const QUrlQuery query(url);
    const QString source = QString::fromUtf8(QByteArray::fromHex(query.queryItemValue(QStringLiteral("ph")).toLatin1()));
    if (source.isEmpty())
        return;
    const QString suffix = query.queryItemValue(QStringLiteral("sf"), QUrl::FullyDecoded).toLower();
    // The suffix came with the message: it must not name another folder.
    const QString name = sanitizeFileName(md5Hex(source) + QLatin1Char('.') + suffix);
    QString copy;
    try {
        copy = QDir(privateCacheFolderThrow(QStringLiteral("opened"))).filePath(name);
    } catch (const std::exception &error) {
        showWarning(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    if (!QFileInfo::exists(copy))
        QFile::copy(source, copy);
    onLinkClicked(QUrl::fromLocalFile(copy));
}

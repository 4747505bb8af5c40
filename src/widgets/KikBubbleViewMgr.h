#pragma once

#include "kik/KikMessage.h"
#include "views/KikBubbleHtml.h"
#include "widgets/Export.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QTemporaryDir;
class QWebEngineView;

// Shows messages as chat bubbles in a web view, 50 to a page, and answers the page's links:
// paging, pictures and attachment files (opened or saved), web addresses.
class PARLEWICK_WIDGETS_EXPORT KikBubbleViewMgr : public QObject
{
    Q_OBJECT
public:
    explicit KikBubbleViewMgr(QObject *parent = nullptr);
    ~KikBubbleViewMgr() override;

    void setView(QWebEngineView *view);
    int currentPage() const { return m_currentPage; }
    int pageCount() const { return m_pageCount; }
    QString anchor() const { return m_anchor; }

    // Asks where to save an attachment (title, proposed path); empty for none. Tests replace
    // the file dialog with this.
    using SaveFileAsker = std::function<QString(const QString &title, const QString &proposedPath)>;
    void setSaveFileAsker(SaveFileAsker asker);

    // Marks every place the keyword occurs in the text shown, on this page and the pages to
    // come; an empty keyword removes the marks.
    void setHighlight(const QString &keyword);
    QString highlight() const { return m_highlight; }

public slots:
    void showBubble(KikMessageList messages);
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    void scrollToPos(int index);
    void onLoadFinish(bool ok);
    void onLinkClicked(const QUrl &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool followTheme();
    void showPage(int pageNumber);
    void setPageHtml(const QString &html);
    void scrollToAnchor();
    void openOrSaveLocalFile(const QString &path);
    void saveAttachment(const QString &path);
    void openAttachmentCopy(const QUrl &url);
    void applyHighlight();

    QPointer<QWebEngineView> m_view;
    KikMessageList m_messages;
    int m_currentPage = 0;
    int m_pageCount = 0;
    QString m_anchor;
    QString m_highlight;
    KikBubbleHtml m_html;
    bool m_dark = false;
    SaveFileAsker m_askSaveFile;
    std::unique_ptr<QTemporaryDir> m_largePageDir;
};

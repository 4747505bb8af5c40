#include "TestEnv.h"

#include "TestFiles.h"
#include "app/AppFolders.h"
#include "app/ColourRoles.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "kik/KikDataSet.h"
#include "kikstore/KikFakeMedia.h"
#include "widgets/KikBubbleViewMgr.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest>

// The bubble view in a real web view (offscreen): pages, anchors, and clicks on the page's
// links. The desktop is replaced by URL handlers and message boxes by the test hook.
class TestKikBubbleViewMgr : public QObject
{
    Q_OBJECT
    KikDataSet set;
    KikChat *chat = nullptr;
    KikMessageList messages;
    QList<QUrl> opened;
    QStringList boxes;
    QWebEngineView *view = nullptr;
    KikBubbleViewMgr *mgr = nullptr;

public slots:
    void open(const QUrl &url) { opened << url; }

private:
    KikMessage *addMessage(qint64 id, const QDateTime &ts, const QString &body)
    {
        auto *message = new KikMessage;
        message->id = id;
        message->internal_id = id;
        message->ts = ts;
        message->body = body;
        message->chat = chat;
        set.messages.insert(id, message);
        chat->messages.append(message);
        return message;
    }

    QVariant evaluate(const QString &script)
    {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant &value) {
            result = value;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 10000))
            return QVariant(QStringLiteral("<timeout>"));
        return result;
    }

    // Shows the list and waits for the page to be loaded and scrolled.
    bool waitForLoad(const std::function<void()> &action)
    {
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        action();
        return QTest::qWaitFor([&] { return !loaded.isEmpty(); }, 120000) && loaded.first().first().toBool();
    }

    // A real mouse click, so that the page sees a user's gesture.
    void click(const QString &selector)
    {
        const QVariantList rect =
            evaluate(QStringLiteral("(function(){var e=document.querySelector('%1');e.scrollIntoView();"
                                    "var r=e.getBoundingClientRect();return [r.left+r.width/2,r.top+r.height/2];})()")
                         .arg(selector))
                .toList();
        QCOMPARE(rect.size(), 2);
        QWidget *target = view->focusProxy() ? view->focusProxy() : view;
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(rect.at(0).toInt(), rect.at(1).toInt()));
    }

    int scrollTop() { return evaluate(QStringLiteral("window.scrollY")).toInt(); }

    // The lowest contrast of the page's texts (date line, received and sent bubble) against their
    // ground: the page's colour, or the middle of the bubble picture behind the text.
    double lowestTextContrast()
    {
        const QVariantList found =
            evaluate(QStringLiteral("(function() {"
                                    "  function rgb(c) { return c.match(/\\d+/g).slice(0, 3).map(Number); }"
                                    "  var out = [];"
                                    "  ['.dt', '.bb1', '.bb2'].forEach(function(s) {"
                                    "    var e = document.querySelector(s);"
                                    "    if (!e) return;"
                                    "    var m = e.querySelector('.middle_middle');"
                                    "    out.push([rgb(getComputedStyle(e).color),"
                                    "              m ? getComputedStyle(m).backgroundImage.split('/').pop().replace(/\\W+$/, '')"
                                    "                : rgb(getComputedStyle(document.body).backgroundColor)]);"
                                    "  });"
                                    "  return out;"
                                    "})()"))
                .toList();
        if (found.size() != 3)
            return 0;
        double lowest = 21;
        for (const QVariant &item : found) {
            const QVariantList pair = item.toList();
            const QVariantList ink = pair.at(0).toList();
            QColor ground;
            if (pair.at(1).typeId() == QMetaType::QString) {
                const QImage picture(QDir(applicationFolder()).filePath(QStringLiteral("kikbb/") + pair.at(1).toString()));
                ground = picture.isNull() ? QColor() : picture.pixelColor(picture.rect().center());
            } else {
                const QVariantList rgb = pair.at(1).toList();
                ground = QColor(rgb.at(0).toInt(), rgb.at(1).toInt(), rgb.at(2).toInt());
            }
            if (!ground.isValid() || ink.size() != 3)
                return 0;
            lowest = std::min(lowest, contrastRatio(QColor(ink.at(0).toInt(), ink.at(1).toInt(), ink.at(2).toInt()), ground));
        }
        return lowest;
    }

private slots:
    void initTestCase()
    {
        auto *user = new KikUser;
        user->id = 1;
        user->display_name = QStringLiteral("Ann");
        set.users.insert(1, user);
        chat = new KikChat;
        chat->id = 1;
        chat->user = user;
        set.chats.insert(1, chat);
        const QDateTime start(QDate(2020, 5, 1), QTime(9, 0), Qt::UTC);
        for (int i = 0; i < 120; ++i)
            messages << addMessage(1000 + i, start.addSecs(i * 60), QStringLiteral("message number %1").arg(i));

        view = new QWebEngineView;
        view->resize(600, 400);
        view->show();
        mgr = new KikBubbleViewMgr(view);
        mgr->setView(view);
        for (const char *scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
        setMessageBoxTestHook([this](QMessageBox::Icon, const QString &text) {
            boxes << text;
            return QMessageBox::Ok;
        });
    }

    void cleanupTestCase()
    {
        setMessageBoxTestHook({});
        for (const char *scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        delete view;
    }

    void init()
    {
        opened.clear();
        boxes.clear();
    }

    void pagingLinksMoveBetweenPages()
    {
        QVERIFY(waitForLoad([&] { mgr->showBubble(messages); }));
        QCOMPARE(mgr->pageCount(), 3);
        QCOMPARE(mgr->currentPage(), 1);
        QCOMPARE(evaluate(QStringLiteral("document.getElementsByName('sms_1000').length")).toInt(), 1);
        QCOMPARE(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 50);
        // The style sheet beside the program is found through the base address.
        QCOMPARE(evaluate(QStringLiteral("getComputedStyle(document.querySelector('.bb1')).cssFloat")).toString(),
                 QStringLiteral("left"));

        QVERIFY(waitForLoad([&] { click(QStringLiteral("a[href=\"/next_page\"]")); }));
        QCOMPARE(mgr->currentPage(), 2);
        QCOMPARE(evaluate(QStringLiteral("document.getElementsByName('sms_1050').length")).toInt(), 1);

        QVERIFY(waitForLoad([&] { click(QStringLiteral("a[href=\"/pre_page\"]")); }));
        QCOMPARE(mgr->currentPage(), 1);
        QCOMPARE(mgr->anchor(), QStringLiteral("end"));
        // Coming back from the next page, the reader lands at the end of this one.
        QTRY_VERIFY_WITH_TIMEOUT(scrollTop() > 0, 5000);
        QVERIFY(opened.isEmpty());
    }

    void scrollToPosShowsTheMessagesPageAndAnchor()
    {
        QVERIFY(waitForLoad([&] { mgr->showBubble(messages); }));
        QVERIFY(waitForLoad([&] { mgr->scrollToPos(50); }));
        QCOMPARE(mgr->currentPage(), 2);
        QCOMPARE(mgr->anchor(), QStringLiteral("sms_1050"));

        // On the page already shown, only the scroll position changes.
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        mgr->scrollToPos(90);
        QTRY_VERIFY_WITH_TIMEOUT(scrollTop() > 0, 5000);
        const int position =
            evaluate(QStringLiteral("Math.round(document.getElementsByName('sms_1090')[0].getBoundingClientRect().top)")).toInt();
        QVERIFY2(qAbs(position) <= 2
                     || scrollTop() + view->height() >= evaluate(QStringLiteral("document.body.scrollHeight")).toInt() - 2,
                 qPrintable(QString::number(position)));
        QCOMPARE(loaded.count(), 0);

        mgr->scrollToPos(-1);
        mgr->scrollToPos(120);
        QCOMPARE(mgr->currentPage(), 2);
    }

    void fileLinksOpenPicturesAndWarnAboutMissingFiles()
    {
        const QString picture = writtenFile(QDir::home().filePath(QStringLiteral("photo.png")), QByteArray("not really a png"));
        QVERIFY(!picture.isEmpty());
        KikMessage *withPicture = addMessage(5000, QDateTime::currentDateTimeUtc(), QString());
        withPicture->app_id = QStringLiteral("com.kik.ext.gallery");
        withPicture->content_id = QStringLiteral("photo");
        withPicture->content_path = picture;
        KikMessage *missing = addMessage(5001, QDateTime::currentDateTimeUtc(), QString());
        missing->app_id = QStringLiteral("com.kik.ext.video");
        missing->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("file:///nowhere/at/all/clip.mp4"));

        QVERIFY(waitForLoad([&] { mgr->showBubble({withPicture, missing}); }));
        click(QStringLiteral("a[href^=\"file:\"]"));
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 5000);
        QCOMPARE(opened.first().toLocalFile(), picture);

        click(QStringLiteral("a[href=\"file:///nowhere/at/all/clip.mp4\"]"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 5000);
        QCOMPARE(boxes.first(), QStringLiteral("can not find ...at/all/clip.mp4."));
        QCOMPARE(opened.size(), 1);
    }

    void attachmentWithoutSuffixIsCopiedAndOpened()
    {
        const QString content = writtenFile(QDir::home().filePath(QStringLiteral("c0ffee")), QByteArray("jpeg bytes"));
        KikMessage *message = addMessage(6000, QDateTime::currentDateTimeUtc(), QString());
        message->app_id = QStringLiteral("com.kik.ext.camera");
        message->content_id = QStringLiteral("c0ffee");
        message->content_path = content;
        message->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("IMG_0001.JPG"));

        QVERIFY(waitForLoad([&] { mgr->showBubble({message}); }));
        click(QStringLiteral("a[href^=\"atta:\"]"));
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, 5000);
        const QString copy = QDir(privateCachePath(QStringLiteral("opened"))).filePath(md5Hex(content) + QStringLiteral(".jpg"));
        QCOMPARE(opened.first().toLocalFile(), copy);
        QFile copied(copy);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("jpeg bytes"));
        copied.remove();
    }

    // Today's media as the page's engine sees it: the WebP, the animated GIF and the sticker
    // made for the tests are real pictures, drawn from their files without suffix.
    void mediaOfEachTypeIsDrawn()
    {
        KikMessageList shown;
        const QList<QByteArray> media{KikFakeMedia::webp(Qt::red), KikFakeMedia::animatedGif(), KikFakeMedia::png(Qt::red, true),
                                      KikFakeMedia::jpeg(Qt::red)};
        for (qsizetype i = 0; i < media.size(); ++i) {
            KikMessage *message = addMessage(7000 + i, QDateTime::currentDateTimeUtc(), QString());
            message->app_id = i == 2 ? QStringLiteral("com.kik.ext.stickers") : QStringLiteral("com.kik.ext.gallery");
            message->content_id = QStringLiteral("media%1").arg(i);
            message->content_path = writtenFile(QDir::home().filePath(message->content_id), media.at(i));
            shown << message;
        }
        QVERIFY(waitForLoad([&] { mgr->showBubble(shown); }));
        const QString widths = QStringLiteral("Array.from(document.images).map(function(i){return i.naturalWidth;}).join(',')");
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(widths).toString(), QStringLiteral("16,4,24,24"), 10000);
    }

    // A video opens in another program: the user is asked the first time, and a yes is kept.
    void videosOpenAfterAskingOnce()
    {
        const QString video = writtenFile(QDir::home().filePath(QStringLiteral("clip.mp4")), KikFakeMedia::film(3, false));
        const auto answer = [this](QMessageBox::StandardButton button) {
            setMessageBoxTestHook([this, button](QMessageBox::Icon, const QString &text) {
                boxes << text;
                return button;
            });
        };
        answer(QMessageBox::Cancel);
        mgr->onLinkClicked(QUrl::fromLocalFile(video));
        QCOMPARE(boxes.size(), 1);
        QVERIFY(boxes.first().startsWith(QStringLiteral("Open the video in your desktop's video player?")));
        QVERIFY(opened.isEmpty());
        answer(QMessageBox::Ok);
        mgr->onLinkClicked(QUrl::fromLocalFile(video));
        mgr->onLinkClicked(QUrl::fromLocalFile(video));
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(video), QUrl::fromLocalFile(video)}));
    }

    void otherFilesAreOfferedForSaving()
    {
        const QString document = writtenFile(QDir::home().filePath(QStringLiteral("notes.PDF")), QByteArray("%PDF-1.4"));
        const QString target = QDir(QDir::homePath()).filePath(QStringLiteral("saved/notes.pdf"));
        QDir().mkpath(QFileInfo(target).path());
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("older file");
        }
        QString proposed;
        mgr->setSaveFileAsker([&](const QString &, const QString &path) {
            proposed = path;
            return target;
        });
        mgr->onLinkClicked(QUrl::fromLocalFile(document));
        QCOMPARE(proposed, QDir::home().filePath(QStringLiteral("notes.PDF")));
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("%PDF-1.4"));
        QCOMPARE(boxes, QStringList{QStringLiteral("Attachment saved successfully.")});
        QVERIFY(opened.isEmpty());

        // Saving a file onto itself keeps it.
        mgr->setSaveFileAsker([&](const QString &, const QString &) { return document; });
        mgr->onLinkClicked(QUrl::fromLocalFile(document));
        QFile same(document);
        QVERIFY(same.open(QIODevice::ReadOnly));
        QCOMPARE(same.readAll(), QByteArray("%PDF-1.4"));
    }

    void webLinksGoToTheDesktopOthersNowhere()
    {
        mgr->onLinkClicked(QUrl(QStringLiteral("https://example.invalid/a?b=c")));
        mgr->onLinkClicked(QUrl(QStringLiteral("javascript:alert(1)")));
        mgr->onLinkClicked(QUrl(QStringLiteral("mailto:someone@example.invalid")));
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.invalid/a?b=c"))});
    }

    void hostileMessagesStayInert()
    {
        auto *group = new KikUser;
        group->id = 2;
        group->is_group = true;
        group->display_name = QStringLiteral("Group");
        auto *mallory = new KikUser;
        mallory->id = 3;
        mallory->display_name = QStringLiteral("<img src=x onerror=\"document.title='owned'\">");
        set.users.insert(2, group);
        set.users.insert(3, mallory);
        auto *groupChat = new KikChat;
        groupChat->id = 2;
        groupChat->user = group;
        set.chats.insert(2, groupChat);

        KikMessageList hostile;
        const auto add = [&](const QString &body) {
            KikMessage *message = addMessage(7000 + hostile.size(), QDateTime::currentDateTimeUtc(), body);
            message->chat = groupChat;
            message->target_user = mallory;
            hostile << message;
            return message;
        };
        add(QStringLiteral("<script>document.title='owned'</script>\"><b onclick=x>"));
        KikMessage *sticker = add(QString());
        sticker->app_id = QStringLiteral("com.kik.cards");
        sticker->sub_app_id = QStringLiteral("Stickers");
        sticker->attachment.insert(QStringLiteral("extra:sticker_url"),
                                   QStringLiteral("http://x/\" onmouseover=\"document.title='owned'"));
        KikMessage *search = add(QString());
        search->app_id = QStringLiteral("com.kik.cards");
        search->sub_app_id = QStringLiteral("Image Search");
        search->attachment.insert(QStringLiteral("extra:jsonData"),
                                  QStringLiteral("{\"url\":\"javascript:document.title='owned'\"}"));
        KikMessage *video = add(QString());
        video->app_id = QStringLiteral("com.kik.ext.video");
        video->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral(" JaVa\tScRiPt:document.title='owned'"));
        video->preview_path = QStringLiteral("http://x/\"><script>document.title='owned'</script>");

        QVERIFY(waitForLoad([&] { mgr->showBubble(hostile); }));
        QCOMPARE(
            evaluate(QStringLiteral("document.querySelectorAll('script,b,[onclick],[onerror],[onmouseover]').length")).toInt(),
            0);
        QCOMPARE(
            evaluate(QStringLiteral("Array.from(document.links).filter(a => !/^(file|https?):|#$/.test(a.href)).length")).toInt(),
            0);
        QCOMPARE(evaluate(QStringLiteral("document.getElementsByClassName('handle')[0].textContent")).toString(),
                 mallory->display_name);
        QCOMPARE(evaluate(QStringLiteral("document.links.length")).toInt(), 3);
        QCOMPARE(evaluate(QStringLiteral("document.title")).toString(), QStringLiteral("Bubble"));
    }

    void largePagesAreShownToo()
    {
        // 50 messages of 100 KB each: far beyond what the view takes inline.
        KikMessageList large;
        for (int i = 0; i < 51; ++i)
            large << addMessage(8000 + i, QDateTime::currentDateTimeUtc(), QString(100000, QLatin1Char('<')));
        QVERIFY(waitForLoad([&] { mgr->showBubble(large); }));
        QCOMPARE(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 50);
        QCOMPARE(evaluate(QStringLiteral("getComputedStyle(document.querySelector('.bb1')).cssFloat")).toString(),
                 QStringLiteral("left"));
        QVERIFY(waitForLoad([&] { click(QStringLiteral("a[href=\"/next_page\"]")); }));
        QCOMPARE(mgr->currentPage(), 2);
    }

    // The page follows the theme, also when it changes while a page is shown.
    void textsStayReadableInBothThemes()
    {
        KikMessageList shown = messages.mid(0, 2);
        shown.last()->was_me = true;
        QVERIFY(waitForLoad([&] { mgr->showBubble(shown); }));
        QVERIFY2(lowestTextContrast() >= 4.5, "light page");
        const QPalette light = QApplication::palette();
        QVERIFY(waitForLoad([] { QApplication::setPalette(ColourRoles::darkSet().palette()); }));
        QCOMPARE(evaluate(QStringLiteral("document.body.className")).toString(), QStringLiteral("dark"));
        const double dark = lowestTextContrast();
        QVERIFY(waitForLoad([&] { QApplication::setPalette(light); }));
        shown.last()->was_me = false;
        QVERIFY2(dark >= 4.5, qPrintable(QStringLiteral("dark page: %1").arg(dark)));
    }

    void anEmptyListClearsTheView()
    {
        QVERIFY(waitForLoad([&] { mgr->showBubble(messages); }));
        mgr->showBubble({});
        QCOMPARE(mgr->currentPage(), 0);
        QCOMPARE(mgr->pageCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(QStringLiteral("document.getElementsByClassName('bb1').length")).toInt(), 0, 5000);
    }
};

int main(int argc, char *argv[])
{
    TestEnv env;   // before the application: the web engine keeps its files under HOME
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestEnv::installEnglishTexts();
    TestKikBubbleViewMgr test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestKikBubbleViewMgr.moc"

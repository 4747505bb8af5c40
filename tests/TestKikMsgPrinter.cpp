#include "TestEnv.h"

#include "KikDataBuilder.h"
#include "widgets/KikMsgPrinter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfDocument>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QtTest>

class TestKikMsgPrinter : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase() { QVERIFY(TestEnv::installEnglishTexts()); }

    void cleanup() { KikMsgPrinter::setPreviewRunner({}); }

    void previewRunsOnAnA4PrinterAndPaintsTheSortedMessages()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const QDateTime t0(QDate(2022, 2, 2), QTime(9, 0), QTimeZone::utc());
        KikMessageList messages;
        for (int i = 40; i > 0; --i)   // newest first, and more than a page
            messages.append(build.addMessage(chat, t0.addSecs(i * 120), QStringLiteral("message %1 \U0001F604").arg(i), i % 2));

        QWidget window;
        KikMsgPrinter printer(&window);
        const QString pdf = env.path(QStringLiteral("preview.pdf"));
        int runs = 0;
        KikMsgPrinter::setPreviewRunner([&](QPrintPreviewDialog &dialog) {
            ++runs;
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Print Messages"));
            QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
            QVERIFY(dialog.isModal());
            QCOMPARE(dialog.parentWidget(), &window);

            QPrinter *device = dialog.printer();
            const QPageLayout layout = device->pageLayout();
            QCOMPARE(layout.pageSize().id(), QPageSize::A4);
            QCOMPARE(layout.orientation(), QPageLayout::Portrait);
            QCOMPARE(layout.margins(QPageLayout::Point), QMarginsF(20, 20, 20, 20));
            QCOMPARE(device->resolution(), QImage(1, 1, QImage::Format_RGB32).logicalDpiY());
            // Without an installed printer the preview still works, on PDF output.
            if (!QPrinter().isValid())
                QCOMPARE(device->outputFormat(), QPrinter::PdfFormat);

            device->setOutputFileName(pdf);
            emit dialog.paintRequested(device);
        });
        printer.print(messages);

        QCOMPARE(runs, 1);
        QCOMPARE(printer.messages().size(), 40);
        QVERIFY(printer.messages().first()->body.startsWith(QStringLiteral("message 1 ")));
        QVERIFY(printer.messages().last()->body.startsWith(QStringLiteral("message 40 ")));
        QPdfDocument document;
        QCOMPARE(document.load(pdf), QPdfDocument::Error::None);
        QVERIFY(document.pageCount() >= 2);
        // Paper shows emoji as the screen does (drawn as pictures), never "[EMOJI]".
        const QString firstPage = document.getAllText(0).text();
        QVERIFY2(firstPage.contains(QStringLiteral("message 1")) && !firstPage.contains(QStringLiteral("[EMOJI]")),
                 qPrintable(firstPage));
    }
};

QTEST_MAIN(TestKikMsgPrinter)
#include "TestKikMsgPrinter.moc"

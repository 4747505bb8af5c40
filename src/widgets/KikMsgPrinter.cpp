#include "widgets/KikMsgPrinter.h"

#include "kik/KikRules.h"
#include "views/KikPagePainter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

KikMsgPrinter::PreviewRunner &previewRunner()
{
    static KikMsgPrinter::PreviewRunner runner;
    return runner;
}

}   // namespace

KikMsgPrinter::KikMsgPrinter(QObject *parent)
    : QObject(parent)
{
}

void KikMsgPrinter::setPreviewRunner(PreviewRunner runner)
{
    previewRunner() = std::move(runner);
}

void KikMsgPrinter::print(const KikMessageList &messages)
{
    m_messages = messages;
    sortMessages(m_messages);

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFormat(QPrinter::NativeFormat);
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    QPrintPreviewDialog dialog(&printer, qobject_cast<QWidget *>(parent()));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    dialog.setWindowTitle(QObject::tr("IDS_PRINT_MESSAGES"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &KikMsgPrinter::onPaintRequested);
    if (previewRunner())
        previewRunner()(dialog);
    else
        dialog.exec();
}

void KikMsgPrinter::onPaintRequested(QPrinter *printer)
{
    KikPagePainter painter;
    painter.setEmojiStyle(EmojiStyle::Characters);   // paper shows what the screen shows
    if (!painter.start(printer))
        return;
    for (const KikMessage *message : std::as_const(m_messages))
        painter.draw(message);
    painter.end();
}

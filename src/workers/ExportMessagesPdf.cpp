#include "workers/ExportMessagesPdf.h"

#include "app/AppError.h"
#include "app/FileUtils.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>

namespace {

// The resolution a printer in screen-resolution mode uses, so that exported pages look like
// printed ones. A new image carries it (the primary screen's, or 96 without a screen) and,
// unlike the screen itself, may be asked from any thread.
int screenResolution()
{
    return QImage(1, 1, QImage::Format_RGB32).logicalDpiY();
}

[[noreturn]] void raise(const QString &text)
{
    failWith(text);
}

}   // namespace

ExportMessagesPdf::ExportMessagesPdf(const QString &filePath, EmojiStyle emoji)
    : m_file(filePath)
    , m_printer(&m_file)
{
    m_pages.setEmojiStyle(emoji);
    m_printer.setResolution(screenResolution());
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    m_printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
}

void ExportMessagesPdf::begin()
{
    if (!m_file.open(QIODevice::WriteOnly))
        raise(fileWriteProblem(m_file));
    if (!m_pages.start(&m_printer))
        raise(QStringLiteral("Cannot draw the pages of %1: the PDF writer did not start on it.").arg(m_file.fileName()));
}

void ExportMessagesPdf::write(const KikMessage *message)
{
    m_pages.draw(message);
}

void ExportMessagesPdf::end()
{
    m_pages.end();
    if (!m_file.commit())
        raise(fileWriteProblem(m_file));
}

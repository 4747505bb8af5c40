#include "ui/ExportFileCommand.h"

#include "app/MessageBoxes.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "workers/ExportMessagesThread.h"
#include "workers/ExportTarget.h"

#include <QDateTime>
#include <QDir>

#include <stdexcept>

namespace {

const QStringList FilterKinds = {QStringLiteral("txt"), QStringLiteral("doc"), QStringLiteral("csv"), QStringLiteral("pdf"),
                                 QStringLiteral("html")};

}   // namespace

const QStringList &ExportFileCommand::filters()
{
    static const QStringList list = {QStringLiteral("Text Files(*.txt)"), QStringLiteral("Doc Files(*.doc)"),
                                     QStringLiteral("CSV Files(*.csv)"), QStringLiteral("PDF Files(*.pdf)"),
                                     QStringLiteral("HTML Files(*.html)")};
    return list;
}

QString ExportFileCommand::kindOfFilter(const QString &filter)
{
    const qsizetype index = filters().indexOf(filter);
    // Any other text is handed on as it is, for the export rules to refuse.
    return index < 0 ? filter : FilterKinds.at(index);
}

void ExportFileCommand::run(MessageVariant variant)
{
    const CommandMessages messages = m_window.messagesFor(variant);
    if (messages.messages.isEmpty())
        return;
    const QString initialPath = QDir::home().filePath(
        QStringLiteral("chats(%1)").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    const CommandDialogs::ExportChoice chosen = m_window.dialogs().chooseExportFile(
        QObject::tr("IDS_SEL_EXPORT_MESSAGES_PATH"), initialPath, filters().join(QStringLiteral(";;")));
    if (chosen.path.isEmpty())
        return;
    ExportTarget target;
    try {
        target = ExportTarget::forChosenPath(chosen.path, kindOfFilter(chosen.filter));
    } catch (const std::exception &error) {
        reportError(QString::fromUtf8(error.what()));
        return;
    }
    ProgressForm form(&m_window);
    ExportMessagesThread worker(messages.messages, target.path, target.format, &form);
    worker.setEmojiStyle(chosen.emojiAsCharacters ? EmojiStyle::Characters : EmojiStyle::Placeholder);
    runWithProgress(form, worker);
}

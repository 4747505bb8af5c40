#include "ui/DropImport.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"
#include "itunes/BackupManifest.h"
#include "kik/IOSKikDb.h"
#include "ui/CommandHost.h"
#include "ui/WindowFlows.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

#include <stdexcept>

namespace {

QString whatToDrop()
{
    return QStringLiteral("To import Kik messages, drop one folder on the window: an iTunes backup (the folder "
                          "holding Manifest.db or Manifest.mbdb) or a copy of Kik's app folder (the folder holding "
                          "Documents/kik.sqlite).");
}

QString shownPath(const QString &folder)
{
    return QDir::toNativeSeparators(folder).toHtmlEscaped();
}

bool hasFile(const QDir &folder, const char *name)
{
    return QFileInfo(folder.filePath(QLatin1String(name))).isFile();
}

// Pictures read out of a dropped folder's attachment descriptions go to the program's cache,
// one folder per dropped folder: the folder itself is only read.
QString picturesCache(const QString &folder)
{
    return QDir(iosCacheFolder()).filePath(QStringLiteral("dropped/%1/thumbs").arg(md5Hex(folder)));
}

}   // namespace

DropImport::Kind DropImport::classify(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.isReadable())
        return Kind::Unreadable;
    if (hasFile(dir, "Manifest.db") || hasFile(dir, "Manifest.mbdb"))
        return Kind::ItunesBackup;
    if (hasFile(dir, IOSKikDb::StoreFile))
        return Kind::KikFolder;
    return Kind::Other;
}

DropImport::DropImport(QWidget &window, CommandHost &host)
    : QObject(&window)
    , m_window(window)
    , m_host(host)
{
    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

bool DropImport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_window)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Everything with files is taken, so that a wrong drop is told why instead of refused.
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop:
        drop(*static_cast<QDropEvent *>(event));
        return true;
    default:
        return false;
    }
}

void DropImport::drop(const QDropEvent &event)
{
    const QList<QUrl> urls = event.mimeData()->urls();
    const QString folder = urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
    qInfo().noquote() << "dropped on the window:" << (folder.isEmpty() ? QStringLiteral("%1 items").arg(urls.size()) : folder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        // After the drop has ended: a box inside the drop would keep the dragging program waiting.
        QTimer::singleShot(0, this, [] { showInformation(whatToDrop()); });
        return;
    }
    const Kind kind = classify(folder);
    QTimer::singleShot(0, this, [this, folder, kind] { importFolder(folder, kind); });
}

void DropImport::importFolder(const QString &folder, Kind kind)
{
    switch (kind) {
    case Kind::Unreadable:
        // QDir says only that it cannot list the folder: that is a missing permission.
        showWarning(QStringLiteral("The folder %1 cannot be read: you have no permission to open it.").arg(shownPath(folder)));
        return;
    case Kind::Other:
        showInformation(QStringLiteral("%1 is neither an iTunes backup nor a copy of Kik's app folder.<br/><br/>%2")
                            .arg(shownPath(folder), whatToDrop()));
        return;
    case Kind::ItunesBackup: {
        const auto backup = QSharedPointer<BackupManifest>::create(folder);
        try {
            backup->readInfo();
        } catch (const std::exception &error) {
            reportError(richTextOf(QString::fromUtf8(error.what())));
            return;
        }
        if (!backup->isFinished()) {
            showWarning(richTextOf(backup->unfinishedText()));
            return;
        }
        WindowFlows(m_host).importDroppedBackup(backup);
        return;
    }
    case Kind::KikFolder:
        WindowFlows(m_host).importDroppedKikFolder(folder, picturesCache(folder));
        return;
    }
}

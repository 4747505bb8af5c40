#include "app/FileUtils.h"

#include "app/AppError.h"
#include "app/ColourRoles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Device names Windows reserves; a file called like one of them cannot be created there.
bool isReservedDeviceName(const QString &base)
{
    static const QStringList reserved = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),  QStringLiteral("CLOCK$"), QStringLiteral("NUL"),
        QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),   QStringLiteral("COM5"),
        QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"), QStringLiteral("COM9"),   QStringLiteral("LPT1")};
    return reserved.contains(base, Qt::CaseInsensitive);
}

QString baseBeforeFirstDot(const QString &name)
{
    const int dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString suffixAfterLastDot(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

// "Name.pdf" for 0, "Name(n).pdf" after it: the base before the first dot, the suffix after the last.
QString numberedFilePath(const QString &path, int n)
{
    if (n == 0)
        return path;
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    QString candidate = QStringLiteral("%1(%2)").arg(baseBeforeFirstDot(fileName)).arg(n);
    const QString suffix = suffixAfterLastDot(fileName);
    if (!suffix.isEmpty())
        candidate += QLatin1Char('.') + suffix;
    return info.dir().filePath(candidate);
}

// A link counts as there even when what it points to is not.
bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The candidate's name is taken in one of the folders.
bool takenIn(const QStringList &folders, const QString &candidate)
{
    const QString name = QFileInfo(candidate).fileName();
    return std::any_of(folders.cbegin(), folders.cend(),
                       [&](const QString &folder) { return entryExists(QDir(folder).filePath(name)); });
}

}   // namespace

QString sanitizeFileName(const QString &name)
{
    // Control characters go too: a NUL would cut the name short where the file is opened.
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\p{Cc}]"));
    const QString base = baseBeforeFirstDot(name);
    if (isReservedDeviceName(base)) {
        // The suffix comes from the same untrusted name: it must not carry a separator either.
        const QString suffix = suffixAfterLastDot(name).remove(forbidden);
        QString result = QStringLiteral("$$") + base + QStringLiteral("$$");
        if (!suffix.isEmpty())
            result += QLatin1Char('.') + suffix;
        return result;
    }
    QString result = name;
    result.remove(forbidden);
    result = result.trimmed();
    // "." and ".." would name the folder itself or its parent once joined to a path.
    static const QRegularExpression onlyDots(QStringLiteral("^\\.+$"));
    if (onlyDots.match(result).hasMatch())
        result.fill(QLatin1Char('_'));
    return result;
}

QString uniqueFilePath(const QString &path, const QStringList &alsoFreeIn)
{
    for (int n = 0;; ++n) {
        QString candidate = numberedFilePath(path, n);
        if (!entryExists(candidate) && !takenIn(alsoFreeIn, candidate))
            return candidate;
    }
}

QString createUniqueFile(const QString &path, const QStringList &alsoFreeIn)
{
    for (int n = 0; n < 10000; ++n) {
        QString candidate = numberedFilePath(path, n);
        if (takenIn(alsoFreeIn, candidate))
            continue;
        // Exclusive creation: an entry that appeared since the name was chosen, or a link
        // pointing elsewhere, is never opened.
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return candidate;
        if (!entryExists(candidate))
            failWith(
                QStringLiteral("Cannot create the file %1: %2").arg(QDir::toNativeSeparators(candidate), file.errorString()));
    }
    failWith(QStringLiteral("Cannot find a free name for %1: it and 9999 numbered names beside it are taken.")
                 .arg(QDir::toNativeSeparators(path)));
}

QString fileWriteProblem(const QFileDevice &file)
{
    const QFileInfo info(file.fileName());
    const QString name = QDir::toNativeSeparators(info.absoluteFilePath());
    return QStringLiteral("Cannot write %1: %2").arg(name, fileWriteReason(file));
}

QString fileWriteReason(const QFileDevice &file)
{
    const QString folder = QFileInfo(file.fileName()).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 does not exist.").arg(QDir::toNativeSeparators(folder));
    // A full disk often comes back as "Unknown error".
    QString reason = file.errorString();
    const QStorageInfo storage(folder);
    if (reason == qt_error_string(ENOSPC) || reason == qt_error_string(EDQUOT)
        || (storage.isValid() && storage.bytesAvailable() == 0))
        return QStringLiteral("the disk is full.");
    // A write cut short says nothing ("Unknown error"): there was no room for the rest.
    if (reason == qt_error_string(EFBIG) || reason == QFile().errorString())
        return QStringLiteral("the file is too large for this disk or limit.");
    return reason;
}

namespace {

// QFile::remove keeps a file whose buffered rest cannot be written (a full disk) on closing.
void removeUnfinished(QFile &file)
{
    file.close();
    QFile::remove(file.fileName());
}

}   // namespace

void copyToNewFileThrow(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        failWith(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(source), in.errorString()));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        failWith(fileWriteProblem(out));
    while (!in.atEnd()) {
        const QByteArray block = in.read(1 << 16);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            break;
        if (out.write(block) != block.size() || !out.flush()) {
            const QString problem = fileWriteProblem(out);
            removeUnfinished(out);
            failWith(problem);
        }
    }
    if (in.error() != QFileDevice::NoError) {
        removeUnfinished(out);
        failWith(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(source), in.errorString()));
    }
}

QString escapeHtml(QString &text)
{
    // One pass, and none at all for the many texts without these characters: exporting a
    // large chat escapes every message.
    const auto escaped = [](QChar c) -> QLatin1String {
        switch (c.unicode()) {
        case '&':
            return QLatin1String("&amp;");
        case '<':
            return QLatin1String("&lt;");
        case '>':
            return QLatin1String("&gt;");
        case '\n':
            return QLatin1String("<br/>");
        default:
            return QLatin1String();
        }
    };
    const auto first = std::find_if(text.cbegin(), text.cend(), [&escaped](QChar c) { return !escaped(c).isNull(); });
    if (first == text.cend())
        return text;
    QString out;
    out.reserve(text.size() + 32);
    out.append(QStringView(text.cbegin(), first));
    for (auto it = first; it != text.cend(); ++it) {
        const QLatin1String entity = escaped(*it);
        if (entity.isNull())
            out.append(*it);
        else
            out.append(entity);
    }
    text = out;
    return text;
}

QString escapeHtml(const QString &text)
{
    QString copy = text;
    return escapeHtml(copy);
}

QString md5Hex(const QString &text)
{
    return md5Hex(text.toUtf8(), false);
}

QString md5Hex(const QByteArray &bytes, bool asGuid)
{
    QString hex = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    if (asGuid && hex.size() == 32) {
        hex = hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) + QLatin1Char('-')
              + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20);
    }
    return hex;
}

void removeFolderTree(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        return;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        // A link to a folder is removed as a link; its target is not ours to empty.
        if (entry.isDir() && !entry.isSymLink())
            removeFolderTree(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    QDir().rmdir(dir.absolutePath());
}

QString styleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":style.css"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray bytes = file.readAll();
        const int nul = bytes.indexOf('\0');
        return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul));
    }();
    // Filled each time: the colours follow the application palette of the moment.
    return ColourRoles::current().fillStyleSheet(sheet);
}

bool linkInPlaceOf(const QString &existing, const QString &target)
{
#ifdef Q_OS_UNIX
    const QString staged = target + QStringLiteral(".parlewick-link");
    QFile::remove(staged);
    if (::link(QFile::encodeName(existing).constData(), QFile::encodeName(staged).constData()) != 0)
        return false;
    if (::rename(QFile::encodeName(staged).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    QFile::remove(staged);
#else
    Q_UNUSED(existing);
    Q_UNUSED(target);
#endif
    return false;
}

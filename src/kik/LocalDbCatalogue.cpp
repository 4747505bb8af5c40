#include "kik/LocalDbCatalogue.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "kik/KikLocalDb.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QRegularExpression>

namespace {

QStringList subFolders(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}   // namespace

LocalDbCatalogue::LocalDbCatalogue()
    : m_root(localDatabasesFolder())
{
}

LocalDbCatalogue::LocalDbCatalogue(const QString &root)
    : m_root(root)
{
}

QString LocalDbCatalogue::nameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QObject::tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]"));
    static const QRegularExpression onlyDots(QStringLiteral("^\\s*\\.+\\s*$"));
    if (name.contains(forbidden) || onlyDots.match(name).hasMatch())
        return QObject::tr("IDS_INVALID_LOCALDB_NAME");
    return QString();
}

bool LocalDbCatalogue::sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QStringList LocalDbCatalogue::names() const
{
    QStringList names = subFolders(m_root);
    names.removeIf([this](const QString &name) { return !holdsDatabase(folderOf(name)); });
    return names;
}

QString LocalDbCatalogue::storedName(const QString &name) const
{
    if (QFileInfo(folderOf(name)).isDir())
        return name;
    for (const QString &existing : subFolders(m_root)) {
        if (sameName(existing, name))
            return existing;
    }
    return name;
}

QString LocalDbCatalogue::folderOf(const QString &storedName) const
{
    return QDir(m_root).filePath(storedName);
}

QString LocalDbCatalogue::folderForThrow(const QString &name) const
{
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        failWith(problem);
    return folderOf(storedName(name));
}

bool LocalDbCatalogue::holdsDatabase(const QString &folder)
{
    return QFileInfo(QDir(folder).filePath(QLatin1String(KikLocalDb::DatabaseFileName))).isFile();
}

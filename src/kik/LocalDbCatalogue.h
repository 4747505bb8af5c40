#pragma once

#include "kik/Export.h"

#include <QString>
#include <QStringList>

// The local databases of the data folder: each is a folder of local_databases named after the
// database. This is the one place that turns a name into a folder: names are checked here (a
// name becomes a folder, so it may not lead out of the databases folder) and matched here
// (letters without case, as the window has always told databases apart).
class PARLEWICK_KIK_EXPORT LocalDbCatalogue
{
public:
    // The databases folder of the data folder (created).
    LocalDbCatalogue();
    explicit LocalDbCatalogue(const QString &root);

    // What is wrong with a name a user typed: empty when it can name a database.
    static QString nameProblem(const QString &name);
    // Two names of one database: letters are compared without case.
    static bool sameName(const QString &a, const QString &b);

    // The names of the folders that hold a database, sorted.
    QStringList names() const;
    // The spelling of the existing folder that name means (its own spelling first, then one that
    // differs only in case); name itself when there is none.
    QString storedName(const QString &name) const;
    // The folder of the database name as it is stored (storedName gives that name).
    QString folderOf(const QString &storedName) const;
    // The folder a name a user typed means; throws AppError with nameProblem's text.
    QString folderForThrow(const QString &name) const;
    // Whether the database's folder holds its database file.
    static bool holdsDatabase(const QString &folder);

    const QString &root() const { return m_root; }

private:
    QString m_root;
};

#include "StressChecks.h"

#include "cli/ConsoleProgress.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"
#include "workers/IOSLoadKikFromiTunesThread.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSharedPointer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <stdexcept>

namespace {

const int kNamedAtMost = 5;   // a run that left thousands of files is told by a few and a count

// Files (not folders) under root, as paths relative to it, hidden ones included.
QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext())
        files << base.relativeFilePath(it.next());
    files.sort();
    return files;
}

void addStrays(QStringList &problems, const QString &what, const QStringList &strays)
{
    if (strays.isEmpty())
        return;
    problems << QStringLiteral("%1 %2 left: %3%4")
                    .arg(strays.size())
                    .arg(what, strays.mid(0, kNamedAtMost).join(QStringLiteral(", ")),
                         strays.size() > kNamedAtMost ? QStringLiteral(", ...") : QString());
}

QString countProblem(qint64 count, const QList<qint64> &counts)
{
    if (counts.contains(count))
        return QString();
    QStringList allowed;
    for (const qint64 c : counts)
        allowed << QString::number(c);
    return QStringLiteral("%1 messages, neither of %2").arg(count).arg(allowed.join(QStringLiteral(" or ")));
}

// Opens the database as the next writer would, which rolls back a journal a killed run left,
// then checks it. Returns the number of messages, or -1 after adding the problem.
qint64 checkedMessageCount(const QString &path, QStringList &problems)
{
    sqlite3 *db = nullptr;
    qint64 count = -1;
    const auto fail = [&](const char *what) {
        problems << QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromUtf8(sqlite3_errmsg(db)));
    };
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        fail("can not open");
        sqlite3_close(db);
        return -1;
    }
    sqlite3_busy_timeout(db, 60000);
    sqlite3_stmt *check = nullptr;
    if (sqlite3_prepare_v2(db, "pragma integrity_check", -1, &check, nullptr) != SQLITE_OK) {
        fail("can not check");
    } else {
        QStringList found;
        while (sqlite3_step(check) == SQLITE_ROW)
            found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)));
        if (found != QStringList{QStringLiteral("ok")})
            problems << QStringLiteral("integrity check of %1: %2").arg(path, found.mid(0, kNamedAtMost).join(QLatin1Char(' ')));
    }
    sqlite3_finalize(check);
    sqlite3_stmt *messages = nullptr;
    if (sqlite3_prepare_v2(db, "select count(*) from kik_message", -1, &messages, nullptr) != SQLITE_OK)
        fail("can not count the messages of");
    else if (sqlite3_step(messages) == SQLITE_ROW)
        count = sqlite3_column_int64(messages, 0);
    sqlite3_finalize(messages);
    sqlite3_close(db);
    return count;
}

// Every file the program would show from the database: pictures, attachments, profile pictures.
QSet<QString> referencedFiles(const QString &folder, QStringList &problems)
{
    QSet<QString> files;
    try {
        KikLocalDb db(folder);
        db.setReadOnly(true);
        const KikDataSetPtr data = KikDataSetPtr::create();
        db.load(data);
        for (const KikMessage *message : data->messages)
            for (const QString &path : {message->preview_path.text(), message->icon_path.text(), message->png_preview_path.text(),
                                        message->content_path.text()})
                files.insert(path);
        for (const KikUser *user : data->users)
            files.insert(user->photo_path);
    } catch (const std::exception &error) {
        problems << QStringLiteral("the program can not read %1: %2").arg(folder, QString::fromUtf8(error.what()));
    }
    return files;
}

bool sameBytes(const QString &a, const QString &b)
{
    QFile left(a), right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly) || left.size() != right.size())
        return false;
    while (!left.atEnd())
        if (left.read(1 << 16) != right.read(1 << 16))
            return false;
    return true;
}

}   // namespace

QStringList localDbProblems(const QString &folder, const QList<qint64> &counts, bool killed, qint64 *count)
{
    QStringList problems;
    qint64 found = -1;
    // Beside the folder: other databases and writers' locks only.
    const QDir parent = QFileInfo(folder).absoluteDir();
    const QRegularExpression lockName(QStringLiteral("^\\..+\\.lock$"));
    QStringList besides;
    for (const QFileInfo &entry : parent.entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        if (!lockName.match(entry.fileName()).hasMatch())
            besides << entry.fileName();
    addStrays(problems, QStringLiteral("files beside the databases"), besides);

    const KikLocalDb layout(folder);
    if (!QFileInfo(layout.databasePath()).isFile()) {
        found = 0;
        addStrays(problems, QStringLiteral("files in a database folder without a database"), filesUnder(folder));
    } else {
        found = checkedMessageCount(layout.databasePath(), problems);
        if (found >= 0) {
            const QSet<QString> referenced = referencedFiles(folder, problems);
            QStringList strays;
            for (const QString &file : filesUnder(folder)) {
                const QString path = QDir(folder).filePath(file);
                // A killed run may leave SQLite's journal and its staged copies; the next run settles both.
                const bool settledByNextRun = path == layout.databasePath() + QStringLiteral("-journal")
                                              || file.startsWith(QStringLiteral(".staging-"))
                                              || file.startsWith(QStringLiteral(".committed-"));
                if (path != layout.databasePath() && !referenced.contains(path) && !(killed && settledByNextRun))
                    strays << file;
            }
            addStrays(problems, QStringLiteral("files the database does not reference"), strays);
        }
    }
    if (found >= 0) {
        const QString wrong = countProblem(found, counts);
        if (!wrong.isEmpty())
            problems << QStringLiteral("%1 holds %2").arg(folder, wrong);
    }
    if (count)
        *count = found;
    return problems;
}

qint64 kikMessagesInBackup(const QString &folder, QString *problem)
{
    try {
        const QSharedPointer<BackupManifest> backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        backup->load();
        QTemporaryDir cache;
        ConsoleProgress progress;
        IOSLoadKikFromiTunesThread extraction(backup, &progress, cache.path());
        if (progress.runWorker(extraction) != ConsoleProgress::Succeeded)
            throw std::runtime_error(progress.errorText().toStdString());
        if (!extraction.found())
            throw std::runtime_error("no Kik store in it");
        IOSKikDb db(extraction.appFolder());
        db.setOpenMode(IOSKikDb::ReadOnlyMode);
        db.open();
        const KikDataSetPtr data = KikDataSetPtr::create();
        db.load(data);
        return data->messages.size();
    } catch (const std::exception &error) {
        *problem =
            QStringLiteral("the program can not read Kik out of the backup %1: %2").arg(folder, QString::fromUtf8(error.what()));
        return -1;
    }
}

QStringList backupProblems(const QString &folder, const QList<qint64> &counts, bool killed, qint64 *count)
{
    QStringList problems;
    QSet<QString> listed{QStringLiteral("Manifest.db"), QStringLiteral("Manifest.mbdb"), QStringLiteral("Manifest.plist"),
                         QStringLiteral("Status.plist"), QStringLiteral("Info.plist")};
    try {
        BackupManifest backup(folder);
        backup.readInfo();
        backup.load();
        const ManifestFilesSkipped &skipped = backup.skippedRows();
        if (skipped.otherKinds + skipped.misnamed + skipped.damaged > 0)
            problems << QStringLiteral("the file list of %1 has rows the program leaves out").arg(folder);
        for (const BackupFileNode *node : backup.fileTree().allNodes()) {
            // Regular files only (an empty one has a payload too, unlike a folder).
            if (node->backupName().isEmpty() || (node->record().mode & 0xF000) != 0x8000)
                continue;
            const QString payload = backup.payloadPath(node);
            listed.insert(QDir(folder).relativeFilePath(payload));
            // Read from its second name while a commit is cut short: its own name is the list's too.
            listed.insert(QDir(folder).relativeFilePath(payload).remove(QRegularExpression(QStringLiteral("\\.parlewick-old$"))));
            const QFileInfo file(payload);
            if (!file.isFile())
                problems << QStringLiteral("%1 is listed but missing").arg(payload);
            else if (backup.encrypted() == 0 && quint64(file.size()) != node->record().size)
                problems << QStringLiteral("%1 has %2 bytes, its record says %3")
                                .arg(payload)
                                .arg(file.size())
                                .arg(node->record().size);
        }
    } catch (const std::exception &error) {
        problems << QStringLiteral("the backup %1 can not be opened: %2").arg(folder, QString::fromUtf8(error.what()));
        if (count)
            *count = -1;
        return problems;
    }
    // A killed transfer leaves its staged files and its lock, which the next one settles.
    const QString added = QStringLiteral(".parlewick-added");
    if (killed) {
        listed.insert(added);
        listed.insert(QFileInfo(BackupWriteLock::lockPathFor(folder)).fileName());
        QFile addedList(QDir(folder).filePath(added));
        if (addedList.open(QIODevice::ReadOnly))
            for (const QByteArray &name : addedList.readAll().split('\n'))
                listed.insert(QString::fromUtf8(name));
    }
    QStringList strays;
    for (const QString &file : filesUnder(folder))
        if (!listed.contains(file)
            && !(killed && (file.endsWith(QLatin1String(".parlewick-part")) || file.endsWith(QLatin1String(".parlewick-old")))))
            strays << file;
    addStrays(problems, QStringLiteral("files the backup's list does not name"), strays);
    QString unreadable;
    const qint64 found = kikMessagesInBackup(folder, &unreadable);
    if (found < 0)
        problems << unreadable;
    else if (const QString wrong = countProblem(found, counts); !wrong.isEmpty())
        problems << QStringLiteral("Kik in the backup %1 holds %2").arg(folder, wrong);
    if (count)
        *count = found;
    return problems;
}

QStringList exportProblems(const QString &path, const QString &reference, bool killed)
{
    QStringList problems;
    const QFileInfo out(path);
    QStringList besides = out.absoluteDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    besides.removeOne(out.fileName());
    const QString staging = QLatin1Char('.') + out.fileName() + QStringLiteral(".partial-");
    if (killed)
        besides.removeIf([&staging](const QString &name) { return name.startsWith(staging); });
    addStrays(problems, QStringLiteral("files beside the export"), besides);
    if (!out.exists())
        return problems;
    if (!out.isDir()) {
        if (!sameBytes(path, reference))
            problems << QStringLiteral("the export file %1 is not the whole export").arg(path);
        return problems;
    }
    const QStringList made = filesUnder(path);
    const QStringList whole = filesUnder(reference);
    QStringList differing;
    for (const QString &file : whole)
        if (!made.contains(file) || !sameBytes(QDir(path).filePath(file), QDir(reference).filePath(file)))
            differing << file;
    for (const QString &file : made)
        if (!whole.contains(file))
            differing << file;
    if (!differing.isEmpty())
        addStrays(problems, QStringLiteral("files of the export folder %1 missing, cut short or extra;").arg(path), differing);
    return problems;
}

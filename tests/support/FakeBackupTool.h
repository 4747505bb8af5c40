#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A stand-in for the device backup tool: a shell script that the program runs instead while
// this object lives (through PARLEWICK_BACKUP_TOOL). The script records its arguments, sets
// ROOT to its last argument and NOTE to a file the test can read, then runs the given body.
class FakeBackupTool
{
public:
    FakeBackupTool(const QString &folder, const QString &name = QStringLiteral("fakebackup"));
    ~FakeBackupTool();
    FakeBackupTool(const FakeBackupTool &) = delete;
    FakeBackupTool &operator=(const FakeBackupTool &) = delete;

    void write(const QString &body) const;
    QString path() const { return m_path; }
    QStringList arguments() const;   // of the last run
    QString note() const;            // what the last run wrote to $NOTE

private:
    QString m_path;
    QString m_argumentsFile;
    QString m_noteFile;
    QByteArray m_previous;
};

#include "FakeBackupTool.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

constexpr char kVariable[] = "PARLEWICK_BACKUP_TOOL";

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}   // namespace

FakeBackupTool::FakeBackupTool(const QString &folder, const QString &name)
    : m_path(QDir(folder).filePath(name))
    , m_argumentsFile(m_path + QStringLiteral(".args"))
    , m_noteFile(m_path + QStringLiteral(".note"))
    , m_previous(qgetenv(kVariable))
{
    QDir().mkpath(folder);
    qputenv(kVariable, m_path.toLocal8Bit());
}

FakeBackupTool::~FakeBackupTool()
{
    if (m_previous.isEmpty())
        qunsetenv(kVariable);
    else
        qputenv(kVariable, m_previous);
}

void FakeBackupTool::write(const QString &body) const
{
    QFile::remove(m_argumentsFile);
    QFile::remove(m_noteFile);
    QFile file(m_path);
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "printf '%s\\n' \"$@\" > '%1'\n"
                                          "for ROOT; do :; done\n"
                                          "NOTE='%2'\n")
                               .arg(m_argumentsFile, m_noteFile)
                           + body + QLatin1Char('\n');
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(script.toUtf8()) < 0)
        throw std::runtime_error("the fake backup tool cannot be written");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QStringList FakeBackupTool::arguments() const
{
    return readAll(m_argumentsFile).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString FakeBackupTool::note() const
{
    return readAll(m_noteFile);
}

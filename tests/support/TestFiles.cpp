#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

QByteArray readFileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writtenFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    QTest::qVerify(written, "written", qPrintable(path), __FILE__, __LINE__);
    return path;
}

void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    writtenFile(path, bytes);
}

QMap<QString, QByteArray> treeOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), readFileBytes(path));
    }
    return files;
}

QString logsText(const QString &folder)
{
    const QDir dir(folder);
    QString text;
    for (const QString &name : dir.entryList({QStringLiteral("log-*.txt")}, QDir::Files, QDir::Name))
        text += QString::fromUtf8(readFileBytes(dir.filePath(name)));
    return text;
}

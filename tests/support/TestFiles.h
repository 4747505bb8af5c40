#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// File helpers the tests share.

// The whole file, or empty when it cannot be read.
QByteArray readFileBytes(const QString &path);
// Writes the file, making its folders; a failed write fails the running test.
void writeFileBytes(const QString &path, const QByteArray &bytes);
// The same for use in an expression: the path written.
QString writtenFile(const QString &path, const QByteArray &bytes);
// Every file below the folder (hidden ones too) by relative path, with its bytes.
QMap<QString, QByteArray> treeOf(const QString &folder);
// The text of every daily log file in the folder, oldest first: a run that spans midnight
// writes two.
QString logsText(const QString &folder);

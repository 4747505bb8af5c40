#pragma once

#include <QByteArray>
#include <QString>

// File helpers the tests share.

// The whole file, or empty when it cannot be read.
QByteArray readFileBytes(const QString &path);
// Writes the file, making its folders; a failed write fails the running test.
void writeFileBytes(const QString &path, const QByteArray &bytes);

#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// What a phone received, one JSON object a line, so tests can check what the program sent.
// Lines are appended whole under one lock, so a reader never sees half an entry.
class ReceivedLog
{
public:
    static void append(const QString &path, QJsonObject entry);   // adds "time"
    static QList<QJsonObject> read(const QString &path);
    static void clear(const QString &path);
};

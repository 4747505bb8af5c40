#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of the built parlewick-cli, to its end.
struct CliRun
{
    int code = -1;   // -1 when it crashed or did not end in time
    QByteArray out;
    QString err;

    QString outText() const { return QString::fromUtf8(out); }
};

CliRun runCliTool(const QStringList &arguments,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

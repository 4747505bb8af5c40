#include "app/TimeZoneSetup.h"

#include <QFileInfo>
#include <QtGlobal>

void pinSystemTimeZone()
{
#ifdef Q_OS_UNIX
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    if (QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
}

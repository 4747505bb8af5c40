#include "app/VendorHost.h"

#include "app/AppConstants.h"

QString vendorHost()
{
    const QString overridden = qEnvironmentVariable("PARLEWICK_VENDOR_HOST").trimmed();
    return overridden.isEmpty() ? QString::fromLatin1(AppConstants::DefaultVendorHost) : overridden;
}

QString vendorUrl(const QString &path)
{
    return QStringLiteral("http://") + vendorHost() + path;
}

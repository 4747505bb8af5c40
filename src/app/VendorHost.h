#pragma once

#include <QString>

// The vendor web server: AppConstants::DefaultVendorHost unless PARLEWICK_VENDOR_HOST
// (host or host:port) names another one, as tests and staging set-ups do.
QString vendorHost();
QString vendorUrl(const QString &path);   // "http://" + vendorHost() + path

#pragma once

#include "app/Export.h"

#include <QByteArray>
#include <QString>

#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The vendor web server (host or host:port): the environment variable PARLEWICK_VENDOR_HOST
// when it is set, else the CMake cache variable of the same name. Empty (the default) means
// there is none: then the program never goes online, and nothing asks to.
PARLEWICK_APP_EXPORT QString vendorHost();
PARLEWICK_APP_EXPORT bool vendorHostConfigured();
PARLEWICK_APP_EXPORT QString vendorUrl(const QString &path);   // "http://" + vendorHost() + path; empty without a host
// "support@" and the vendor's domain (the host without port and "www."); empty without a host
// or when the host is an address, which has no mailbox.
PARLEWICK_APP_EXPORT QString vendorSupportAddress();
// The vendor's page on switching off "Find My iPhone", which a restore onto a phone needs.
PARLEWICK_APP_EXPORT QString findMyIPhoneHelpUrl();

// The vendor's answers are a line of text; anything longer is cut off and dropped.
inline constexpr qint64 VendorAnswerLimit = 64 * 1024;
// A server that stays silent this long is given up.
inline constexpr int VendorTimeoutMsecs = 30000;

// A request to the vendor server: redirects are not followed, a silent server is given up.
PARLEWICK_APP_EXPORT QNetworkRequest vendorRequest(const QUrl &url);
// Aborts the reply as soon as its answer is known to exceed VendorAnswerLimit.
PARLEWICK_APP_EXPORT void limitVendorAnswer(QNetworkReply *reply);
// GET of a vendor page with the limits above.
PARLEWICK_APP_EXPORT QNetworkReply *getFromVendor(QNetworkAccessManager *client, const QUrl &url);
// Call from the reply's finished signal: the body when the server answered 200 and sent the
// whole answer; nothing for an HTTP error, a network failure, an abort or a cut-off answer.
// The reply is deleted later in every case.
PARLEWICK_APP_EXPORT std::optional<QByteArray> vendorAnswer(QNetworkReply *reply);

// Reading an answer's body. The server's answers are 8-bit text up to the first zero byte.
PARLEWICK_APP_EXPORT QByteArray vendorText(const QByteArray &body);
// The download address a version-check answer offers; nothing when the answer is no
// well-formed http address (the browser is never handed anything else).
PARLEWICK_APP_EXPORT std::optional<QUrl> versionAnswerAddress(const QByteArray &body);
// The label markup of an advertisement answer; empty when the answer is no link.
PARLEWICK_APP_EXPORT QString advertisementMarkup(const QByteArray &body);

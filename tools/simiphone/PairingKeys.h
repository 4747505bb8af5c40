#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// The keys and certificates of pairing: the phone's own RSA key (its public half is the lockdown
// value DevicePublicKey) and the records a computer keeps for a paired phone.
// Keys and certificates are PEM, as the phone library keeps them.
class PairingKeys
{
public:
    static QByteArray generatePrivateKey();                            // RSA 2048, PEM
    static QByteArray publicKeyPem(const QByteArray &privateKeyPem);   // "RSA PUBLIC KEY" (PKCS#1)
    // Certificate for the key subjectKeyPem (private or public PEM), signed by issuerKeyPem;
    // self-signed when both are the same key. A root certificate is a certificate authority.
    static QByteArray makeCertificate(const QByteArray &subjectKeyPem, const QByteArray &issuerKeyPem, const QString &subjectName,
                                      const QString &issuerName, bool certificateAuthority);
    // A complete computer-side pair record for the phone whose private key is given:
    // DeviceCertificate, HostCertificate, HostPrivateKey, RootCertificate, RootPrivateKey,
    // HostID, SystemBUID, WiFiMACAddress.
    static QVariantMap makePairRecord(const QByteArray &devicePrivateKeyPem, const QString &systemBuid,
                                      const QString &wifiAddress);
    // The certificate parses here and belongs to the key: fit for this side of TLS.
    static bool certificateMatchesKey(const QByteArray &certificatePem, const QByteArray &privateKeyPem);
    // The certificate carries the key's public half. Looser than certificateMatchesKey: the
    // certificate is not parsed (the phone library writes its certificates with empty names).
    static bool certificateCarriesKey(const QByteArray &certificatePem, const QByteArray &privateKeyPem);
    static QByteArray randomBytes(int count);
};

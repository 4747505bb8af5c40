#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <thread>

// What the fuzz targets share: the input as Qt bytes, a file holding it, a socket a peer
// sends it on. Loaded into a fuzzer or a replay driver, Qt's log is dropped (it would only
// slow the runs) and nothing is written outside a private temporary folder.

QByteArray fuzzBytes(const uint8_t *data, size_t size);

// The input as a file at the relative path inside the private folder (the same file each
// run, replaced).
QString fuzzFile(const QString &relative, const uint8_t *data, size_t size);
// A fresh empty folder inside the private one (the same path each run).
QString fuzzFolder(const QString &relative);

// The input as a phone would send it: the peer writes it all, then hangs up.
class FuzzPeer
{
public:
    FuzzPeer(const uint8_t *data, size_t size);
    ~FuzzPeer();
    FuzzPeer(const FuzzPeer &) = delete;
    FuzzPeer &operator=(const FuzzPeer &) = delete;

    // The reading end, closed with the peer (the program's channels never close it themselves).
    int socket() const { return m_reader; }

private:
    int m_reader = -1;
    int m_writer = -1;
    std::thread m_thread;
};

#pragma once

// The file records of a large phone backup, for the manifest benchmarks.
#include "itunes/ManifestDb.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

// A phone's spread of domains: a crowded home and camera roll, a couple of hundred apps.
inline MbdbIndex phoneFileRecords(qsizetype count)
{
    QRandomGenerator random(42);
    MbdbIndex index;
    index.reserve(count);
    QList<QByteArray> domains = {"HomeDomain", "CameraRollDomain", "MediaDomain", "WirelessDomain", "KeychainDomain"};
    for (int app = 0; app < 200; ++app)
        domains.append("AppDomain-com.vendor" + QByteArray::number(app) + ".app");
    for (int app = 0; app < 20; ++app)
        domains.append("AppDomainGroup-group.com.vendor" + QByteArray::number(app));
    int made = 0;
    while (index.size() < count) {
        const QByteArray domain = domains.at(int(random.bounded(qsizetype(domains.size()))));
        QByteArray folder = random.bounded(2) ? "Library/Caches" : "Documents";
        const int depth = int(random.bounded(4));
        for (int d = 0; d < depth; ++d)
            folder += "/folder" + QByteArray::number(random.bounded(40));
        const int files = 1 + int(random.bounded(30));
        for (int f = 0; f <= files && index.size() < count; ++f, ++made) {
            MbdbRecord rec;
            rec.domain = domain;
            rec.path = f == 0 ? folder : folder + "/file-" + QByteArray::number(random.generate()) + ".dat";
            rec.mode = f == 0 ? 040755 : 0100644;
            rec.inodeLow = quint32(made);
            rec.userId = rec.groupId = 501;
            rec.modificationTime = rec.accessTime = rec.changeTime = 1450000000 + quint32(made);
            rec.size = f == 0 ? 0 : 1 + random.bounded(1000000);
            rec.protectionClass = f == 0 ? 0 : 3;
            if (f != 0)
                rec.dataHash = QCryptographicHash::hash(rec.path.bytes, QCryptographicHash::Sha1);
            index.insert(backupFileName(rec.domain.bytes, rec.path.bytes), rec);
        }
    }
    return index;
}

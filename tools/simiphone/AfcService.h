#pragma once

#include "simiphone/AfcPacket.h"
#include "simiphone/AfcRoot.h"
#include "simiphone/ServiceContext.h"

#include <QJsonObject>

#include <map>
#include <optional>

// The phone's side of AFC on one connection, serving one folder: the media area, or an app's
// container behind house_arrest. Every request is recorded with its decoded arguments.
class AfcService
{
public:
    AfcService(ServiceContext &context, const QString &rootFolder);
    ~AfcService();
    AfcService(const AfcService &) = delete;
    AfcService &operator=(const AfcService &) = delete;

    void run();

private:
    struct Answer
    {
        quint64 operation;
        QByteArray payload;
        QByteArray data;
    };

    static Answer status(quint64 code);
    static Answer statusFromErrno(int error);
    Answer perform(const AfcPacket &request, QJsonObject &note);
    bool send(const AfcPacket &request, const Answer &answer, const std::optional<AnswerFault> &fault);
    void recordRejected(const QString &reason, const AfcPacket &packet);

    Answer readDirectory(const AfcPacket &request, QJsonObject &note);
    Answer fileInfo(const AfcPacket &request, QJsonObject &note);
    Answer deviceInfo();
    Answer makeDirectory(const AfcPacket &request, QJsonObject &note);
    Answer removePath(const AfcPacket &request, QJsonObject &note, bool withContents);
    Answer renamePath(const AfcPacket &request, QJsonObject &note);
    Answer truncatePath(const AfcPacket &request, QJsonObject &note);
    Answer setModificationTime(const AfcPacket &request, QJsonObject &note);
    Answer openFile(const AfcPacket &request, QJsonObject &note);
    Answer readFile(const AfcPacket &request, QJsonObject &note);
    Answer writeFile(const AfcPacket &request, QJsonObject &note);
    Answer seekFile(const AfcPacket &request, QJsonObject &note);
    Answer tellFile(const AfcPacket &request, QJsonObject &note);
    Answer closeFile(const AfcPacket &request, QJsonObject &note);
    Answer setFileSize(const AfcPacket &request, QJsonObject &note);
    Answer lockFile(const AfcPacket &request, QJsonObject &note);

    // The descriptor of the open file named by the first argument, or -1.
    int fileOf(const AfcPacket &request, QJsonObject &note);

    ServiceContext &m_context;
    AfcRoot m_root;
    std::map<quint64, int> m_files;   // handle -> descriptor
    quint64 m_nextHandle = 1;
};

#pragma once

#include <QString>

#include <optional>

// Names that lead out of the computer's backup folder, for the HostileName switch
// "message:kind" (one request of the phone carries one):
//   message  upload (a backup's first uploaded file), download, move, remove, mkdir, copy
//   kind     parent    "<udid>/../../planted-by-phone": beside the computer's backup directory
//            absolute  "/planted-by-phone"
//            control   "<udid>/planted\nby-phone"; in an upload "<udid>/planted\x01by\0phone"
//                      (upload names are raw bytes, property-list text cannot carry a NUL)
struct HostileName
{
    QString message;
    QString path;

    static constexpr const char *kPlantedName = "planted-by-phone";
    // Nothing for an empty or unknown switch.
    static std::optional<HostileName> of(const QString &setting, const QString &udid);
};

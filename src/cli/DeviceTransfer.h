#pragma once

#include "device/DeviceDescription.h"
#include "kik/KikMessage.h"

#include <QCommandLineParser>
#include <QString>

// transfer --to-device moves messages into Kik on a connected iPhone as the window does. The
// window's notes go to stderr; each needs --yes, or a "y" typed on a terminal (without a
// terminal the command refuses with CliUsageError, any other answer is CliCanceled).

// The connected iPhone udid, once its user accepted to close Kik on it.
DeviceDescription deviceToTransferToThrow(const QString &udid, const QCommandLineParser &args);

// Straight into Kik's container when the phone serves it, else into its device backup, which is
// then restored onto the phone (after the notes of a restore were accepted); account picks one
// of several Kik accounts in that backup. Returns the number of messages transferred.
int transferToDeviceThrow(const KikMessageList &messages, const DeviceDescription &device, const QString &account,
                          const QCommandLineParser &args);

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "device/MobileDeviceHandle.h"
#include "device/MobileDeviceSession.h"

namespace {

class DevicesCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("devices"); }
    QString summary() const override { return QStringLiteral("List the iPhones connected by USB."); }
    QString description() const override
    {
        return QStringLiteral("One line per iPhone, tab-separated: UDID, device name, product type, iOS version.\n"
                              "An iPhone not trusted yet asks for \"Trust\" first.");
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("devices takes no arguments"));
        int result = CliExitOk;
        // A multiplexer that does not answer is an error (its text says what to do).
        const QList<MobileDeviceHandle *> devices = MobileDeviceHandle::connectedDevices();
        if (devices.isEmpty())
            printErr(QStringLiteral("No iPhone is connected. Plug the iPhone in with its USB cable, unlock it and "
                                    "answer \"Trust\" on it."));
        for (MobileDeviceHandle *device : devices) {
            QStringList fields{tabField(device->udid()), QString(), QString(), QString()};
            try {
                const QList<CFType> values = mobiledevice_copy_values(
                    device, {QStringLiteral("DeviceName"), QStringLiteral("ProductType"), QStringLiteral("ProductVersion")});
                for (int i = 0; i < 3; ++i)
                    fields[i + 1] = tabField(values.at(i).toQString());
            } catch (const std::exception &e) {
                // The phone is there even when it does not answer: its line stays, the reason
                // goes to stderr.
                printErr(device->udid() + QLatin1String(": ") + QString::fromUtf8(e.what()).trimmed());
                result = CliExitFailed;
            }
            printOut(fields.join(QLatin1Char('\t')));
        }
        return result;
    }
};

const CliRegistration<DevicesCommand> registration;

}   // namespace

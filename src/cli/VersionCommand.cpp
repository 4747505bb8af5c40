#include "app/AppConstants.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include <QObject>

namespace {

class VersionCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("version"); }
    QString summary() const override { return QStringLiteral("Print the program's name and version."); }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("version takes no arguments"));
        printOut(QObject::tr(AppConstants::ProductName) + QLatin1Char(' ') + QLatin1String(AppConstants::ProductVersion));
        return CliExitOk;
    }
};

const CliRegistration<VersionCommand> registration;

}   // namespace

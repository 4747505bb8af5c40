#include "CliRun.h"

#include "TestEnv.h"

#include <QProcess>

CliRun runCliTool(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TestEnv::binaryDir() + QLatin1String("/bin/parlewick-cli"), arguments);
    CliRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

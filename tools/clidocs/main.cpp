// Build-time helper: writes the manual page and the bash completion of parlewick-cli from
// the help the built tool prints, so both always match the tool.
// Usage: clidocs <parlewick-cli> <parlewick-cli.1> <completion>

#include "BashCompletion.h"
#include "CliHelp.h"
#include "ManPage.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>
#include <exception>

namespace {

bool writeText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: clidocs <parlewick-cli> <parlewick-cli.1> <completion>\n");
        return 2;
    }
    try {
        const CliHelp help = readCliHelp(args.at(1));
        if (!writeText(args.at(2), manPage(help)) || !writeText(args.at(3), bashCompletion(help))) {
            std::fprintf(stderr, "clidocs: cannot write %s or %s\n", qPrintable(args.at(2)), qPrintable(args.at(3)));
            return 1;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "clidocs: %s\n", error.what());
        return 1;
    }
    return 0;
}

#include "cli/BackupPassword.h"

#include "app/AppError.h"
#include "app/ProcessSetup.h"
#include "cli/CliCommand.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxPasswordFileSize = 4096;

Secret fromFileThrow(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failWith(QStringLiteral("Cannot read the password file %1: %2").arg(path, file.errorString()));
    // Read one byte more than allowed: a device or a huge file is refused, not read forever.
    QByteArray bytes = file.read(kMaxPasswordFileSize + 1);
    if (bytes.size() > kMaxPasswordFileSize)
        failWith(QStringLiteral("The password file %1 is too large.").arg(path));
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    if (bytes.isEmpty())
        failWith(QStringLiteral("The password file %1 is empty.").arg(path));
    Secret password = Secret::fromUtf8(bytes);
    wipeMemory(bytes.data(), size_t(bytes.size()));
    return password;
}

termios g_savedTerminal;

// Ctrl-C at the prompt ends the command as a Ctrl-C elsewhere does (nothing is under way to be
// undone while it waits), and must not leave the terminal without echo.
void restoreTerminalAndCancel(int)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    static const char canceled[] = "\nCanceled.\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, canceled, sizeof canceled - 1);
    _exit(CliExitCanceled);
}

Secret promptWithoutEcho()
{
    if (tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0)
        return Secret();
    struct sigaction onInterrupt
    { };
    struct sigaction previous
    { };
    onInterrupt.sa_handler = restoreTerminalAndCancel;
    sigemptyset(&onInterrupt.sa_mask);
    sigaction(SIGINT, &onInterrupt, &previous);
    termios silent = g_savedTerminal;
    silent.c_lflag &= ~tcflag_t(ECHO);
    silent.c_lflag |= ECHONL;
    std::fputs("Backup password: ", stderr);
    std::fflush(stderr);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);

    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.push_back(char(c));

    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    sigaction(SIGINT, &previous, nullptr);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    QString typed = QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
    wipeMemory(line.data(), line.size());
    return Secret::takeText(typed);
}

}   // namespace

QCommandLineOption passwordFileOption()
{
    return QCommandLineOption(QStringLiteral("password-file"), QStringLiteral("Read the backup password from FILE."),
                              QStringLiteral("FILE"));
}

Secret readBackupPasswordThrow(const QCommandLineParser &args)
{
    if (args.isSet(QStringLiteral("password-file")))
        return fromFileThrow(args.value(QStringLiteral("password-file")));
    Secret fromEnvironment = takeEnvironmentBackupPassword();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (isatty(STDIN_FILENO) == 1) {
        Secret typed = promptWithoutEcho();
        if (!typed.isEmpty())
            return typed;
    }
    throw CliUsageError(QStringLiteral("The backup is encrypted and no password was given: use --password-file FILE "
                                       "or set PARLEWICK_BACKUP_PASSWORD."));
}

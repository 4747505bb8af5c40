// What the backup tool prints while it speaks mobilebackup2 with the phone: its progress bars
// and error lines, judged as a finished run. The first byte sets the exit status and whether
// Status.plist said "finished".
#include "FuzzInput.h"

#include "device/BackupToolVerdict.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray printed = fuzzBytes(data + 1, size - 1);
    backupToolProgress(printed);
    BackupToolRun run;
    run.toolName = QStringLiteral("idevicebackup2");
    run.exitCode = data[0] & 0x7f;
    run.crashed = data[0] == 0xff;
    run.backupFinished = data[0] & 0x80;
    run.output = QString::fromUtf8(printed);
    backupToolDeviceError(run.output, run.exitCode);
    try {
        judgeBackupToolRun(run);
    } catch (const std::runtime_error &) {
    }
    return 0;
}

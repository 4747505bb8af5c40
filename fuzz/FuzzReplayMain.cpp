// Runs files through a fuzz target once each, as libFuzzer runs a crash file: every file
// named, or every file of the folders named, in name order. Without libFuzzer, so that every
// build replays the committed corpora (TestFuzzReplay). Exit 0 when at least one file ran.
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        if (!it.hasNext())
            files.append(path);
        while (it.hasNext())
            files.append(it.next());
    }
    files.sort();
    int replayed = 0;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray input = file.readAll();
        // Named before it runs: a crash then says which input it was.
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        ++replayed;
    }
    std::printf("replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}

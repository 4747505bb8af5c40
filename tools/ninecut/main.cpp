// Build-time helper: cuts a picture into nine along the given margins and writes the pieces
// as <prefix>_01.png .. <prefix>_09.png, row by row from the top-left corner.
// Usage: ninecut <input.png> <output-prefix> <top> <right> <bottom> <left>

#include <QImage>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: ninecut <input.png> <output-prefix> <top> <right> <bottom> <left>\n");
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "ninecut: cannot read %s\n", argv[1]);
        return 1;
    }
    const int top = std::atoi(argv[3]);
    const int right = std::atoi(argv[4]);
    const int bottom = std::atoi(argv[5]);
    const int left = std::atoi(argv[6]);
    const int middleWidth = image.width() - left - right;
    const int middleHeight = image.height() - top - bottom;
    if (top <= 0 || right <= 0 || bottom <= 0 || left <= 0 || middleWidth <= 0 || middleHeight <= 0) {
        std::fprintf(stderr, "ninecut: margins do not fit the picture\n");
        return 2;
    }

    const int xs[] = {0, left, left + middleWidth};
    const int widths[] = {left, middleWidth, right};
    const int ys[] = {0, top, top + middleHeight};
    const int heights[] = {top, middleHeight, bottom};
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QString name = QStringLiteral("%1_%2.png").arg(prefix).arg(row * 3 + column + 1, 2, 10, QLatin1Char('0'));
            const QImage piece = image.copy(xs[column], ys[row], widths[column], heights[row]);
            if (!piece.save(name, "PNG")) {
                std::fprintf(stderr, "ninecut: cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
    }
    return 0;
}

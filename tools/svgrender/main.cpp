// Build-time helper: renders one SVG source of the program's pictures into a PNG or JPEG.
// Usage: svgrender <input.svg> <output.png|output.jpg> <width> <height>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool widthOk = false;
    bool heightOk = false;
    const int width = args.value(3).toInt(&widthOk);
    const int height = args.value(4).toInt(&heightOk);
    if (args.size() != 5 || !widthOk || !heightOk || width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: svgrender <input.svg> <output> <width> <height>\n");
        return 2;
    }

    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "svgrender: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString output = args.at(2);
    const bool opaque = output.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive);
    QImage image(width, height, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    image.fill(opaque ? Qt::white : Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    // Quality tells JPEG how much to keep; for PNG it would only lower the compression.
    if (!image.save(output, nullptr, opaque ? 92 : -1)) {
        std::fprintf(stderr, "svgrender: cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}

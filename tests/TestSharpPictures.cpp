#include "TestEnv.h"

#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "ui/AboutUsForm.h"
#include "ui/MainWindow.h"
#include "ui/PictureLabel.h"
#include "ui/SourceTreeView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QToolBar>
#include <QtTest>

namespace {

// The SVG drawn straight at `pixels` device pixels: what a sharp picture shows.
QImage rendered(const QString &svg, const QSize &pixels)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer(svg).render(&painter);
    return image;
}

// Pixels of `shown` (from `offset` on) off by more than rounding from `expected`:
// a picture scaled up from half the pixels blurs every edge.
int differingPixels(const QImage &shown, const QImage &expected, const QPoint &offset = QPoint())
{
    int differing = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QColor p = shown.pixelColor(offset + QPoint(x, y));
            const QColor q = expected.pixelColor(x, y);
            differing += std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue()),
                                   std::abs(p.alpha() - q.alpha())})
                         > 8;
        }
    }
    return differing;
}

// The pixmap holds twice the pixels of `logical` and shows the SVG as drawn at that size.
void checkSharp(const QPixmap &pixmap, const QSize &logical, const QString &svg)
{
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), logical * 2);
    QCOMPARE(differingPixels(pixmap.toImage(), rendered(svg, pixmap.size())), 0);
}

}   // namespace

// On a screen of device pixel ratio 2 the icons and pictures of the window are drawn from their
// SVG sources at twice their size, never scaled up from a raster of their logical size.
class TestSharpPictures : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase()
    {
        WindowTestKit::prepareApplication();
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
    }

    void iconsOfToolBarMenuAndTree()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QSize toolSize = window.findChild<QToolBar *>()->iconSize();
        const QIcon exportIcon = window.findChild<QAction *>(QStringLiteral("miExportToolbar"))->icon();
        checkSharp(exportIcon.pixmap(toolSize, 2.0), toolSize, QStringLiteral(":/res/export.svg"));
        const QIcon exitIcon = window.findChild<QAction *>(QStringLiteral("close"))->icon();
        checkSharp(exitIcon.pixmap(QSize(16, 16), 2.0), QSize(16, 16), QStringLiteral(":/res/exit.svg"));
        const SourceTreeView *tree = WindowTestKit::sourceTree(window);
        const QIcon devices = tree->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        checkSharp(devices.pixmap(tree->iconSize(), 2.0), tree->iconSize(), QStringLiteral(":/res/devices.svg"));
    }

    void labelPicturesAndBackgrounds()
    {
        AboutUsForm about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        checkSharp(about.findChild<QLabel *>(QStringLiteral("lbPicture"))->pixmap(), QSize(128, 128),
                   QStringLiteral(":/res/main.svg"));
        // The style sheet's background, inside the border of one logical pixel, left of the picture.
        const QImage background = rendered(QStringLiteral(":/res/sub_bg.svg"), QSize(800, 120)).copy(0, 0, 36, 36);
        QCOMPARE(differingPixels(about.grab().toImage(), background, QPoint(2, 2)), 0);

        // A photo is scaled down from its own pixels.
        PictureLabel label;
        label.setPhoto(QImage(200, 100, QImage::Format_RGB32), 32);
        QCOMPARE(label.pixmap().size(), QSize(64, 32));
        QCOMPARE(label.pixmap().devicePixelRatio(), 2.0);

        // Message boxes show their pictures as rich text, which takes the "@2x" file.
        QTextDocument text;
        text.setDocumentMargin(0);
        text.setHtml(QStringLiteral("<img src=\":res/kill_kik.png\">"));
        QImage page(640, 400, QImage::Format_ARGB32_Premultiplied);
        page.setDevicePixelRatio(2);
        page.fill(Qt::transparent);
        QPainter painter(&page);
        text.drawContents(&painter);
        painter.end();
        QCOMPARE(differingPixels(page, rendered(QStringLiteral(":/res/kill_kik.svg"), page.size())), 0);
    }

    // Bubble frames: each piece has twice the pixels of the cell the page stretches it into
    // (the received bubble's corners are 14 by 11 and 12 by 12).
    void bubbleFramesHaveTwiceThePixels()
    {
        const QDir kikbb(QDir(applicationFolder()).filePath(QStringLiteral("kikbb")));
        QCOMPARE(QImage(kikbb.filePath(QStringLiteral("bb1_01.png"))).size(), QSize(28, 22));
        QCOMPARE(QImage(kikbb.filePath(QStringLiteral("bb1_09.png"))).size(), QSize(24, 24));
    }
};

int main(int argc, char *argv[])
{
    // Every screen of this test draws two device pixels per logical one.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestSharpPictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSharpPictures.moc"

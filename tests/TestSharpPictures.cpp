#include "TestEnv.h"

#include "WindowTestKit.h"
#include "ui/AboutUsForm.h"
#include "ui/MainWindow.h"
#include "ui/MyTreeView.h"
#include "ui/PictureLabel.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QToolBar>
#include <QtTest>

using namespace WindowTestKit;

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

// How many pixels of `shown` within `area` differ from `expected` at the same place by more
// than a rounding or compression error. A picture scaled up from half the pixels blurs its edges.
int differingPixels(const QImage &shown, const QImage &expected, const QRect &area)
{
    const QImage a = shown.convertToFormat(QImage::Format_ARGB32);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int difference = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            differing += difference > 8 ? 1 : 0;
        }
    }
    return differing;
}

// The pixmap has twice the pixels of `logical` and shows the SVG as drawn at that size.
void checkSharp(const QPixmap &pixmap, const QSize &logical, const QString &svg)
{
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), logical * 2);
    const QImage image = pixmap.toImage();
    QCOMPARE(differingPixels(image, rendered(svg, image.size()), image.rect()), 0);
}

}   // namespace

// On a screen of device pixel ratio 2 every icon and picture of the window is drawn from its
// SVG source at twice its size, never scaled up from a raster of its logical size.
class TestSharpPictures : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase()
    {
        prepareApplication();
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
    }

    void iconsOfToolBarMenusAndTree()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const qreal ratio = window.devicePixelRatioF();
        const QToolBar *bar = window.findChild<QToolBar *>();
        const QList<QPair<const char *, QString>> actions = {
            {"miExportToolbar", ":/res/export.svg"}, {"miBackupToolbar", ":/res/backup.svg"}, {"close", ":/res/exit.svg"}};
        for (const auto &[name, svg] : actions) {
            const QAction *action = window.findChild<QAction *>(QLatin1String(name));
            QVERIFY(action);
            checkSharp(action->icon().pixmap(bar->iconSize(), ratio), bar->iconSize(), svg);
            checkSharp(action->icon().pixmap(QSize(16, 16), ratio), QSize(16, 16), svg);
        }
        const MyTreeView *tree = sourceTree(window);
        const QIcon devices = tree->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        checkSharp(devices.pixmap(tree->iconSize(), ratio), tree->iconSize(), QStringLiteral(":/res/devices.svg"));
    }

    void labelPicturesAndDialogBackground()
    {
        AboutUsForm about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        checkSharp(about.findChild<QLabel *>(QStringLiteral("lbPicture"))->pixmap(), QSize(128, 128),
                   QStringLiteral(":/res/main.svg"));
        // The style sheet's background begins inside the dialog's border of one logical pixel.
        const QImage shown = about.grab().toImage();
        QCOMPARE(shown.devicePixelRatio(), 2.0);
        QImage expected(shown.size(), QImage::Format_ARGB32_Premultiplied);
        QPainter(&expected).drawImage(2, 2, rendered(QStringLiteral(":/res/sub_bg.svg"), QSize(800, 120)));
        QCOMPARE(differingPixels(shown, expected, QRect(2, 2, 36, 36)), 0);

        // A photo is scaled down from its own pixels.
        QImage photo(200, 100, QImage::Format_RGB32);
        photo.fill(Qt::red);
        PictureLabel label;
        label.setPhoto(photo, 32);
        QCOMPARE(label.pixmap().size(), QSize(64, 32));
        QCOMPARE(label.pixmap().devicePixelRatio(), 2.0);
    }

    void pictureInMessageText()
    {
        // Message boxes show their pictures as rich text, which takes the "@2x" file.
        QTextDocument text;
        text.setDocumentMargin(0);
        text.setHtml(QStringLiteral("<img src=\":res/kill_kik.png\">"));
        QImage page((text.size() * 2).toSize(), QImage::Format_ARGB32_Premultiplied);
        page.setDevicePixelRatio(2);
        page.fill(Qt::white);
        QPainter painter(&page);
        text.drawContents(&painter);
        painter.end();
        QImage expected(page.size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::white);
        QPainter(&expected).drawImage(0, 0, rendered(QStringLiteral(":/res/kill_kik.svg"), QSize(640, 400)));
        QCOMPARE(differingPixels(page, expected, QRect(0, 0, 640, 400)), 0);
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

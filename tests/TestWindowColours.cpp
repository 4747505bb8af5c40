// The window under a light and a dark desktop palette: the texts of the tree, the message list
// (and its hint while empty) and the status lines are measured on the drawn pixels against the
// ground they stand on, as are the edges of the search fields.

#include "TestEnv.h"

#include "KikDataBuilder.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/ColourRoles.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

QPalette desktopPalette(bool dark)
{
    QPalette palette;
    const QColor ground = dark ? QColor(0x20, 0x20, 0x20) : QColor(0xEF, 0xEF, 0xEF);
    const QColor ink = dark ? Qt::white : Qt::black;
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, ink);
    palette.setColor(QPalette::Base, dark ? QColor(0x15, 0x15, 0x15) : Qt::white);
    palette.setColor(QPalette::Text, ink);
    palette.setColor(QPalette::Button, ground);
    palette.setColor(QPalette::ButtonText, ink);
    return palette;
}

// The commonest colour of the picture is taken for the ground, the colour farthest from it
// for the ink; their contrast ratio.
double textContrast(const QImage &picture)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y)];
    }
    QRgb ground = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            ground = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrastRatio(QColor(ground), QColor(it.key())));
    return best;
}

// Taken from the whole window, so that a see-through widget shows the ground behind it.
QImage grabbed(QWidget *widget, const QRect &area = QRect())
{
    const QRect part = area.isValid() ? area : widget->rect();
    QWidget *window = widget->window();
    return window->grab(QRect(widget->mapTo(window, part.topLeft()), part.size())).toImage();
}

}   // namespace

class TestWindowColours : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase()
    {
        prepareApplication();
        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("Wendy Writes"), QStringLiteral("wendy@talk.kik.com")));
        const QDateTime base(QDate(2018, 5, 1), QTime(8, 0), Qt::UTC);
        builder.addMessage(chat, base, QStringLiteral("Morning, all well here"), false);
        builder.addMessage(chat, base.addSecs(60), QStringLiteral("Glad to hear it, see you"), true);
        writeLocalDb(QDir(localDatabasesFolder()).filePath(QStringLiteral("Notebook")), set);
    }

    void textsStandOutFromTheirGround_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light desktop") << false;
        QTest::newRow("dark desktop") << true;
    }

    void textsStandOutFromTheirGround()
    {
        QFETCH(bool, dark);
        QApplication::setPalette(desktopPalette(dark));
        applyColourRoles();
        QCOMPARE(ColourRoles::current().dark, dark);

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // WCAG asks 4.5 for body text, 3 for the edge of a field.
        const double needed = 4.5;
        SourceTreeView *list = messageList(window);
        // Nothing chosen yet: the empty list says where to choose, readably.
        QVERIFY(!list->emptyHint().isEmpty());
        QVERIFY2(textContrast(grabbed(list->viewport())) >= needed, qPrintable(list->emptyHint()));
        for (const char *name : {"txtHandleKeyword", "txtSMSKeyword"}) {
            auto *field = window.findChild<QLineEdit *>(QLatin1String(name));
            const QImage around = grabbed(field, field->rect().adjusted(-3, -3, 3, 3));
            const int middle = around.height() / 2;
            // The edge against the pixel just outside it.
            const double edge = contrastRatio(QColor(around.pixel(2, middle)), QColor(around.pixel(3, middle)));
            QVERIFY2(edge >= 3, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name)).arg(edge)));
            QVERIFY(!field->placeholderText().isEmpty());
        }

        ItemNode *database = child(window.mainModel()->localDbRoot(), QStringLiteral("Notebook"));
        QVERIFY(database);
        select(window, database);
        ItemNode *chat = child(database, QStringLiteral("Wendy Writes"));
        QVERIFY(chat);
        select(window, chat);
        QCOMPARE(window.smsModel()->rowCount(), 2);

        SourceTreeView *tree = sourceTree(window);
        for (ItemNode *node : {static_cast<ItemNode *>(window.mainModel()->localDbRoot()), database}) {
            // The label only: the icon left of it has colours of its own.
            const QRect row = tree->visualRect(window.mainModel()->indexOfNode(node)).adjusted(26, 0, 0, 0);
            const double contrast = textContrast(grabbed(tree->viewport(), row));
            QVERIFY2(contrast >= needed, qPrintable(QStringLiteral("tree %1: %2").arg(node->text).arg(contrast)));
        }
        for (int row = 0; row < 2; ++row) {   // one received, one sent
            const QRect cell = list->visualRect(window.smsModel()->index(row, 3));
            const double contrast = textContrast(grabbed(list->viewport(), cell));
            QVERIFY2(contrast >= needed, qPrintable(QStringLiteral("list row %1: %2").arg(row).arg(contrast)));
        }
        for (QWidget *status : {static_cast<QWidget *>(window.findChild<QLabel *>(QStringLiteral("lbSMSCount"))),
                                static_cast<QWidget *>(window.statusBar())}) {
            const double contrast = textContrast(grabbed(status));
            QVERIFY2(contrast >= needed, qPrintable(QStringLiteral("%1: %2").arg(status->objectName()).arg(contrast)));
        }
    }
};

QTEST_MAIN(TestWindowColours)
#include "TestWindowColours.moc"

#include "TestEnv.h"

#include "BoxRecorder.h"
#include "FakeCommandHost.h"
#include "TestFiles.h"
#include "app/LogHandler.h"
#include "ui/MainMenus.h"
#include "ui/WindowCommands.h"
#include "widgets/MessageBoxes.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

// The log tells what the user did and what the program told them.
class TestActivityLog : public QObject
{
    Q_OBJECT
    TestEnv env;

    QString logText() const { return logsText(env.path("logs")); }

private slots:
    void initTestCase() { setupLogging(env.path("logs"), 10, false); }

    void commandsBoxesAndAnswersAreLogged()
    {
        QMainWindow window;
        QToolBar toolBar;
        FakeCommandHost host;
        WindowCommands commands(host);
        MainMenus menus(&window, &toolBar, commands);
        QAction *exit = window.menuBar()->findChild<QAction *>(QStringLiteral("close"));
        QVERIFY(exit);
        exit->trigger();

        BoxRecorder boxes(QMessageBox::No);
        showWarning(QStringLiteral("Disk full.<br/><br/>Nothing was written."));
        QVERIFY(!askQuestion(QStringLiteral("Confirm to delete?")));

        const QString log = logText();
        QVERIFY2(log.contains(QLatin1String(") user chose: ") + QString(exit->text()).remove(QLatin1Char('&'))
                              + QLatin1String(" (close)\n")),
                 qPrintable(log));
        QVERIFY2(log.contains(QLatin1String(") shown warning: Disk full. | Nothing was written.\n")), qPrintable(log));
        QVERIFY(log.contains(QLatin1String(") shown question: Confirm to delete?\n")));
        QVERIFY(log.contains(QLatin1String(") user answered: No\n")));
    }
};

QTEST_MAIN(TestActivityLog)
#include "TestActivityLog.moc"

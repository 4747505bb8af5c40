#include "TestEnv.h"

#include "ModalKeys.h"

#include "app/AppFolders.h"
#include "app/ErrorReportHook.h"
#include "app/FileUtils.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestMessageBoxes : public QObject
{
    Q_OBJECT
    TestEnv env;
    QList<QPair<QMessageBox::Icon, QString>> shown;
    QStringList reported;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

private slots:
    void init()
    {
        shown.clear();
        reported.clear();
        setMessageBoxTestHook([this](QMessageBox::Icon icon, const QString &text) {
            shown.append({icon, text});
            return answer;
        });
        setErrorReporter([this](const QString &text) { reported << text; });
    }

    void cleanup()
    {
        setMessageBoxTestHook({});
        setErrorReporter({});
    }

    void reportErrorShowsAndReportsTheFullText()
    {
        reportError(QStringLiteral("Disk full<br/>50% used %1"));
        // No vendor host: no address to write to, the log's folder instead.
        const QString expected = QStringLiteral("An Error Occurred. <br/><br/>Disk full<br/>50% used %1<br/><br/>"
                                                "The log tells more: ")
                                 + QDir::toNativeSeparators(logFolder());
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().first, QMessageBox::Critical);
        QCOMPARE(shown.first().second, expected);
        QCOMPARE(reported, QStringList{expected});
    }

    void onlyCriticalBoxesAreReported()
    {
        showInformation(QStringLiteral("info"));
        showWarning(QStringLiteral("warn"));
        QVERIFY(reported.isEmpty());
        showCritical(QStringLiteral("bad"));
        QCOMPARE(reported, QStringList{QStringLiteral("bad")});
        QCOMPARE(shown.at(0).first, QMessageBox::Information);
        QCOMPARE(shown.at(1).first, QMessageBox::Warning);
        QCOMPARE(shown.at(2).first, QMessageBox::Critical);
    }

    void askQuestionIsTrueOnlyForYes()
    {
        for (const QMessageBox::StandardButton button :
             {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::NoButton}) {
            answer = button;
            QVERIFY(!askQuestion(QStringLiteral("Delete?")));
        }
        answer = QMessageBox::Yes;
        QVERIFY(askQuestion(QStringLiteral("Delete?")));
        QCOMPARE(shown.last().first, QMessageBox::Question);
    }

    void realBoxIsFramelessStyledAndReturnsThePressedButton()
    {
        setMessageBoxTestHook({});
        QString title;
        Qt::WindowFlags flags;
        QString sheet;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            flags = box->windowFlags();
            sheet = box->styleSheet();
            buttons = box->standardButtons();
            parent = box->parentWidget();
            box->button(QMessageBox::No)->click();
        });
        const auto result =
            messageBox(QMessageBox::Question, QStringLiteral("Sure?"), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(result, QMessageBox::No);
        QCOMPARE(title, QStringLiteral("Parlewick"));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(sheet, styleSheet());
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QVERIFY(!parent);
    }

    void onlyTheGoAheadButtonGoesAhead()
    {
        setMessageBoxTestHook({});
        for (const ModalKeys::Answer key : {ModalKeys::Escape, ModalKeys::Close, ModalKeys::Return}) {
            ModalKeys keys(key);
            // Return alone never answers Yes to a question, nor the accept button of a box that
            // has a second one.
            QVERIFY(!askQuestion(QStringLiteral("Delete?")));
            QCOMPARE(askToContinue(QStringLiteral("Close Kik first.")), key == ModalKeys::Return);
            QVERIFY(!askWithButtons(QMessageBox::Question, QStringLiteral("Write?"), QStringLiteral("Write"),
                                    QStringLiteral("Cancel")));
            QCOMPARE(keys.texts(), QStringList({"Delete?", "Close Kik first.", "Write?"}));
        }
    }
};

QTEST_MAIN(TestMessageBoxes)
#include "TestMessageBoxes.moc"

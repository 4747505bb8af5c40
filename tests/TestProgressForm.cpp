#include "TestEnv.h"

#include "app/ErrorReportHook.h"
#include "app/FileUtils.h"
#include "ui/ProgressForm.h"
#include "widgets/MessageBoxes.h"
#include "workers/TaskRun.h"

#include <QApplication>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

// A worker as every background task is written: first report, a check of the cancel flag
// before each unit, a count per unit, one success, error or cancel at the end.
class CountingWorker : public QThread
{
public:
    enum Ending { Succeed, Fail, WaitForCancel, CancelUnasked };

    CountingWorker(AbsProgressTarget *form, int total, Ending ending)
        : m_form(form)
        , m_total(total)
        , m_ending(ending)
    {
    }

    std::atomic<int> done{0};
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> ranOnOwnThread{false};

protected:
    void run() override
    {
        ranOnOwnThread = QThread::currentThread() != qApp->thread();
        postProgress(m_form, QStringLiteral("Counting..."), 0, QString());
        runTask(m_form, [this] {
            for (int i = 1; i <= m_total; ++i) {
                if (m_form->isCanceled()) {
                    sawCancel = true;
                    throw TaskCanceled();
                }
                done = i;
                postProgress(m_form, QString(), int(double(i) / m_total * 100),
                             QStringLiteral("Messages: %1/%2").arg(i).arg(m_total));
                if (m_ending == WaitForCancel)
                    waitForCancel();
            }
            if (m_ending == Fail)
                throw std::runtime_error("Disk full <1%>\nwhile writing");
            if (m_ending == CancelUnasked)
                throw TaskCanceled();
            return QStringLiteral("Successfully counted %1.").arg(done.load());
        });
    }

private:
    void waitForCancel()
    {
        for (int tries = 0; tries < 1000 && !m_form->isCanceled(); ++tries)
            QThread::msleep(10);
    }

    AbsProgressTarget *m_form;
    int m_total;
    Ending m_ending;
};

}   // namespace

class TestProgressForm : public QObject
{
    Q_OBJECT
    TestEnv env;
    QList<QPair<QMessageBox::Icon, QString>> boxes;
    QStringList reported;

    static QLabel *label(ProgressForm &form, const char *name) { return form.findChild<QLabel *>(QLatin1String(name)); }
    static QProgressBar *bar(ProgressForm &form) { return form.findChild<QProgressBar *>(QStringLiteral("progressBar")); }
    static QPushButton *cancelButton(ProgressForm &form) { return form.findChild<QPushButton *>(QStringLiteral("btnCancel")); }

private slots:
    void init()
    {
        boxes.clear();
        reported.clear();
        setMessageBoxTestHook([this](QMessageBox::Icon icon, const QString &text) {
            boxes.append({icon, text});
            return QMessageBox::Ok;
        });
        setErrorReporter([this](const QString &text) { reported << text; });
    }

    void cleanup()
    {
        setMessageBoxTestHook({});
        setErrorReporter({});
    }

    // The parts stand in reading order inside the form; Cancel is announced to whoever listens.
    void formShowsItsPartsInOrderAndAnnouncesCancel()
    {
        ProgressForm form;
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(form.styleSheet(), styleSheet());
        const QList<QWidget *> parts{label(form, "lbStatus"), bar(form), label(form, "lbProgress"), cancelButton(form)};
        for (qsizetype i = 0; i < parts.size(); ++i) {
            QVERIFY(form.rect().contains(parts.at(i)->geometry()));
            if (i > 0)
                QVERIFY(parts.at(i)->geometry().top() > parts.at(i - 1)->geometry().bottom());
        }
        QCOMPARE(bar(form)->value(), 0);
        QCOMPARE(bar(form)->maximum(), 100);
        QCOMPARE(label(form, "lbProgress")->alignment(), Qt::AlignCenter);
        QCOMPARE(cancelButton(form)->text(), QStringLiteral("Cancel"));
        QVERIFY(!form.isCanceled());
        QSignalSpy cancels(&form, &ProgressForm::userCancel);
        cancelButton(form)->click();
        QCOMPARE(cancels.size(), 1);
        QVERIFY(form.isCanceled());
    }

    void reportsKeepWhatTheyLeaveOut()
    {
        ProgressForm form;
        form.updateProgress(QStringLiteral("Backing up"), 40, QStringLiteral("Messages: 2/5"));
        QCOMPARE(label(form, "lbProgress")->text(), QStringLiteral("Messages: 2/5"));

        form.updateProgress(QString(), -1, QString());
        QCOMPARE(bar(form)->value(), 40);
        QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("Backing up"));
        // The bar shows its percentage; without a count the line under it stays empty.
        QVERIFY(bar(form)->isTextVisible());
        QCOMPARE(label(form, "lbProgress")->text(), QString());

        form.updateProgress(QString(), 0, QString());
        QCOMPARE(bar(form)->value(), 0);
        QCOMPARE(label(form, "lbProgress")->text(), QString());
        QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("Backing up"));

        // A step that cannot count moves the bar; the next percentage sets it again. A long
        // name loses its middle, whole in the tip.
        form.updateProgress(QStringLiteral("Unlocking"), AbsProgressTarget::Busy, QString());
        QCOMPARE(bar(form)->maximum(), 0);
        const QString longName = QStringLiteral("Loading %1...").arg(QString(200, QLatin1Char('f')));
        form.updateProgress(QString(), 7, longName);
        QCOMPARE(bar(form)->maximum(), 100);
        QCOMPARE(bar(form)->value(), 7);
        QVERIFY(label(form, "lbProgress")->text().startsWith(QStringLiteral("Loading ")));
        QVERIFY(label(form, "lbProgress")->text().endsWith(QStringLiteral("f...")));
        QVERIFY(label(form, "lbProgress")->text().size() < longName.size());
        QCOMPARE(label(form, "lbProgress")->toolTip(), longName);
    }

    // The passcode notice takes a band of its own; the bar and Cancel move down and back.
    void aNoticeShowsUntilTakenAway()
    {
        ProgressForm form;
        const int height = form.height();
        const int barTop = bar(form)->y();
        form.postNotice(QStringLiteral("Unlock your iPhone"));
        QCoreApplication::processEvents();
        QVERIFY(label(form, "lbNotice")->isVisibleTo(&form));
        QCOMPARE(label(form, "lbNotice")->text(), QStringLiteral("Unlock your iPhone"));
        QVERIFY(form.height() > height);
        QVERIFY(bar(form)->y() > label(form, "lbNotice")->geometry().bottom());
        form.postNotice(QStringLiteral("Unlock your iPhone"));
        form.postNotice(QString());
        QCoreApplication::processEvents();
        QVERIFY(!label(form, "lbNotice")->isVisibleTo(&form));
        QCOMPARE(form.height(), height);
        QCOMPARE(bar(form)->y(), barTop);
    }

    void postsAreQueuedEvenFromTheGuiThread()
    {
        ProgressForm form;
        form.postProgress(QStringLiteral("one"), 10, QString());
        form.postProgress(QStringLiteral("two"), 20, QStringLiteral("last"));
        form.postError(QStringLiteral("late"));
        QVERIFY(label(form, "lbStatus")->text().isEmpty());
        QVERIFY(boxes.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("two"));
        QCOMPARE(label(form, "lbProgress")->text(), QStringLiteral("last"));
        QCOMPARE(boxes.size(), 1);
    }

    void closeRequestLeavesItOpenAndEscapeCancels()
    {
        ProgressForm form;
        QSignalSpy cancels(&form, &ProgressForm::userCancel);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        form.reject();
        form.accept();
        QVERIFY(form.isVisible());
        QVERIFY(!form.isCanceled());
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QVERIFY(form.isCanceled());
        QCOMPARE(cancels.size(), 1);
    }

    void endingsSetResultAndCancelFlag_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("box");   // -1: no box
        QTest::newRow("succeed empty") << "succeed"
                                       << "" << 1 << -1;
        QTest::newRow("succeed text") << "succeed"
                                      << "Done 3." << 1 << int(QMessageBox::Information);
        QTest::newRow("error") << "errorOccurred"
                               << "Disk full" << 0 << int(QMessageBox::Critical);
        QTest::newRow("cancel") << "cancel"
                                << "" << 0 << -1;
        // The task ended well just after the cancel: still no success is told.
        QTest::newRow("cancel, then success") << "cancel"
                                              << "Done 3." << 0 << -1;
    }

    void endingsSetResultAndCancelFlag()
    {
        QFETCH(QString, slot);
        QFETCH(QString, text);
        QFETCH(int, result);
        QFETCH(int, box);
        ProgressForm form;
        QSignalSpy cancels(&form, &ProgressForm::userCancel);
        QTimer::singleShot(0, &form, [&] {
            if (slot == QLatin1String("succeed"))
                form.succeed(text);
            else if (slot == QLatin1String("errorOccurred"))
                form.errorOccurred(text);
            else
                QTest::mouseClick(cancelButton(form), Qt::LeftButton);
        });
        QCOMPARE(form.exec(), result);
        if (slot == QLatin1String("cancel") && !text.isEmpty())
            form.succeed(text);   // queued by the worker before it saw the cancel
        QCOMPARE(form.isCanceled(), result == 0);
        QCOMPARE(cancels.size(), slot == QLatin1String("cancel") ? 1 : 0);
        if (box < 0) {
            QVERIFY(boxes.isEmpty());
        } else {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(int(boxes.first().first), box);
            QVERIFY(boxes.first().second.contains(text));
        }
        // Only a failure is reported to the vendor.
        QCOMPARE(reported.size(), slot == QLatin1String("errorOccurred") ? 1 : 0);
    }

    void tipsWaitHoldsTheFlagUntilTheBoxIsClosed()
    {
        ProgressForm form;
        bool flagWhileShown = false;
        setMessageBoxTestHook([&](QMessageBox::Icon, const QString &text) {
            flagWhileShown = form.isWaitingForTips();
            boxes.append({QMessageBox::Information, text});
            return QMessageBox::Ok;
        });
        form.postTipsWait(QStringLiteral("Unlock your iPhone."));
        QVERIFY(form.isWaitingForTips());
        QCoreApplication::processEvents();
        QVERIFY(flagWhileShown);
        QVERIFY(!form.isWaitingForTips());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().second, QStringLiteral("Unlock your iPhone."));
    }

    void workerThreadSucceeds()
    {
        ProgressForm form;
        CountingWorker worker(&form, 50, CountingWorker::Succeed);
        QVERIFY(runWithProgress(form, worker));
        QVERIFY(worker.isFinished());
        QVERIFY(worker.ranOnOwnThread);
        QCOMPARE(worker.done.load(), 50);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().second, QStringLiteral("Successfully counted 50."));
        QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("Counting..."));
    }

    void workerErrorIsShownAndCountsAsFailure()
    {
        ProgressForm form;
        CountingWorker worker(&form, 5, CountingWorker::Fail);
        QVERIFY(!runWithProgress(form, worker));
        QVERIFY(worker.isFinished());
        QVERIFY(form.isCanceled());
        QCOMPARE(form.result(), 0);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().first, QMessageBox::Critical);
        QVERIFY(boxes.first().second.contains(QStringLiteral("Disk full &lt;1%&gt;<br/>while writing")));
    }

    void cancelStopsTheWorkerAtItsNextCheck()
    {
        ProgressForm form;
        CountingWorker worker(&form, 100, CountingWorker::WaitForCancel);
        // Cancel once the first unit has been reported.
        QTimer poll;
        connect(&poll, &QTimer::timeout, &form, [&] {
            if (label(form, "lbProgress")->text() == QLatin1String("Messages: 1/100")) {
                poll.stop();
                QTest::mouseClick(cancelButton(form), Qt::LeftButton);
            }
        });
        poll.start(5);
        QVERIFY(!runWithProgress(form, worker));
        QVERIFY(worker.sawCancel);
        QVERIFY(worker.done < 100);
        QVERIFY(boxes.isEmpty());
        QVERIFY(reported.isEmpty());

        // A cancel the dialog did not ask for still closes it, as a cancel: the command never waits.
        ProgressForm second;
        CountingWorker unasked(&second, 3, CountingWorker::CancelUnasked);
        QVERIFY(!runWithProgress(second, unasked));
        QVERIFY(second.isCanceled());
        QVERIFY(boxes.isEmpty());
        QVERIFY(reported.isEmpty());
    }
};

QTEST_MAIN(TestProgressForm)
#include "TestProgressForm.moc"

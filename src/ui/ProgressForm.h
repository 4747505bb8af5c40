#pragma once

#include "ui/Export.h"
#include "workers/AbsProgressTarget.h"

#include <QDialog>
#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

// The modal dialog in front of every background task. Workers report to it through the
// AbsProgressTarget operations, which queue the slot calls to the GUI thread. It closes only
// through errorOccurred (result 0), succeed (result 1) or cancel (result 0; also a task's cancel
// it did not ask for). Escape does what the Cancel button does; the window's close control is ignored.
class PARLEWICK_UI_EXPORT ProgressForm : public QDialog, public AbsProgressTarget
{
    Q_OBJECT
public:
    explicit ProgressForm(QWidget *parent = nullptr);

    bool isCanceled() const override { return canceled; }
    // The task's success text is not shown: the caller says it once the dialog has closed.
    void leaveSuccessUnshown() { showsSuccess = false; }
    // Kept open from one task of a workflow to the next (runInKeptForm): a task's success leaves
    // it shown for the next step; an error or a cancel closes it as always.
    void keepBetweenTasks() { keptOpen = true; }
    bool isWaitingForTips() const override { return waitingForTips; }

    void postProgress(const QString &status, int value, const QString &text) override;
    void postError(const QString &message) override;
    void postSuccess(const QString &message) override;
    void postTipsWait(const QString &info) override;
    void postCanceled() override;
    // Shown in a line of its own between the status and the bar until taken away.
    void postNotice(const QString &notice) override;

    void accept() override { }
    void reject() override { }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

signals:
    void userCancel();
    void taskSucceeded();   // kept open between tasks: the one that ran ended well

public slots:
    void updateProgress(const QString &status, int curProgress, const QString &progressText);
    void errorOccurred(const QString &tipsStr);
    void succeed(const QString &tipsStr);
    void onFinish(int result);
    void tipsWait(const QString &info);
    void cancel();

private:
    void showNotice(const QString &notice);

    // Written on the GUI thread, read by the worker.
    std::atomic<bool> canceled{false};
    std::atomic<bool> waitingForTips{false};
    bool showsSuccess = true;
    bool keptOpen = false;

    QLabel *lbStatus = nullptr;
    QLabel *lbNotice = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *lbProgress = nullptr;
    QPushButton *btnCancel = nullptr;
};

// Runs `worker` (built with `form` as its progress target) behind the modal form: starts the
// thread, shows the form until the task ends, then waits for the thread whatever happened.
// True only when the task succeeded; only then may the caller read the worker's results.
PARLEWICK_UI_EXPORT bool runWithProgress(ProgressForm &form, QThread &worker);
// The same for one step of a workflow in a form kept open across its steps: shown (modal) if it is
// not yet, and left shown when the step succeeded.
PARLEWICK_UI_EXPORT bool runInKeptForm(ProgressForm &form, QThread &worker);

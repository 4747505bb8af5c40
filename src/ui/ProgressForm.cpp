#include "ui/ProgressForm.h"

#include "app/FileUtils.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"
#include "widgets/WinMovable.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

ProgressForm::ProgressForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ProgressForm"));
    resize(350, 122);
    setWindowTitle(tr("Dialog"));

    lbStatus = new QLabel(this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setGeometry(20, 20, 311, 16);

    lbNotice = new QLabel(this);
    lbNotice->setTextFormat(Qt::PlainText);
    lbNotice->setObjectName(QStringLiteral("lbNotice"));
    lbNotice->setWordWrap(true);
    lbNotice->hide();

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setGeometry(20, 40, 321, 23);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    progressBar->setOrientation(Qt::Horizontal);

    lbProgress = new QLabel(this);
    lbProgress->setObjectName(QStringLiteral("lbProgress"));
    lbProgress->setGeometry(25, 70, 281, 20);
    lbProgress->setAlignment(Qt::AlignCenter);

    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(130, 90, 75, 23);

    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));

    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
}

// Always queued, also when called on the GUI thread: a post never runs a slot (or shows a
// box) inside the caller, and reports arrive in the order they were posted.
void ProgressForm::postProgress(const QString &status, int value, const QString &text)
{
    QMetaObject::invokeMethod(
        this, [this, status, value, text] { updateProgress(status, value, text); }, Qt::QueuedConnection);
}

void ProgressForm::postError(const QString &message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { errorOccurred(message); }, Qt::QueuedConnection);
}

void ProgressForm::postSuccess(const QString &message)
{
    QMetaObject::invokeMethod(
        this, [this, message] { succeed(message); }, Qt::QueuedConnection);
}

void ProgressForm::postTipsWait(const QString &info)
{
    waitingForTips = true;
    QMetaObject::invokeMethod(
        this, [this, info] { tipsWait(info); }, Qt::QueuedConnection);
}

// The cancel came from this dialog, which closed then; should it still be open, it closes as
// after a cancel, so that a task's end never leaves it waiting.
void ProgressForm::postCanceled()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible())
                done(0);
        },
        Qt::QueuedConnection);
}

void ProgressForm::postNotice(const QString &notice)
{
    QMetaObject::invokeMethod(
        this, [this, notice] { showNotice(notice); }, Qt::QueuedConnection);
}

// The notice takes a band of its own between the status and the bar; the dialog grows by it.
void ProgressForm::showNotice(const QString &notice)
{
    constexpr int kNoticeHeight = 48;
    const bool wasShown = !lbNotice->isHidden();
    lbNotice->setText(notice);
    lbNotice->setVisible(!notice.isEmpty());
    if (wasShown == !lbNotice->isHidden())
        return;
    const int shift = wasShown ? -kNoticeHeight : kNoticeHeight;
    lbNotice->setGeometry(20, 40, 321, kNoticeHeight - 4);
    for (QWidget *below :
         {static_cast<QWidget *>(progressBar), static_cast<QWidget *>(lbProgress), static_cast<QWidget *>(btnCancel)})
        below->move(below->x(), below->y() + shift);
    resize(width(), height() + shift);
}

void ProgressForm::updateProgress(const QString &status, int curProgress, const QString &progressText)
{
    if (!status.isEmpty())
        lbStatus->setText(status);
    if (curProgress == Busy) {
        progressBar->setRange(0, 0);
    } else if (curProgress >= 0) {
        progressBar->setRange(0, 100);
        progressBar->setValue(curProgress);
    }
    // The bar shows the percentage itself; the line below it only says what it counts. A long
    // file name loses its middle rather than its end.
    lbProgress->setText(lbProgress->fontMetrics().elidedText(progressText, Qt::ElideMiddle, lbProgress->width()));
    lbProgress->setToolTip(progressText);
}

// Centred on the program's window, whatever dialog in front of it started the task.
void ProgressForm::showEvent(QShowEvent *event)
{
    QWidget *window = parentWidget();
    while (window && window->parentWidget())
        window = window->parentWidget();
    if (window)
        move(window->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    QDialog::showEvent(event);
}

void ProgressForm::errorOccurred(const QString &tipsStr)
{
    reportError(richTextOf(tipsStr));
    done(0);
}

void ProgressForm::succeed(const QString &tipsStr)
{
    // A task that ended well just after the user canceled: the user was told it stopped.
    if (canceled)
        return;
    if (keptOpen) {
        // A box never stands on a live progress dialog: a step with words to say ends the dialog.
        if (showsSuccess && !tipsStr.isEmpty()) {
            hide();
            showInformation(richTextOf(tipsStr));
        }
        setResult(1);
        emit taskSucceeded();
        return;
    }
    if (showsSuccess && !tipsStr.isEmpty())
        showInformation(richTextOf(tipsStr));
    done(1);
}

void ProgressForm::onFinish(int result)
{
    canceled = result == 0;
}

void ProgressForm::tipsWait(const QString &info)
{
    showInformation(richTextOf(info));
    waitingForTips = false;
}

void ProgressForm::keyPressEvent(QKeyEvent *event)
{
    // The same road as the button, so that whatever the button asks first is asked here too.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (btnCancel->isVisible() && btnCancel->isEnabled())
            btnCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ProgressForm::cancel()
{
    emit userCancel();
    done(0);
}

bool runInKeptForm(ProgressForm &form, QThread &worker)
{
    form.setResult(0);
    worker.start(QThread::InheritPriority);
    if (!form.isVisible()) {
        form.setWindowModality(Qt::ApplicationModal);
        form.show();
    }
    QEventLoop loop;
    QObject::connect(&form, &ProgressForm::taskSucceeded, &loop, &QEventLoop::quit);
    QObject::connect(&form, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
    worker.wait();
    return form.result() == 1 && !form.isCanceled();
}

bool runWithProgress(ProgressForm &form, QThread &worker)
{
    worker.start(QThread::InheritPriority);
    const bool succeeded = form.exec() == 1 && !form.isCanceled();
    worker.wait();
    return succeeded;
}

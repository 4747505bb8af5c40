#include "ui/WindowInteraction.h"

#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "flows/BackupReading.h"
#include "flows/LoadPhone.h"
#include "flows/TransferToBackup.h"
#include "itunes/BackupManifest.h"
#include "itunes/BackupWriteLock.h"
#include "kik/AbsKikDb.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/CommandDialogs.h"
#include "ui/CommandHost.h"
#include "ui/PhonePasswords.h"
#include "ui/ProgressForm.h"
#include "views/ItemModelMain.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"
#include "workers/ExportTarget.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The progress dialog in front of one task.
class WindowTask : public FlowTask
{
public:
    explicit WindowTask(QWidget *parent)
        : m_form(parent)
    {
    }
    void leaveSuccessUnshown() { m_form.leaveSuccessUnshown(); }
    AbsProgressTarget &target() override { return m_form; }
    bool run(QThread &worker) override { return runWithProgress(m_form, worker); }

private:
    ProgressForm m_form;
};

// One step of the workflow in its progress dialog, which stays open for the next.
class WindowStep : public FlowTask
{
public:
    explicit WindowStep(ProgressForm &form)
        : m_form(form)
    {
    }
    AbsProgressTarget &target() override { return m_form; }
    bool run(QThread &worker) override { return runInKeptForm(m_form, worker); }

private:
    ProgressForm &m_form;
};

const QStringList FilterKinds = {QStringLiteral("txt"), QStringLiteral("doc"), QStringLiteral("csv"), QStringLiteral("pdf"),
                                 QStringLiteral("html")};

}   // namespace

bool WindowInteraction::run(const std::function<bool()> &flow)
{
    try {
        return flow();
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
        return false;
    }
}

WindowInteraction::WindowInteraction(CommandHost &host)
    : m_window(host)
{
}

WindowInteraction::~WindowInteraction() = default;

ProgressForm &WindowInteraction::flowForm()
{
    if (!m_flowForm) {
        m_flowForm = std::make_unique<ProgressForm>(m_window.dialogParent());
        m_flowForm->keepBetweenTasks();
    }
    return *m_flowForm;
}

std::unique_ptr<FlowTask> WindowInteraction::task()
{
    return std::make_unique<WindowStep>(flowForm());
}

std::unique_ptr<FlowTask> WindowInteraction::lastTask()
{
    return task();
}

// The end of an export is told in one box by exported(), after the progress dialog has closed.
std::unique_ptr<FlowTask> WindowInteraction::exportTask()
{
    auto task = std::make_unique<WindowTask>(m_window.dialogParent());
    task->leaveSuccessUnshown();
    return task;
}

QSharedPointer<BackupManifest> WindowInteraction::chooseBackup(BackupUse use)
{
    return use == BackupUse::Read ? m_window.dialogs().chooseBackup() : m_window.dialogs().chooseBackupToWrite();
}

// One password per phone and session: the one that unlocked the phone's backup last is tried
// first; the user is asked only when there is none or it no longer unlocks.
bool WindowInteraction::unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password)
{
    PhonePasswords &kept = m_window.phonePasswords();
    const QString phone = backup->uniqueDeviceId();
    if (const Secret *known = kept.of(phone)) {
        switch (unlockWithKnownPassword(*this, backup, *known)) {
        case KnownPassword::Unlocked:
            if (password)
                *password = known->clone();
            return true;
        case KnownPassword::Stopped:
            return false;
        case KnownPassword::Refused:
            break;
        }
    }
    Secret given;
    if (!m_window.dialogs().unlockBackup(backup, &given))
        return false;
    if (password)
        *password = given.clone();
    kept.keep(phone, std::move(given));
    return true;
}

QString WindowInteraction::chooseKikAccount(const QList<KikAccountSummary> &accounts)
{
    return m_window.dialogs().chooseKikAccount(accounts);
}

QString WindowInteraction::chooseLocalDb(const QStringList &existingNames, const QString &proposedName)
{
    return m_window.dialogs().chooseLocalDb(existingNames, proposedName);
}

const QStringList &WindowInteraction::exportFilters()
{
    static const QStringList list = {QStringLiteral("Text Files(*.txt)"), QStringLiteral("Doc Files(*.doc)"),
                                     QStringLiteral("CSV Files(*.csv)"), QStringLiteral("PDF Files(*.pdf)"),
                                     QStringLiteral("HTML Files(*.html)")};
    return list;
}

QString WindowInteraction::kindOfFilter(const QString &filter)
{
    const qsizetype index = exportFilters().indexOf(filter);
    // Any other text is handed on as it is, for the export rules to refuse.
    return index < 0 ? filter : FilterKinds.at(index);
}

// A name typed with a known suffix ("x.html") is exported as that kind whatever filter is
// selected; any other name takes the filter's kind.
ExportChoice WindowInteraction::chooseExport(const QString &what)
{
    const QString initialPath = QDir::home().filePath(
        QStringLiteral("chats(%1)").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    const CommandDialogs::ExportChoice chosen = m_window.dialogs().chooseExportFile(
        QObject::tr("IDS_SEL_EXPORT_MESSAGES_PATH"), initialPath, exportFilters().join(QStringLiteral(";;")), what);
    ExportChoice choice;
    choice.path = chosen.path;
    const QString typedKind = ExportTarget::kindOfSuffix(chosen.path);
    choice.kind = typedKind.isEmpty() ? kindOfFilter(chosen.filter) : typedKind;
    choice.emoji = chosen.emojiAsCharacters ? EmojiStyle::Characters : EmojiStyle::Placeholder;
    return choice;
}

bool WindowInteraction::confirm(Question question, const QString &text)
{
    switch (question) {
    case Question::CloseKik:
        return askToContinue(richTextOf(text) + QStringLiteral("<br/><br/><img src=\":res/kill_kik.png\">"));
    case Question::RestoreNotes:
        return askToContinue(richTextOf(text));
    case Question::WriteIntoBackup:
        return askWithButtons(QMessageBox::Question, richTextOf(text), QStringLiteral("Write"), QStringLiteral("Cancel"));
    }
    return false;
}

void WindowInteraction::acquireWriteLock(BackupWriteLock &lock)
{
    lock.acquireOrBusyThrow();
}

KikDataSetPtr WindowInteraction::loadKik(std::unique_ptr<AbsKikDb> store, const QString &title)
{
    return m_window.loadWithProgress(std::move(store), title, &flowForm());
}

void WindowInteraction::showPhone(const DeviceDescription &device, const KikDataSetPtr &data)
{
    ItemModelMain *model = &m_window.sources();
    // A phone announced again (loaded anew) replaces its node rather than doubling it.
    const QList<ItemNode *> devices = model->deviceRoot()->children;
    for (ItemNode *node : devices) {
        auto *known = static_cast<PhoneItemNode *>(node);
        if (known->device.handle == device.handle)
            m_window.removeSourceNode(known);
    }
    PhoneItemNode *node = model->addDevice(device);
    node->dataSet = data;
    m_shownPhoneData = data;
    model->addChats(node);
    m_window.selectNode(node);
}

void WindowInteraction::phoneWritten(const DeviceDescription &device, bool restarting)
{
    // A restarting phone's node goes now; the phone is loaded again when it comes back. A phone
    // that came back before this flow ended (a busy computer) is already listed anew, perhaps
    // under the same handle: only the node with the data this flow read goes.
    if (restarting) {
        for (ItemNode *node : m_window.sources().deviceRoot()->children) {
            auto *known = static_cast<PhoneItemNode *>(node);
            if (known->device.handle == device.handle && known->dataSet == m_shownPhoneData) {
                m_window.removeSourceNode(known);
                break;
            }
        }
    } else
        run([&] { return LoadPhone(*this, device).run(); });
}

void WindowInteraction::localDbWritten(const QString &storedName, bool succeeded)
{
    const LocalDbCatalogue catalogue;
    LocalDbItemNode *node = nullptr;
    for (ItemNode *known : m_window.sources().localDbRoot()->children) {
        if (LocalDbCatalogue::sameName(known->text, storedName))
            node = static_cast<LocalDbItemNode *>(known);
    }
    // A failed or canceled first backup that left no database gets no node: it would make an
    // empty database when selected.
    if (!node && LocalDbCatalogue::holdsDatabase(catalogue.folderOf(storedName)))
        node = m_window.sources().addLocalDb(storedName);
    if (succeeded && node && m_window.reloadLocalDb(node))
        m_window.selectNode(node);
}

void WindowInteraction::transferred(int messages, const BackupManifest *backup)
{
    if (!backup) {
        showInformation(QObject::tr("Successfully transferred %n messages to iPhone.", nullptr, messages));
        return;
    }
    showInformation(QObject::tr("Successfully transferred %n messages into the iTunes backup<br/>%1.", nullptr, messages)
                        .arg(richTextOf(TransferToBackup::describe(*backup))));
}

void WindowInteraction::exported(int messages, const QString &path)
{
    const QString text = QObject::tr("IDS_SUC_EXPORT_%n_MMS", nullptr, messages) + QStringLiteral("<br/><br/>")
                         + escapeHtml(QDir::toNativeSeparators(path));
    if (!showInformationOffering(text, QStringLiteral("Open folder")))
        return;
    // A PDF or HTML export is a folder of pages: that folder is the one to see.
    const QFileInfo written(path);
    openInExplorer(written.isDir() ? written.filePath() : written.path());
}

void WindowInteraction::tell(const QString &text)
{
    showInformation(richTextOf(text));
}

void WindowInteraction::warn(Warning warning, const QString &text)
{
    const QString picture =
        warning == Warning::CloudBackupOn ? QStringLiteral("<br/><br/><img src=\":res/close_icloudbk.png\"/>") : QString();
    showWarning(richTextOf(text) + picture);
}

void WindowInteraction::mention(const QString &text)
{
    qInfo().noquote() << text;
}

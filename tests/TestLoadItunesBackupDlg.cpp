#include "TestEnv.h"

#include "ItunesBackupBuilder.h"
#include "itunes/BackupManifest.h"
#include "ui/CommandDialogs.h"
#include "ui/LoadItunesBackupDlg.h"
#include "ui/PasscodeDlg.h"
#include "views/ItemModelLoadBk.h"
#include "views/ViewIcons.h"
#include "widgets/MessageBoxes.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

class TestLoadItunesBackupDlg : public QObject
{
    Q_OBJECT
    TestEnv env;
    QStringList m_boxes;   // texts of the message boxes shown

    QString makeBackup(const QString &folder, const QDateTime &date, const QString &name, const QString &password = QString(),
                       BackupFormat format = BackupFormat::Mbdb, bool finished = true)
    {
        ItunesBackupBuilder::Device device;
        device.date = date;
        device.deviceName = name;
        if (format == BackupFormat::FilesDb)
            device.productVersion = QStringLiteral("17.5");
        ItunesBackupBuilder builder(device);
        builder.setFormat(format);
        builder.setFinished(finished);
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
        if (!password.isEmpty())
            builder.setPassword(password, 10);
        builder.build(folder);
        return folder;
    }

    QString backupRoot() const
    {
        return QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("MobileSync/Backup"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        setMessageBoxTestHook([this](QMessageBox::Icon, const QString &text) {
            m_boxes.append(text);
            return QMessageBox::Ok;
        });
    }
    void init() { m_boxes.clear(); }
    void cleanupTestCase() { setMessageBoxTestHook(MessageBoxTestHook()); }

    void modelOrderAndLooks()
    {
        ItemModelLoadBk model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QDateTime day(QDate(2016, 3, 14), QTime(12, 0), Qt::UTC);
        auto add = [&](const QString &name, const QDateTime &date) {
            const QString folder = makeBackup(env.path(QStringLiteral("model/") + name), date, name);
            auto backup = QSharedPointer<BackupManifest>::create(folder);
            backup->readInfo();
            model.insert(backup);
        };
        add(QStringLiteral("first"), day);
        add(QStringLiteral("second"), day);   // same date: after the first
        add(QStringLiteral("newest"), day.addDays(1));
        add(QStringLiteral("oldest"), day.addDays(-1));
        QStringList names;
        for (int row = 0; row < model.rowCount(); ++row)
            names.append(model.index(row, 0).data().toString().section(QLatin1Char('-'), 0, 0));
        QCOMPARE(names, (QStringList{"newest", "first", "second", "oldest"}));

        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Backup Date"));
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), QStringLiteral("iOS"));
        QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("9.3.5"));
        QCOMPARE(model.index(1, 4).data().toString(), QStringLiteral("finished"));
        QVERIFY(!model.headerData(1, Qt::Vertical).isValid());
        QCOMPARE(model.index(1, 1).data(Qt::ToolTipRole).toString(), QLocale::system().toString(day, QLocale::ShortFormat));
        QCOMPARE(model.index(1, 2).data().toString(), QDir(env.path(QStringLiteral("model/first"))).absolutePath());
        QCOMPARE(model.index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
        QCOMPARE(model.index(2, 2).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
        QCOMPARE(model.index(0, 1).data(Qt::SizeHintRole).toSize(), QSize(0, 25));
        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(ViewIconSize, 1.0).width(), 18);
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
    }

    void listsBackupsAndLoadsThePickedOne()
    {
        const QDateTime day(QDate(2017, 1, 2), QTime(3, 4), Qt::UTC);
        makeBackup(backupRoot() + QStringLiteral("/older"), day, QStringLiteral("Old phone"));
        makeBackup(backupRoot() + QStringLiteral("/newer"), day.addDays(3), QStringLiteral("New phone"));
        QDir().mkpath(backupRoot() + QStringLiteral("/not-a-backup"));
        // Both manifests present but Manifest.plist unreadable as a folder: reported, skipped.
        QDir().mkpath(backupRoot() + QStringLiteral("/broken/Manifest.plist"));
        QFile mbdb(backupRoot() + QStringLiteral("/broken/Manifest.mbdb"));
        QVERIFY(mbdb.open(QIODevice::WriteOnly));
        mbdb.close();
        QVERIFY(QDir().mkpath(backupRoot() + QStringLiteral("/hostile")));
        QVERIFY(mbdb.copy(backupRoot() + QStringLiteral("/hostile/Manifest.mbdb")));
        QFile hostile(backupRoot() + QStringLiteral("/hostile/Manifest.plist"));
        QVERIFY(hostile.open(QIODevice::WriteOnly));
        hostile.write("<plist>" + QByteArray("<array><!--</array>-->").repeated(200000) + "</plist>");
        hostile.close();

        LoadItunesBackupDlg dialog;
        auto *list = dialog.findChild<QTreeView *>(QStringLiteral("listBackups"));
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QStringLiteral("New phone-newer"));
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY2(m_boxes.join('\n').contains(QStringLiteral("load ")
                                             + QDir(backupRoot()).absoluteFilePath(QStringLiteral("broken"))
                                             + QStringLiteral(" error. ")),
                 qPrintable(m_boxes.join('\n')));
        QVERIFY2(m_boxes.join('\n').contains(QStringLiteral("/hostile/Manifest.plist is damaged")),
                 qPrintable(m_boxes.join('\n')));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lbTitle"))->text(),
                 QStringLiteral("Please select an iTunes Backup to load."));
        QVERIFY(
            dialog.findChild<QLabel *>(QStringLiteral("lbAddOther"))->text().contains(QStringLiteral("<a href=\"#\">HERE</a>")));
        QVERIFY(!list->currentIndex().isValid());

        m_boxes.clear();
        dialog.findChild<QPushButton *>(QStringLiteral("btnLoad"))->click();
        QCOMPARE(m_boxes, QStringList{QStringLiteral("Need to select an iTunes Backup to continue.")});
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.selectedBackup());

        // A row the view made current on its own (keyboard focus) is not a pick.
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::NoUpdate);
        dialog.findChild<QPushButton *>(QStringLiteral("btnLoad"))->click();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        list->setCurrentIndex(list->model()->index(1, 0));
        dialog.findChild<QPushButton *>(QStringLiteral("btnLoad"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.selectedBackup());
        QCOMPARE(dialog.selectedBackup()->deviceName(), QStringLiteral("Old phone"));
        QVERIFY(QDir(backupRoot() + QStringLiteral("/hostile")).removeRecursively());
    }

    void choosingABackupToWriteIntoSaysSo()
    {
        QString title;
        QString button;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<LoadItunesBackupDlg *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->findChild<QLabel *>(QStringLiteral("lbTitle"))->text();
            button = dialog->findChild<QPushButton *>(QStringLiteral("btnLoad"))->text();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!CommandDialogs::standard(nullptr).chooseBackupToWrite());
        QCOMPARE(title, QStringLiteral("Choose the backup to write into"));
        QCOMPARE(button, QStringLiteral("Write"));
    }

    void addingAFolderTwiceIsRefused()
    {
        const QString folder =
            makeBackup(env.path(QStringLiteral("elsewhere/bk")), QDateTime::currentDateTimeUtc(), QStringLiteral("Other phone"));
        LoadItunesBackupDlg dialog;
        m_boxes.clear();   // the broken backup of the root was reported
        auto *list = dialog.findChild<QTreeView *>(QStringLiteral("listBackups"));
        const int listed = list->model()->rowCount();
        dialog.addBackupFolder(folder);
        QCOMPARE(list->model()->rowCount(), listed + 1);
        QCOMPARE(list->currentIndex().data().toString(), QStringLiteral("Other phone-bk"));
        QVERIFY(m_boxes.isEmpty());

        dialog.addBackupFolder(env.path(QStringLiteral("elsewhere/x/../bk/")));
        QCOMPARE(m_boxes, QStringList{QStringLiteral("This iTunes Backup has been listed on the left.")});
        QCOMPARE(list->model()->rowCount(), listed + 1);

        m_boxes.clear();
        dialog.addBackupFolder(env.path(QStringLiteral("elsewhere")));
        QCOMPARE(m_boxes.size(), 1);   // shown through the error report, which frames the text
        QVERIFY(m_boxes.first().contains(
            QStringLiteral("load %1 error. Cannot find %2")
                .arg(env.path(QStringLiteral("elsewhere")),
                     QDir(env.path(QStringLiteral("elsewhere"))).filePath(QStringLiteral("Manifest.plist")))));
        QCOMPARE(list->model()->rowCount(), listed + 1);
    }

    void columnWidthsFollowTheDialog()
    {
        LoadItunesBackupDlg dialog;
        dialog.resize(880, 400);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *list = dialog.findChild<QTreeView *>(QStringLiteral("listBackups"));
        QCOMPARE(list->columnWidth(0), 240);
        QCOMPARE(list->columnWidth(1), 160);
        QCOMPARE(list->columnWidth(2), 240);
        QCOMPARE(list->columnWidth(3), 64);
        QCOMPARE(list->columnWidth(4), 96);
        QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    }

    void passwordDialog()
    {
        const QString folder = makeBackup(env.path(QStringLiteral("locked")), QDateTime::currentDateTimeUtc(),
                                          QStringLiteral("Locked"), QStringLiteral("open sesame"));
        auto backup = QSharedPointer<BackupManifest>::create(folder);
        backup->readInfo();
        PasscodeDlg dialog(backup);
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("txtPasscode"));
        auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("btnOK"));
        QVERIFY(edit && ok);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QCOMPARE(edit->placeholderText(), QStringLiteral("Enter password"));

        ok->click();
        QCOMPARE(m_boxes, QStringList{QStringLiteral("Password is required.")});
        edit->setText(QStringLiteral("open says me"));
        ok->click();
        QCOMPARE(m_boxes.last(), QStringLiteral("Invalid password."));
        QVERIFY(edit->text().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!backup->keybag());

        edit->setText(QStringLiteral("open sesame"));
        ok->click();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(backup->keybag());

        // A keybag that no password opens says so, never "Invalid password.", and asks again.
        ItunesBackupBuilder builder;
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/x"), "x");
        builder.setPassword(QStringLiteral("pw"), 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        builder.build(env.path(QStringLiteral("hardware-only")));
        auto locked = QSharedPointer<BackupManifest>::create(env.path(QStringLiteral("hardware-only")));
        locked->readInfo();
        PasscodeDlg again(locked);
        again.findChild<QLineEdit *>(QStringLiteral("txtPasscode"))->setText(QStringLiteral("pw"));
        again.findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
        QCOMPARE(m_boxes.size(), 3);
        QVERIFY2(m_boxes.last().contains(QStringLiteral("holds no key protected by a password")), qPrintable(m_boxes.last()));
        QCOMPARE(again.result(), int(QDialog::Rejected));
        QVERIFY(!locked->keybag());
    }

    void modernBackupsLoadAndUnfinishedOnesCannotBePicked()
    {
        const QDateTime day(QDate(2024, 6, 1), QTime(8, 0), Qt::UTC);
        const QString root = env.path(QStringLiteral("modern-root"));
        makeBackup(root + QStringLiteral("/modern"), day, QStringLiteral("iPhone 15"), QString(), BackupFormat::FilesDb);
        makeBackup(root + QStringLiteral("/cut"), day.addDays(1), QStringLiteral("Cut phone"), QString(), BackupFormat::FilesDb,
                   false);
        LoadItunesBackupDlg dialog;
        auto *list = dialog.findChild<QTreeView *>(QStringLiteral("listBackups"));
        dialog.addBackupFolder(root + QStringLiteral("/modern"));
        dialog.addBackupFolder(root + QStringLiteral("/cut"));
        m_boxes.clear();
        const QModelIndex cut = list->model()->index(0, 0);
        QCOMPARE(cut.data().toString(), QStringLiteral("Cut phone-cut"));
        QCOMPARE(cut.siblingAtColumn(3).data().toString(), QStringLiteral("17.5"));
        // Greyed with its reason, in the row and its tip.
        QCOMPARE(cut.siblingAtColumn(4).data().toString(),
                 QStringLiteral("unfinished: Status.plist says it is uploading, not finished"));
        QVERIFY(
            cut.data(Qt::ToolTipRole).toString().contains(QStringLiteral("(Status.plist says it is uploading, not finished)")));
        QFile::remove(root + QStringLiteral("/cut/Status.plist"));
        BackupManifest noStatus(root + QStringLiteral("/cut"));
        noStatus.readInfo();
        QCOMPARE(noStatus.unfinishedReason(), QStringLiteral("Status.plist is missing"));
        QCOMPARE(list->model()->flags(cut), Qt::NoItemFlags);

        // The unfinished row cannot become the pick, neither added nor clicked.
        QCOMPARE(list->currentIndex(), list->model()->index(1, 0));
        list->setCurrentIndex(cut);
        QCOMPARE(list->currentIndex(), list->model()->index(1, 0));
        dialog.btnLoadClicked();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const QSharedPointer<BackupManifest> picked = dialog.selectedBackup();
        QCOMPARE(picked->deviceName(), QStringLiteral("iPhone 15"));
        picked->load();
        QVERIFY(picked->fileTree().node(QStringLiteral("Library/x")));
    }
};

QTEST_MAIN(TestLoadItunesBackupDlg)
#include "TestLoadItunesBackupDlg.moc"

#include "TestEnv.h"

#include "app/FileUtils.h"
#include "ui/DataSourceSelForm.h"
#include "ui/LocalDbSelForm.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestChoiceDialogs : public QObject
{
    Q_OBJECT
    TestEnv env;
    QStringList warnings;

    template <typename T>
    static T *part(QWidget &dialog, const char *name)
    {
        return dialog.findChild<T *>(QLatin1String(name));
    }

    // Runs `inside` once the dialog's modal loop is running.
    static void whenShown(QObject *context, std::function<void()> inside) { QTimer::singleShot(0, context, std::move(inside)); }

private slots:
    void initTestCase() { QVERIFY(TestEnv::installEnglishTexts()); }

    void init()
    {
        warnings.clear();
        setMessageBoxTestHook([this](QMessageBox::Icon icon, const QString &text) {
            if (icon == QMessageBox::Warning)
                warnings << text;
            return QMessageBox::Ok;
        });
    }

    void cleanup() { setMessageBoxTestHook({}); }

    void deviceDialogLooksAsStyled()
    {
        DataSourceSelForm dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(dialog.styleSheet(), styleSheet());
        QCOMPARE(part<QLabel>(dialog, "lbSelDevice")->text(), QStringLiteral("Please select a Device."));
        QCOMPARE(part<QPushButton>(dialog, "btnOK")->text(), QStringLiteral("Confirm"));
        QCOMPARE(part<QPushButton>(dialog, "btnClose")->text(), QStringLiteral("Cancel"));
        QVERIFY(part<QLayout>(dialog, "horizontalLayout"));
    }

    void singleDeviceIsPreselected()
    {
        DataSourceSelForm dialog;
        int node = 7;
        QString title;
        whenShown(&dialog, [&] {
            title = part<QLabel>(dialog, "lbSelDevice")->text();
            part<QPushButton>(dialog, "btnOK")->click();
        });
        void *chosen = dialog.chooseEntry(QStringLiteral("Transfer to which iPhone?"),
                                          {{QStringLiteral(":/res/iphone.svg"), QStringLiteral("Anna's iPhone"), &node}});
        QCOMPARE(chosen, static_cast<void *>(&node));
        QCOMPARE(title, QStringLiteral("Transfer to which iPhone?"));
        QVERIFY(warnings.isEmpty());
    }

    void twoDevicesNeedAChoice()
    {
        DataSourceSelForm dialog;
        int first = 1;
        int second = 2;
        QStringList captions;
        whenShown(&dialog, [&] {
            auto *combo = part<QComboBox>(dialog, "cbDevice");
            QCOMPARE(combo->currentIndex(), -1);
            for (int i = 0; i < combo->count(); ++i)
                captions << combo->itemText(i);
            part<QPushButton>(dialog, "btnOK")->click();
            QVERIFY(dialog.isVisible());   // the warning keeps it open
            combo->setCurrentIndex(1);
            part<QPushButton>(dialog, "btnOK")->click();
        });
        void *chosen = dialog.chooseEntry(QStringLiteral("Pick"),
                                          {{QString(), QStringLiteral("A"), &first}, {QString(), QStringLiteral("B"), &second}});
        QCOMPARE(chosen, static_cast<void *>(&second));
        QCOMPARE(captions, (QStringList{"A", "B"}));
        QCOMPARE(warnings, QStringList{QStringLiteral("Need to select a Device to continue.")});
    }

    // Accounts open with the first one chosen: Return alone loads it.
    void accountsStartWithTheFirstChosen()
    {
        DataSourceSelForm dialog;
        int first = 1;
        int second = 2;
        whenShown(&dialog, [&] {
            QCOMPARE(part<QComboBox>(dialog, "cbDevice")->currentIndex(), 0);
            part<QPushButton>(dialog, "btnOK")->click();
        });
        void *chosen = dialog.chooseEntry(
            QStringLiteral("Pick"),
            {{QString(), QStringLiteral("ann (Ann)"), &first}, {QString(), QStringLiteral("bob"), &second}}, true);
        QCOMPARE(chosen, static_cast<void *>(&first));
        QVERIFY(warnings.isEmpty());
    }

    void cancelChoosesNoDevice()
    {
        DataSourceSelForm dialog;
        int node = 1;
        whenShown(&dialog, [&] { part<QPushButton>(dialog, "btnClose")->click(); });
        QCOMPARE(dialog.chooseEntry(QStringLiteral("Pick"), {{QString(), QStringLiteral("A"), &node}}), nullptr);
    }

    void databaseDialogOffersExistingNamesAndTheProposal()
    {
        LocalDbSelForm dialog({QStringLiteral("Work"), QStringLiteral("Anna_Backup")}, QStringLiteral("Ben_Backup"));
        auto *combo = part<QComboBox>(dialog, "cbLocalDbNames");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select one Database for backup"));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(part<QLabel>(dialog, "label")->text(),
                 QStringLiteral("Select current database to merge or enter a new database name:"));
        QVERIFY(combo->isEditable());
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QString());
        QCOMPARE(combo->itemText(2), QStringLiteral("Anna_Backup"));
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QStringLiteral("Ben_Backup"));

        LocalDbSelForm empty({QStringLiteral("Work")}, QString());
        QCOMPARE(part<QComboBox>(empty, "cbLocalDbNames")->currentText(), QString());
    }

    void databaseNamesAreCheckedBeforeAccepting_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("warning");   // empty: accepted
        const QString empty = QStringLiteral("Select one Database or enter a new Database name");
        const QString invalid = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");
        QTest::newRow("blanks around are kept") << " a "
                                                << "";
        QTest::newRow("plain") << "Anna_Backup"
                               << "";
        QTest::newRow("nothing") << "" << empty;
        QTest::newRow("blanks only") << "   " << empty;
        QTest::newRow("slash") << "a/b" << invalid;
        QTest::newRow("backslash") << "a\\b" << invalid;
        QTest::newRow("colon") << "c:" << invalid;
        QTest::newRow("tab") << "a\tb" << invalid;
        QTest::newRow("parent folder") << ".." << invalid;
        QTest::newRow("same folder") << "." << invalid;
    }

    void databaseNamesAreCheckedBeforeAccepting()
    {
        QFETCH(QString, typed);
        QFETCH(QString, warning);
        LocalDbSelForm dialog({QStringLiteral("Work")}, QString());
        bool stayedOpen = false;
        whenShown(&dialog, [&] {
            part<QComboBox>(dialog, "cbLocalDbNames")->setEditText(typed);
            part<QPushButton>(dialog, "btnOK")->click();
            stayedOpen = dialog.isVisible();
            if (stayedOpen)
                part<QPushButton>(dialog, "btnClose")->click();
        });
        const QString chosen = dialog.chooseDatabaseName();
        if (warning.isEmpty()) {
            QCOMPARE(chosen, typed);
            QVERIFY(warnings.isEmpty());
        } else {
            QVERIFY(stayedOpen);
            QCOMPARE(chosen, QString());
            QCOMPARE(warnings, QStringList{richTextOf(warning)});   // the box shows the plain rule as rich text
        }
    }

    void pickingAnExistingDatabase()
    {
        LocalDbSelForm dialog({QStringLiteral("Work"), QStringLiteral("Home")}, QStringLiteral("New_Backup"));
        whenShown(&dialog, [&] {
            part<QComboBox>(dialog, "cbLocalDbNames")->setCurrentIndex(2);
            part<QPushButton>(dialog, "btnOK")->click();
        });
        QCOMPARE(dialog.chooseDatabaseName(), QStringLiteral("Home"));
    }
};

QTEST_MAIN(TestChoiceDialogs)
#include "TestChoiceDialogs.moc"

#include "TestEnv.h"

#include "kik/KikLocalDb.h"
#include "kik/LocalDbCatalogue.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// The one rule that turns a database name into its folder: what a name may be, which stored
// folder a name means, and which folders count as databases.
class TestLocalDbCatalogue : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString root;

    void makeDatabase(const QString &name, bool withFile)
    {
        QVERIFY(QDir().mkpath(QDir(root).filePath(name)));
        if (withFile) {
            QFile file(QDir(root).filePath(name + QLatin1Char('/') + QLatin1String(KikLocalDb::DatabaseFileName)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        root = env.path("databases");
        makeDatabase("Archive", true);
        makeDatabase("Old Phone_Backup", true);
        makeDatabase("half made", false);
    }

    void namesThatCannotBeFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << "My chats" << true;
        QTest::newRow("dots inside") << "v1.2" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks") << "   " << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot with blanks") << " .. " << false;
        QTest::newRow("slash") << "../elsewhere" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("line break") << "a\nb" << false;
        QTest::newRow("tab") << "a\tb" << false;
        QTest::newRow("colon") << "C:" << false;
    }
    void namesThatCannotBeFolders()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const LocalDbCatalogue catalogue(root);
        QCOMPARE(LocalDbCatalogue::nameProblem(name).isEmpty(), accepted);
        if (accepted) {
            QCOMPARE(catalogue.folderForThrow(name), QDir(root).filePath(name));
        } else {
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, catalogue.folderForThrow(name));
        }
    }

    // A name spelled otherwise is the database already stored: its folder keeps its spelling.
    void aNameMeansTheStoredFolderWhateverItsCase_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("same") << "Archive"
                              << "Archive";
        QTest::newRow("other case") << "ARCHIVE"
                                    << "Archive";
        QTest::newRow("folder without database") << "Half Made"
                                                 << "half made";
        QTest::newRow("new") << "Fresh"
                             << "Fresh";
    }
    void aNameMeansTheStoredFolderWhateverItsCase()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const LocalDbCatalogue catalogue(root);
        QCOMPARE(catalogue.storedName(typed), stored);
        QCOMPARE(catalogue.folderForThrow(typed), QDir(root).filePath(stored));
    }

    void onlyFoldersHoldingADatabaseAreListed()
    {
        QCOMPARE(LocalDbCatalogue(root).names(), QStringList({"Archive", "Old Phone_Backup"}));
        QVERIFY(LocalDbCatalogue::sameName("old phone_backup", "Old Phone_Backup"));
        QVERIFY(!LocalDbCatalogue::sameName("Old Phone", "Old Phone_Backup"));
    }
};

QTEST_GUILESS_MAIN(TestLocalDbCatalogue)
#include "TestLocalDbCatalogue.moc"

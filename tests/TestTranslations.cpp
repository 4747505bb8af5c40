#include "TestEnv.h"

#include "app/FileUtils.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTranslator>
#include <QtTest>

// Every IDS_ key the program looks up must have its English text in the compiled translation,
// otherwise the user sees the bare key.
class TestTranslations : public QObject
{
    Q_OBJECT
    TestEnv env;
    QTranslator translator;

    struct Use
    {
        QString context;
        QString key;
        QString where;
    };

    // C string literal body -> text (only the escapes that appear in keys).
    static QString unescape(QString literal)
    {
        literal.replace(QLatin1String("\\\""), QLatin1String("\""));
        literal.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        return literal;
    }

    static QList<Use> usesInSource(const QString &path, const QString &text)
    {
        static const QRegularExpression call(QStringLiteral("((?:QObject|QCoreApplication|QApplication)::|\\b)(?:tr\\(\\s*|"
                                                            "translate\\(\\s*\"([^\"]*)\"\\s*,\\s*)\"((?:[^\"\\\\]|\\\\.)*)\""));
        QList<Use> uses;
        for (auto it = call.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString key = unescape(m.captured(3));
            if (!key.startsWith(QLatin1String("IDS_")))
                continue;
            const int line = int(text.left(m.capturedStart()).count(QLatin1Char('\n'))) + 1;
            QString context = QStringLiteral("QObject");
            if (m.capturedLength(2) > 0)
                context = m.captured(2);
            else if (m.captured(1).isEmpty())
                context = QStringLiteral("<own class>");   // bare tr() inside a class looks in the class's context
            uses.append({context, key, QStringLiteral("%1:%2").arg(path).arg(line)});
        }
        return uses;
    }

    static QList<Use> usesInForm(const QString &path, const QString &text)
    {
        static const QRegularExpression formClass(QStringLiteral("<class>([^<]+)</class>"));
        static const QRegularExpression string(QStringLiteral("<string>(IDS_[^<]*)</string>"));
        const QString context = formClass.match(text).captured(1);
        QList<Use> uses;
        for (auto it = string.globalMatch(text); it.hasNext();) {
            QString key = it.next().captured(1);
            key.replace(QLatin1String("&lt;"), QLatin1String("<"))
                .replace(QLatin1String("&gt;"), QLatin1String(">"))
                .replace(QLatin1String("&quot;"), QLatin1String("\""))
                .replace(QLatin1String("&amp;"), QLatin1String("&"));
            uses.append({context, key, path});
        }
        return uses;
    }

    static QList<Use> allUses()
    {
        QList<Use> uses;
        QDirIterator it(TestEnv::sourceDir() + QLatin1String("/src"), {"*.cpp", "*.h", "*.ui"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            uses += path.endsWith(QLatin1String(".ui")) ? usesInForm(path, text) : usesInSource(path, text);
        }
        return uses;
    }

private slots:
    void initTestCase()
    {
        // Using the core library keeps it linked in; its resources hold the translation.
        QVERIFY(!styleSheet().isEmpty());
        QVERIFY(translator.load(QStringLiteral(":/en.qm")));
    }

    void scannerFindsKeysInEveryForm()
    {
        const QString code = QStringLiteral(
            "a = QObject::tr(\"IDS_ONE\");\n b = tr(\"IDS_TWO\"); c = QCoreApplication::translate(\"Dlg\", \"IDS_THREE\");\n"
            "d = QObject::tr(\"IDS_X_<a href=\\\"#\\\">Here</a>_ADD\"); e = tr(\"Plain\"); f = str(\"IDS_NOT\");\n"
            "g = MainWindow::tr(\"IDS_OWN\", \"comment\");");
        const QList<Use> uses = usesInSource(QStringLiteral("f.cpp"), code);
        QCOMPARE(uses.size(), 5);
        QCOMPARE(uses.at(0).context, QStringLiteral("QObject"));
        QCOMPARE(uses.at(1).context, QStringLiteral("<own class>"));
        QCOMPARE(uses.at(2).context, QStringLiteral("Dlg"));
        QCOMPARE(uses.at(2).key, QStringLiteral("IDS_THREE"));
        QCOMPARE(uses.at(3).key, QStringLiteral("IDS_X_<a href=\"#\">Here</a>_ADD"));
        QCOMPARE(uses.at(3).where, QStringLiteral("f.cpp:3"));
        QCOMPARE(uses.at(4).key, QStringLiteral("IDS_OWN"));
        QCOMPARE(uses.at(4).context, QStringLiteral("<own class>"));
    }

    void knownKeysHaveTheirEnglishText()
    {
        QCOMPARE(translator.translate("QObject", "IDS_ROOT_DEVICE"), QStringLiteral("Devices"));
        QCOMPARE(translator.translate("QObject", "IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0"),
                 QStringLiteral("No message contains \"%1\"."));
        // Counts take their plural form.
        QCOMPARE(translator.translate("QObject", "IDS_SUC_EXPORT_%n_MMS", nullptr, 1),
                 QStringLiteral("Successfully exported %n Message."));
        QCOMPARE(translator.translate("QObject", "IDS_SUC_IMPORT_%n_MESSAGES", nullptr, 2),
                 QStringLiteral("Successfully imported %n messages."));
        QCOMPARE(translator.translate("QObject", "IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"),
                 QStringLiteral("Can't find your iTunes Backup on the list? Please manually import it by clicking "
                                "<a href=\"#\">HERE</a>."));
        QCOMPARE(translator.translate("QObject", "Parlewick"), QStringLiteral("Parlewick"));
        QCOMPARE(translator.translate("LocalDbSelForm", "Confirm"), QStringLiteral("Confirm"));
    }

    void everyKeyUsedInTheSourcesIsTranslated()
    {
        QStringList missing;
        for (const Use &use : allUses()) {
            if (use.context == QLatin1String("<own class>"))
                missing << use.where + QLatin1String(": use QObject::tr for ") + use.key;
            else if (translator.translate(use.context.toUtf8().constData(), use.key.toUtf8().constData()).isEmpty())
                missing << use.where + QLatin1String(": no English text for ") + use.context + QLatin1String(" / ") + use.key;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "TestTranslations.moc"

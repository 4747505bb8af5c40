#include "TestEnv.h"

#include "app/ClockStyle.h"
#include "app/Preferences.h"
#include "ui/AppTheme.h"
#include "ui/PreferencesDialog.h"
#include "views/KikBubbleHtml.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QtTest>

// The Preferences dialog: what it offers, what it stores, and that its choices take effect.
class TestPreferences : public QObject
{
    Q_OBJECT
    TestEnv env;
    QPalette startPalette;

    static QString dateLine(const QDateTime &ts)
    {
        std::optional<qint64> none;
        return KikBubbleHtml::dateLine(ts, &none);
    }

private slots:
    void initTestCase() { startPalette = QApplication::palette(); }

    void cleanup() { qputenv("PARLEWICK_VENDOR_HOST", ""); }

    void onlineChoicesOnlyWithAHostAndOffAtFirst()
    {
        {
            PreferencesDialog dialog;
            QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("chkUpdateChecks")));
            QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("chkErrorReports")));
            QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("lbOffline")));
            dialog.accept();
            QVERIFY(!Preferences::load().errorReportsAsked);   // nothing was offered, so nothing answered
        }
        qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
        PreferencesDialog dialog;
        auto *updates = dialog.findChild<QCheckBox *>(QStringLiteral("chkUpdateChecks"));
        auto *reports = dialog.findChild<QCheckBox *>(QStringLiteral("chkErrorReports"));
        QVERIFY(updates && reports);
        QVERIFY(!updates->isChecked() && !reports->isChecked());
        reports->setChecked(true);
        dialog.accept();
        const Preferences stored = Preferences::load();
        QVERIFY(!stored.updateChecks && stored.errorReports && stored.errorReportsAsked);
    }

    void clockAndThemeAreStoredAndApplied()
    {
        const QDateTime afternoon(QDate(2024, 3, 5), QTime(13, 5));
        {
            PreferencesDialog dialog;
            dialog.findChild<QComboBox *>(QStringLiteral("cbClock"))->setCurrentIndex(int(ClockStyle::TwentyFourHour));
            dialog.findChild<QComboBox *>(QStringLiteral("cbTheme"))->setCurrentIndex(int(ThemeChoice::Dark));
            dialog.accept();
        }
        QCOMPARE(Preferences::load().clock, ClockStyle::TwentyFourHour);
        QCOMPARE(Preferences::load().theme, ThemeChoice::Dark);
        QVERIFY(dateLine(afternoon).contains(QLatin1String("05 Mar 2024 @ 13:05<")));
        QVERIFY(shortMessageTime(afternoon).endsWith(QLatin1String(" 13:05")));
        const QPalette dark = QApplication::palette();
        QVERIFY(dark.color(QPalette::Base).lightness() < 80 && dark.color(QPalette::Text).lightness() > 180);

        PreferencesDialog dialog;   // opens with what was stored
        auto *clock = dialog.findChild<QComboBox *>(QStringLiteral("cbClock"));
        QCOMPARE(clock->currentIndex(), int(ClockStyle::TwentyFourHour));
        clock->setCurrentIndex(int(ClockStyle::TwelveHour));
        dialog.findChild<QComboBox *>(QStringLiteral("cbTheme"))->setCurrentIndex(int(ThemeChoice::System));
        dialog.accept();
        QVERIFY(dateLine(afternoon).contains(QLatin1String("05 Mar 2024 @ 01:05 PM<")));
        QVERIFY(shortMessageTime(afternoon).endsWith(QLatin1String(" 1:05 PM")));
        QCOMPARE(QApplication::palette(), startPalette);
        QVERIFY(themePalette(ThemeChoice::Light).color(QPalette::Base).lightness() > 200);
    }

    void damagedSettingsFallBackToTheDefaults()
    {
        const std::unique_ptr<QSettings> settings = programSettings();
        settings->setValue(QStringLiteral("view/clock"), 7);
        settings->setValue(QStringLiteral("view/theme"), QStringLiteral("purple"));
        settings->sync();
        QCOMPARE(Preferences::load().clock, ClockStyle::Default);
        QCOMPARE(Preferences::load().theme, ThemeChoice::System);
    }
};

QTEST_MAIN(TestPreferences)
#include "TestPreferences.moc"

#pragma once

#include <QString>
#include <QTemporaryDir>

// Hermetic test surroundings: HOME (and the XDG folders) point into a temporary folder
// that lives as long as this object, so the data folder and logs never touch the real home.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString home() const;                          // the temporary HOME
    QString path(const QString &relative) const;   // a path inside it
    bool isValid() const;

    static QString fixturesDir();   // read-only real data (copy before writing)
    static QString fixturePath(const QString &name);
    static QString sourceDir();
    static QString binaryDir();
    // The program's English texts for the IDS_ keys, installed once per process; false when
    // they cannot be loaded. Needs the application object.
    static bool installEnglishTexts();
    // Copies a fixture into dir and makes the copy writable; returns its path.
    static QString copyFixture(const QString &name, const QString &dir);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
};

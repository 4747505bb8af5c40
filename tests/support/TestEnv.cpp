#include "TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTranslator>

TestEnv::TestEnv()
    : m_oldHome(qgetenv("HOME"))
{
    qputenv("HOME", m_dir.path().toUtf8());
    qputenv("XDG_DATA_HOME", QDir(m_dir.path()).filePath(".local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir(m_dir.path()).filePath(".config").toUtf8());
    qputenv("XDG_CACHE_HOME", QDir(m_dir.path()).filePath(".cache").toUtf8());
    // No vendor host, whatever the build names: nothing goes online. Tests that need a vendor
    // server set their own loopback one.
    qputenv("PARLEWICK_VENDOR_HOST", "");
}

TestEnv::~TestEnv()
{
    qputenv("HOME", m_oldHome);
}

QString TestEnv::home() const
{
    return m_dir.path();
}
QString TestEnv::path(const QString &relative) const
{
    return QDir(m_dir.path()).filePath(relative);
}
bool TestEnv::isValid() const
{
    return m_dir.isValid();
}

QString TestEnv::fixturesDir()
{
    return QStringLiteral(PARLEWICK_FIXTURES_DIR);
}
QString TestEnv::fixturePath(const QString &name)
{
    return QDir(fixturesDir()).filePath(name);
}
QString TestEnv::sourceDir()
{
    return QStringLiteral(PARLEWICK_SOURCE_DIR);
}
QString TestEnv::binaryDir()
{
    return QStringLiteral(PARLEWICK_BINARY_DIR);
}

QString TestEnv::copyFixture(const QString &name, const QString &dir)
{
    QDir().mkpath(dir);
    const QString target = QDir(dir).filePath(QFileInfo(name).fileName());
    QFile::remove(target);
    if (!QFile::copy(fixturePath(name), target))
        return QString();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

bool TestEnv::installEnglishTexts()
{
    static QTranslator translator;
    if (translator.isEmpty()) {
        if (!translator.load(QStringLiteral(":/en.qm")))
            return false;
        QCoreApplication::installTranslator(&translator);
    }
    return true;
}

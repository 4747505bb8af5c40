#pragma once

#include "ui/Export.h"

#include <QObject>
#include <QString>

class CommandHost;
class QWidget;
class QDropEvent;

// A folder dropped on the main window starts the import that fits it: an iTunes backup
// (holding Manifest.db or Manifest.mbdb) as "Import from iTunes Backup" does, a copy of Kik's
// app folder (holding Documents/kik.sqlite) likewise. Anything else gets a message.
class PARLEWICK_UI_EXPORT DropImport : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Unreadable, Other, ItunesBackup, KikFolder };
    static Kind classify(const QString &folder);

    // Accepts drops on the window from now on.
    DropImport(QWidget &window, CommandHost &host);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void drop(const QDropEvent &event);
    void importFolder(const QString &folder, Kind kind);

    QWidget &m_window;
    CommandHost &m_host;
};

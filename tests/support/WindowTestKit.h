#pragma once

#include "kik/KikDataSet.h"
#include "views/ItemNodes.h"

#include <QString>
#include <QStringList>

class MainWindow;
class SourceTreeView;

// Helpers shared by the tests of the main window.
namespace WindowTestKit {

// English texts for the text keys, and no update check: the window finds a check made just
// now (and TestEnv configures no vendor host). Call after TestEnv exists.
void prepareApplication();
// The same for window tests with simulated phones (SimulatedPhones loads the phone library): a
// private temporary folder, where a store with a write-ahead log is read from a copy. The error,
// or empty.
QString preparePhoneApplication(const QString &temporaryFolder);

// A local database in folder holding every message of the data set.
void writeLocalDb(const QString &folder, const KikDataSet &dataSet);

SourceTreeView *sourceTree(MainWindow &window);
SourceTreeView *messageList(MainWindow &window);

// Makes the node current in the tree of sources, as a click does, and lets queued calls run.
void select(MainWindow &window, ItemNode *node);
// Lets the window's queued selections run.
void settle();

// The child with that text; null when there is none.
ItemNode *child(const ItemNode *parent, const QString &text);
QStringList childTexts(const ItemNode *parent);
// The bodies of the messages the list shows, in its order.
QStringList shownBodies(MainWindow &window);

}

#include "WindowTestKit.h"

#include "TestEnv.h"

#include "KikDbTestKit.h"
#include "app/AppFolders.h"
#include "kik/KikLocalDb.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/UpdateCheck.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

namespace WindowTestKit {

void prepareApplication()
{
    TestEnv::installEnglishTexts();
    QFile checked(QDir(dataFolder()).filePath(QLatin1String(LastCheckFileName)));
    if (checked.open(QIODevice::WriteOnly | QIODevice::Truncate))
        checked.write(QByteArray::number(QDateTime::currentSecsSinceEpoch()));
}

QString preparePhoneApplication(const QString &temporaryFolder)
{
    prepareApplication();
    qputenv("TMPDIR", QFile::encodeName(temporaryFolder));
    return QDir().mkpath(temporaryFolder) ? QString() : QStringLiteral("no folder %1").arg(temporaryFolder);
}

void writeLocalDb(const QString &folder, const KikDataSet &dataSet)
{
    KikLocalDb db(folder);
    KikDbTestKit::mergeIntoLocal(db, dataSet.allMessages());
    db.updateLastTs();
    db.close();
}

SourceTreeView *sourceTree(MainWindow &window)
{
    return window.findChild<SourceTreeView *>(QStringLiteral("treeViewDS"));
}

SourceTreeView *messageList(MainWindow &window)
{
    return window.findChild<SourceTreeView *>(QStringLiteral("treeViewSMS"));
}

void select(MainWindow &window, ItemNode *node)
{
    sourceTree(window)->setCurrentIndex(window.mainModel()->indexOfNode(node));
    settle();
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

ItemNode *child(const ItemNode *parent, const QString &text)
{
    for (ItemNode *node : parent->children) {
        if (node->text == text)
            return node;
    }
    return nullptr;
}

QStringList childTexts(const ItemNode *parent)
{
    QStringList texts;
    for (const ItemNode *node : parent->children)
        texts << node->text;
    return texts;
}

QStringList shownBodies(MainWindow &window)
{
    QStringList bodies;
    for (const KikMessage *message : window.smsModel()->messages())
        bodies << message->body;
    return bodies;
}

}

#pragma once

#include "ui/Export.h"

class PhoneServiceHint;
class PictureLabel;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QSplitter;
class QWebEngineView;
class QWidget;
class SourceTreeView;

// The widgets of the main window's three panes, side by side in a splitter: the sources with
// the chat search, the message list with its search and count, and the conversation (its
// title and the bubbles). build() lays them out in the window; their object names are the
// ones tests, style sheet and saved layout know.
struct PARLEWICK_UI_EXPORT WindowPanes
{
    QSplitter *splitter = nullptr;
    QLineEdit *chatKeyword = nullptr;
    QPushButton *chatSearchButton = nullptr;
    SourceTreeView *sourceTree = nullptr;
    PhoneServiceHint *phoneServiceHint = nullptr;   // under the sources while usbmuxd is not there
    QLineEdit *messageKeyword = nullptr;
    QPushButton *messageSearchButton = nullptr;
    QLabel *searchResult = nullptr;
    SourceTreeView *messageList = nullptr;
    QLabel *messageCount = nullptr;
    PictureLabel *chatPicture = nullptr;
    QLabel *chatName = nullptr;
    QWebEngineView *bubbles = nullptr;

    static WindowPanes build(QMainWindow &window);

private:
    QWidget *buildSourcePane();
    QWidget *buildMessagePane();
    QWidget *buildConversationPane();
    void configureMessageList();
};

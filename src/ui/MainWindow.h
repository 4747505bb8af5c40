#pragma once

#include <QMainWindow>

class MyTreeView;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QToolBar;
class QWebEngineView;

// The program's only top-level window: data sources on the left, the message list in the
// middle, the selected conversation as chat bubbles on the right.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

private:
    QWidget *buildSourcePane();
    QWidget *buildMessagePane();
    QWidget *buildConversationPane();
    void buildBars();
    void configureMessageList();

    QSplitter *m_splitter = nullptr;
    QLineEdit *m_txtHandleKeyword = nullptr;
    QPushButton *m_btnSearchHandle = nullptr;
    MyTreeView *m_treeViewDS = nullptr;
    QLineEdit *m_txtSMSKeyword = nullptr;
    QPushButton *m_btnSearchSMS = nullptr;
    MyTreeView *m_treeViewSMS = nullptr;
    QLabel *m_lbSMSCount = nullptr;
    QLabel *m_lbConversation = nullptr;
    QLabel *m_lbChatName = nullptr;
    QLabel *m_lbChatImg = nullptr;
    QWebEngineView *m_webViewSMS = nullptr;
    QToolBar *m_mainToolBar = nullptr;
};

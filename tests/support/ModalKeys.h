#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QMessageBox;

// Answers the program's real message boxes from the keyboard while it lives, as a user would:
// every box that comes up is remembered and gets Escape, Return or a close request. Unlike
// BoxRecorder the boxes are shown, so their buttons, defaults and escape handling are tested.
class ModalKeys : public QObject
{
public:
    enum Answer { Escape, Return, Close };

    explicit ModalKeys(Answer answer);
    ~ModalKeys() override;

    QStringList texts() const { return m_texts; }

private:
    void answerBox();

    Answer m_answer;
    QTimer m_timer;
    QStringList m_texts;
    QList<QPointer<QMessageBox>> m_answered;
};

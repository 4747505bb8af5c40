#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

// Answers every message box while it lives and remembers what each one said. Questions get
// the answer set (Yes unless told otherwise); other boxes are closed with Ok.
class BoxRecorder
{
public:
    struct Box
    {
        QMessageBox::Icon icon;
        QString text;
    };

    explicit BoxRecorder(QMessageBox::StandardButton questionAnswer = QMessageBox::Yes);
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    void setQuestionAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }
    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;
    // The texts of the boxes with that icon.
    QStringList texts(QMessageBox::Icon icon) const;
    void clear() { m_boxes.clear(); }

private:
    QMessageBox::StandardButton m_answer;
    QList<Box> m_boxes;
};

#include "BoxRecorder.h"

#include "widgets/MessageBoxes.h"

BoxRecorder::BoxRecorder(QMessageBox::StandardButton questionAnswer)
    : m_answer(questionAnswer)
{
    setMessageBoxTestHook([this](QMessageBox::Icon icon, const QString &text) {
        m_boxes.append({icon, text});
        return icon == QMessageBox::Question ? m_answer : QMessageBox::Ok;
    });
}

BoxRecorder::~BoxRecorder()
{
    setMessageBoxTestHook({});
}

QStringList BoxRecorder::texts() const
{
    QStringList result;
    for (const Box &box : m_boxes)
        result << box.text;
    return result;
}

QStringList BoxRecorder::texts(QMessageBox::Icon icon) const
{
    QStringList result;
    for (const Box &box : m_boxes) {
        if (box.icon == icon)
            result << box.text;
    }
    return result;
}

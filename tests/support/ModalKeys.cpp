#include "ModalKeys.h"

#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

ModalKeys::ModalKeys(Answer answer)
    : m_answer(answer)
{
    setMessageBoxTestHook({});   // real boxes
    // Boxes run their own event loop, so the box is looked for from a timer inside it.
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalKeys::answerBox);
    m_timer.start();
}

ModalKeys::~ModalKeys() = default;

void ModalKeys::answerBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || m_answered.contains(box))
        return;
    m_answered << box;
    m_texts << box->text();
    switch (m_answer) {
    case Escape:
        QTest::keyClick(box, Qt::Key_Escape);
        break;
    case Return:
        QTest::keyClick(box, Qt::Key_Return);
        break;
    case Close:
        box->close();
        break;
    }
}

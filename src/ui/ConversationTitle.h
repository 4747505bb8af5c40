#pragma once

#include "ui/Export.h"

#include <QObject>

class PictureLabel;
class QLabel;
struct KikChat;

// The line over the bubbles: the chat's picture and name ("All" for a whole source). A click on
// the picture opens a copy of it in the desktop's viewer.
class PARLEWICK_UI_EXPORT ConversationTitle : public QObject
{
    Q_OBJECT
public:
    ConversationTitle(PictureLabel *picture, QLabel *name, QObject *parent);

    // Null: all of a source's messages.
    void show(const KikChat *chat);
    void clear();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openPicture() const;

    PictureLabel *m_picture;
    QLabel *m_name;
    const KikChat *m_chat = nullptr;
};

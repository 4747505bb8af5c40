#include "ui/ConversationTitle.h"

#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "kik/KikDataSet.h"
#include "kik/KikRules.h"
#include "ui/PictureLabel.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>

#include <stdexcept>

namespace {

constexpr int ChatNameLimit = 20;
constexpr int ChatNameShown = 17;

}   // namespace

ConversationTitle::ConversationTitle(PictureLabel *picture, QLabel *name, QObject *parent)
    : QObject(parent)
    , m_picture(picture)
    , m_name(name)
{
    m_picture->installEventFilter(this);
}

void ConversationTitle::clear()
{
    m_chat = nullptr;
    m_picture->hide();
    m_name->clear();
}

void ConversationTitle::show(const KikChat *chat)
{
    m_chat = chat;
    if (!chat) {
        m_picture->hide();
        m_name->setText(QStringLiteral("All"));
        return;
    }
    const KikUser *user = chat->user;
    QImage picture;
    if (user && !user->is_group && !user->photo_path.isEmpty() && !picture.load(user->photo_path, "JPEG"))
        picture.load(user->photo_path, "PNG");
    if (picture.isNull()) {
        m_picture->hide();
    } else {
        m_picture->setPhoto(picture, 32);
        m_picture->show();
    }
    QString name = userDisplayName(user);
    if (name.size() > ChatNameLimit)
        name = name.left(ChatNameShown) + QStringLiteral("...");
    m_name->setText(name);
}

bool ConversationTitle::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_picture && event->type() == QEvent::MouseButtonPress)
        openPicture();
    return QObject::eventFilter(watched, event);
}

void ConversationTitle::openPicture() const
{
    const KikUser *user = m_chat ? m_chat->user : nullptr;
    if (!user || user->is_group || user->photo_path.isEmpty())
        return;
    const QFileInfo picture(user->photo_path);
    if (!picture.isFile() || picture.size() == 0)
        return;
    QString copy;
    try {
        copy =
            QDir(privateCacheFolderThrow(QStringLiteral("opened"))).filePath(md5Hex(user->photo_path) + QStringLiteral(".jpg"));
    } catch (const std::exception &error) {
        showWarning(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    QFile::remove(copy);
    if (!QFile::copy(user->photo_path, copy)) {
        qDebug() << "cannot copy the chat picture to" << copy;
        return;
    }
    openInExplorer(copy);
}

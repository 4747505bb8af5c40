#pragma once

#include "views/Export.h"
#include "views/NineSlice.h"

#include <QImage>
#include <QMargins>
#include <QString>

// The pictures printed messages are drawn with: a received and a sent bubble frame, each with
// the padding of its content, and the stand-in for a picture that cannot be read. They lie in
// "kikbb" beside the program and are loaded once; missing files leave bubbles without a frame.
class PARLEWICK_VIEWS_EXPORT KikBubbleArt
{
public:
    struct Bubble
    {
        NineSlice frame;
        QMargins padding;
    };

    explicit KikBubbleArt(const QString &folder);

    // The set from the application folder, loaded on first use (safe from any thread).
    static const KikBubbleArt &instance();

    const Bubble &bubble(bool sent) const { return sent ? m_sent : m_received; }
    const QImage &emptyPhoto() const { return m_emptyPhoto; }

private:
    Bubble m_received;
    Bubble m_sent;
    QImage m_emptyPhoto;
};

#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

// Names, addresses and message texts for generated Kik stores, drawn from one seeded random
// source so that the same seed gives the same store.
class KikFakeText
{
public:
    explicit KikFakeText(QRandomGenerator &random)
        : m_random(random)
    {
    }

    QString uuid();   // lower-case, as Kik's stanza and content ids
    QString firstName();
    QString lastName();
    QString userName(int index);   // unique per index
    QString groupJid(int index);
    QString contactJid(const QString &userName);
    // A message body of a few words; with emoji when asked (both UTF-16 forms Kik uses).
    QString body(bool withEmoji);
    // A body that ends where a rendered emoticon stands, and the render instructions for it.
    std::pair<QString, QByteArray> renderedBody();
    QString emoji();
    bool chance(double share);
    int below(int bound);

private:
    template <std::size_t N>
    const char *pick(const char *const (&words)[N])
    {
        return words[below(int(N))];
    }

    QRandomGenerator &m_random;
};

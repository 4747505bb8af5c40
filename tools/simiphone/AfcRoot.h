#pragma once

#include <QByteArray>
#include <QString>

// The folder an AFC connection serves. Paths from the peer are resolved strictly inside it:
// ".." is refused, and a symbolic link is followed only when it stays inside.
class AfcRoot
{
public:
    enum Follow { FollowLast, KeepLast };   // KeepLast: the last component may be a link itself

    explicit AfcRoot(const QString &folder);
    QString folder() const { return m_root; }
    // The path on this computer, or an AFC error code (then hostPath is untouched).
    quint64 resolve(const QByteArray &peerPath, Follow follow, QString *hostPath) const;

private:
    bool inside(const QString &canonical) const;

    QString m_root;   // canonical
};

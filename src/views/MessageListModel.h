#pragma once

#include "kik/KikMessage.h"
#include "views/Export.h"

#include <QAbstractItemModel>

// The flat list of the selected chat's messages: date, direction, contact and text. Shows the
// messages in the order given; the main window sorts them. Holds no ownership.
class PARLEWICK_VIEWS_EXPORT MessageListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit MessageListModel(QObject *parent = nullptr);

    void setMessages(const KikMessageList &messages);
    void clear();
    const KikMessageList &messages() const { return m_messages; }

    // Rows whose visible text holds the keyword (ignoring case) are drawn in the match colours;
    // an empty keyword marks none.
    void setHighlight(const QString &keyword);
    static bool matches(const KikMessage *message, const QString &keyword);

    QModelIndex indexForRow(int row) const;
    static KikMessage *messageOf(const QModelIndex &index);   // null but for column 0

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    static QString cellText(const KikMessage *message, int column);

    KikMessageList m_messages;
    QString m_highlight;
};

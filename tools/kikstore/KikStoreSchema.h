#pragma once

#include <QStringList>

// Kik's Core Data store as the phone creates it: every table and index, in the phone's order.
// Entity numbers: 1 KikAttachment, 2 KikAttachmentExtra, 3 KikChat, 4 KikChatExtra,
// 5 KikMessage, 6 KikUser, 7 KikUserExtra (hence Z_3MESSAGES and the Z_6... tables).
QStringList kikStoreSchema();

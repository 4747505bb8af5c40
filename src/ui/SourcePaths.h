#pragma once

#include "ui/Export.h"
#include "views/ItemNodes.h"

#include <QStringList>

class ItemModelMain;

// A node of the tree of sources named by its texts from a top node down, so that a selection
// can be found again after a reload or at the next start.
namespace SourcePaths {

PARLEWICK_UI_EXPORT QStringList pathOf(const ItemNode *node);
// The node with those texts, or the nearest one of them still there; null when even the top
// node is unknown.
PARLEWICK_UI_EXPORT ItemNode *nodeAt(const ItemModelMain &model, const QStringList &path);

}   // namespace SourcePaths

#include "ui/CommandScope.h"

#include "views/ItemModelMain.h"

CommandScope CommandScope::of(const ItemModelMain &model, ItemNode *current)
{
    CommandScope scope;
    scope.current = current;
    if (isDataSource(current))
        scope.source = static_cast<SourceItemNode *>(current);
    else if (current && current->type == ChatSessionNodeType && isDataSource(current->parent))
        scope.source = static_cast<SourceItemNode *>(current->parent);
    scope.devices = model.countChildrenOfType(model.deviceRoot(), IOSDeviceNodeType);
    return scope;
}

bool CommandScope::isDataSource(const ItemNode *node)
{
    return node && (node->type == IOSDeviceNodeType || node->type == LocalDbNodeType);
}

#include "ui/SourcePaths.h"

#include "views/ItemModelMain.h"

namespace SourcePaths {

QStringList pathOf(const ItemNode *node)
{
    QStringList path;
    for (; node; node = node->parent)
        path.prepend(node->text);
    return path;
}

ItemNode *nodeAt(const ItemModelMain &model, const QStringList &path)
{
    if (path.isEmpty())
        return nullptr;
    ItemNode *node = nullptr;
    for (ItemNode *top : {static_cast<ItemNode *>(model.deviceRoot()), model.localDbRoot()}) {
        if (top->text == path.first())
            node = top;
    }
    for (qsizetype i = 1; node && i < path.size(); ++i) {
        ItemNode *next = nullptr;
        for (ItemNode *child : node->children) {
            if (child->text == path.at(i)) {
                next = child;
                break;
            }
        }
        if (!next)
            break;   // gone since: the nearest node still there
        node = next;
    }
    return node;
}

}   // namespace SourcePaths

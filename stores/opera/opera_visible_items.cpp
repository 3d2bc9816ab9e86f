#include "stores/opera/opera_visible_items.h"

#include <QStringList>
#include <algorithm>

std::vector<OperaVisibleItem> VisibleItems(const AdrDocument& doc)
{
    std::vector<OperaVisibleItem> items;
    std::vector<int> pending{AdrDocument::kTopLevel};
    std::vector<int> folders;
    while (!pending.empty()) {
        const int level = pending.back();
        pending.pop_back();
        folders.clear();
        for (const AdrEntry& e : doc.Level(level)) {
            if (!e.IsBlock()) continue;
            if (doc.Block(e.block).kind == AdrBlockKind::Item)
                items.push_back({e.block, level});
            else if (!doc.IsTrash(e.block))
                folders.push_back(e.block);
        }
        // Reversed onto the stack, so the first folder is walked first.
        pending.insert(pending.end(), folders.rbegin(), folders.rend());
    }
    return items;
}

QString FolderPath(const AdrDocument& doc, int folder)
{
    QStringList names;
    for (int f = folder; f != AdrDocument::kTopLevel; f = doc.Block(f).parent)
        names.append(doc.Value(f, QStringLiteral("NAME")));
    std::reverse(names.begin(), names.end());
    return names.join(QLatin1Char('/'));
}

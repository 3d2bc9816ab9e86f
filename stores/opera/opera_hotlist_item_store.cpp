#include "stores/opera/opera_hotlist_item_store.h"

#include <vector>

#include "common/errors.h"
#include "common/item_id.h"
#include "stores/opera/opera_visible_items.h"

OperaHotlistItemStore::OperaHotlistItemStore(OperaHotlistFile file, QString identifyingKey, QString itemName)
    : file_(std::move(file)), identifyingKey_(std::move(identifyingKey)), itemName_(std::move(itemName))
{
    // The identifiers go with their hotlist.
    file_.OnContentReplaced([this] {
        ids_.Clear();
        idsStale_ = true;
    });
}

CommitOutcome OperaHotlistItemStore::CommitChanges()
{
    // The state saved after it is the synchronisation's, which goes on with the hotlist.
    file_.Close();
    return {};
}

const OperaItemIds& OperaHotlistItemStore::Ids()
{
    const AdrDocument& doc = file_.Document();
    if (idsStale_) {
        const std::vector<OperaVisibleItem> visible = VisibleItems(doc);
        std::vector<int> blocks;
        blocks.reserve(visible.size());
        for (const OperaVisibleItem& item : visible) blocks.push_back(item.block);
        ids_.Assign(doc, blocks, identifyingKey_);
        idsStale_ = false;
    }
    return ids_;
}

int OperaHotlistItemStore::Require(const QString& id)
{
    const int block = Ids().BlockOf(id);
    if (block < 0)
        throw AgentError(QStringLiteral("no Opera %1 outside the trash has the identifier \"%2\"")
                             .arg(itemName_, id.left(kItemIdUnits))
                             .toStdString());
    return block;
}

void OperaHotlistItemStore::GetIDs(QStringList& ids)
{
    const OperaItemIds& known = Ids();
    const std::vector<OperaVisibleItem> visible = VisibleItems(file_.Document());
    ids.reserve(ids.size() + static_cast<qsizetype>(visible.size()));
    for (const OperaVisibleItem& item : visible) ids.append(known.IdOf(item.block));
}

void OperaHotlistItemStore::Delete(const QString& id)
{
    const int block = Ids().BlockOf(id);
    if (block < 0) return;
    file_.Change().Remove(block);
    ids_.Forget(block);
}

void OperaHotlistItemStore::DeleteAll()
{
    file_.Open();
    std::vector<int> blocks;
    for (const OperaVisibleItem& item : VisibleItems(file_.Document())) blocks.push_back(item.block);
    if (!blocks.empty()) file_.Change().RemoveAll(blocks);
    ids_.Clear();
    idsStale_ = true;
    file_.Close();
}

#include "stores/address_book/wab_tables.h"

namespace ContactsXp {

using namespace wab;

std::vector<std::pair<std::int32_t, EntryId>> ReadEntryRows(ContentsTable table)
{
    table.SetColumns({PR_OBJECT_TYPE, PR_ENTRYID});
    const std::uint32_t count = table.GetRowCount();
    const std::vector<PropRow> rows = table.QueryRows(count);
    if (rows.size() != count) throw WabError(WabStatus::Failed, "the table gave fewer rows than it counts");
    std::vector<std::pair<std::int32_t, EntryId>> entries;
    entries.reserve(rows.size());
    for (const PropRow& row : rows) {
        const std::int32_t* type = row.size() == 2 ? row[0].Long() : nullptr;
        const QByteArray* id = row.size() == 2 ? row[1].Binary() : nullptr;
        if (!type || !id) throw WabError(WabStatus::Failed, "a table row without its type or identifier");
        entries.emplace_back(*type, EntryId(*id));
    }
    return entries;
}

}  // namespace ContactsXp

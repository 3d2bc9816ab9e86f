// The Sticky Notes store keeps the contract of every item store, over a file in a temporary home.
#include "stores/sticky_notes/win7_sticky_notes.h"
#include "support/item_store_contract.h"
#include "support/temp_home.h"

namespace {

struct StickyNotesContract {
    std::unique_ptr<COutlook> Make() { return std::make_unique<CWin7_StikyNotes>(); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(CWin7_StikyNotes::kBodyField,
                   QStringLiteral("{\\rtf1\\ansi\\ansicpg1252 note %1 \u00e9\\par\r\n}\r\n").arg(n));
        return record;
    }
    static constexpr bool kPersists = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(StickyNotes, ItemStoreContract, StickyNotesContract);

}  // namespace

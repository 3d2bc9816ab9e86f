// The Sticky Notes store keeps the item store contract.
#include "stores/windows/win7_sticky_notes.h"
#include "support/item_store_contract.h"
#include "support/temp_home.h"

namespace {

struct StickyNotesContract {
    std::unique_ptr<COutlook> Make()
    {
        return std::make_unique<CWin7_StikyNotes>(CWin7_StikyNotes::LogSink{}, home.Path("StickyNotes.snt"));
    }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(CWin7_StikyNotes::kBodyField, QStringLiteral("{\\rtf1 note %1}").arg(n));
        return record;
    }
    static constexpr bool kPersists = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(StickyNotes, ItemStoreContract, StickyNotesContract);

}  // namespace

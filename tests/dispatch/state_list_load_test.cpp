#include <gtest/gtest.h>

#include "common/item_id.h"
#include "dispatch/state_file.h"
#include "support/temp_home.h"

namespace {

// Large states are read in blocks; no record may be lost or split at a block's edge.
TEST(StateListLoad, ReadsEveryWholeRecordAcrossBlockEdges)
{
    for (const int records : {1023, 1024, 1025, 2048, 2500}) {
        TempHome home;
        std::vector<StateEntry> entries;
        for (int i = 0; i < records; ++i)
            entries.push_back({QString::number(i).rightJustified(kItemIdUnits, QLatin1Char('0')),
                               static_cast<std::uint32_t>(i)});
        home.WriteFile(".local/share/TwinLark/M.Task", EncodeStateRecords(entries) + QByteArray(50, 'x'));
        StateList list;
        list.Load(StateFileKind::Tasks, "M", {});
        EXPECT_EQ(list.Entries(), entries) << records << " records";
    }
}

}  // namespace

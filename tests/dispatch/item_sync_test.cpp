// The item synchronisation as the peer drives it: change check, item requests, save, and the
// checks that follow, for every item kind, through the dispatcher with fake stores.
#include <gtest/gtest.h>

#include <QFile>

#include "common/item_id.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

struct KindCase {
    const char* name;
    ItemKind kind;
    std::uint16_t check, save, load, get, set, add, del, dropState;
    const char* stateFile;  // below the agent's data folder
};

const KindCase kKinds[] = {
    {"Contacts", ItemKind::Contacts, AS_CHECK_CONTACTS, AS_SAVE_CONTACTS_STATE, AS_LOAD_CONTACTS_STATE,
     AS_GET_CONTACT, AS_SET_CONTACT, AS_ADD_CONTACT, AS_DEL_CONTACT, AS_DEL_CONTACT_STATE, "PEER.Contact"},
    {"Appointments", ItemKind::Appointments, AS_CHECK_APPOINTS, AS_SAVE_APPOINTS_STATE,
     AS_LOAD_APPOINTS_STATE, AS_GET_APPOINT, AS_SET_APPOINT, AS_ADD_APPOINT, AS_DEL_APPOINT,
     AS_DEL_APPOINT_STATE, "PEER.Appointment"},
    {"Tasks", ItemKind::Tasks, AS_CHECK_TASKS, AS_SAVE_TASKS_STATE, AS_LOAD_TASKS_STATE, AS_GET_TASK,
     AS_SET_TASK, AS_ADD_TASK, AS_DEL_TASK, AS_DEL_TASK_STATE, "PEER.Task"},
    {"Notes", ItemKind::Notes, AS_CHECK_NOTES, AS_SAVE_NOTES_STATE, AS_LOAD_NOTES_STATE, AS_GET_NOTE,
     AS_SET_NOTE, AS_ADD_NOTE, AS_DEL_NOTE, AS_DEL_NOTE_STATE, "PEER.Notes1"},
};

// A source of each kind that this platform could serve: Windows Contacts, Windows Calendar,
// Outlook 14 tasks (with a connection that starts) and Opera notes.
FakeItemStore& SelectSource(DispatchHarness& h, ItemKind kind)
{
    StoreSet& stores = *h.agent.stores;
    switch (kind) {
        case ItemKind::Contacts:
            h.agent.agentId = 2;
            return h.Install(ItemKind::Contacts, 2);
        case ItemKind::Appointments:
            h.agent.agentId = 1;
            return h.Install(ItemKind::Appointments, 1);
        case ItemKind::Tasks:
            h.agent.agentId = 14;
            return h.Install(ItemKind::Tasks, 14);
        case ItemKind::Notes:
            h.agent.notesAgentId = 0x4000;
            return h.Install(ItemKind::Notes, 0x4000);
    }
    throw std::logic_error("kind");
}

QByteArray CheckPayload(ItemKind kind)
{
    switch (kind) {
        case ItemKind::Appointments:
        case ItemKind::Tasks:
            return U16Bytes(0xFFFF) + U16Bytes(0xFFFF);  // no date window
        case ItemKind::Notes:
            return Utf16z(QStringLiteral("Notes1"));
        default:
            return {};
    }
}

class ItemSync : public ::testing::TestWithParam<KindCase> {
protected:
    ParsedChangeReport Check()
    {
        const SentMessage reply = h.Send(GetParam().check, CheckPayload(GetParam().kind));
        EXPECT_EQ(reply.code, GetParam().check + 1);
        return ParseChangeReport(reply.payload);
    }
    void Expect(std::uint16_t code, const QByteArray& payload = {})
    {
        const SentMessage reply = h.Send(code, payload);
        EXPECT_EQ(reply.code, code + 1) << "request " << code;
    }
    QByteArray StateFileBytes() const
    {
        return h.home
            .ReadFile(QStringLiteral(".local/share/TwinLark/") + QString::fromUtf8(GetParam().stateFile))
            .value_or("<missing>");
    }
    DispatchHarness h;
};

TEST_P(ItemSync, CheckThenItemRequestsThenSaveLeavesNothingToReport)
{
    const KindCase& k = GetParam();
    FakeItemStore& store = SelectSource(h, k.kind);
    const QString a = store.Put(TextRecord({{"Subject", "a"}}));
    const QString b = store.Put(TextRecord({{"Subject", "b"}}));

    EXPECT_EQ(Check(), (ParsedChangeReport{{a, b}, {}, {}}));
    // Not saved: the next check compares with the saved state again and reports the same.
    EXPECT_EQ(Check(), (ParsedChangeReport{{a, b}, {}, {}}));
    Expect(k.save);
    EXPECT_EQ(StateFileBytes().size(), 2 * kStateRecordBytes);
    EXPECT_EQ(Check(), ParsedChangeReport{});

    // Read a, overwrite b, add c, delete a.
    const SentMessage got = h.Send(k.get, Utf16z(a));
    ASSERT_EQ(got.code, k.get + 1);
    QString gotId;
    EXPECT_EQ(DecodeBlob(got.payload, &gotId), TextRecord({{"Subject", "a"}}));
    EXPECT_EQ(gotId, a);

    Expect(k.set, ItemBlob(b, TextRecord({{"Subject", "b2"}, {"Body", "more"}})));
    EXPECT_EQ(store.Item(b), TextRecord({{"Subject", "b2"}, {"Body", "more"}}));

    const SentMessage added = h.Send(k.add, ItemBlob({}, TextRecord({{"Subject", "c"}})));
    ASSERT_EQ(added.code, k.add + 1);
    const QString c = QString::fromUtf16(reinterpret_cast<const char16_t*>(added.payload.constData()),
                                         added.payload.size() / 2);
    ASSERT_TRUE(IsItemId(c));
    EXPECT_TRUE(store.Has(c));

    Expect(k.del, Utf16z(a));
    EXPECT_FALSE(store.Has(a));

    Expect(k.save);
    EXPECT_EQ(Check(), ParsedChangeReport{}) << "the item requests kept the list in step";
    const std::vector<StateEntry> expected = {{b, FakeItemStore::ChecksumOf(store.Item(b))},
                                              {c, FakeItemStore::ChecksumOf(store.Item(c))}};
    EXPECT_EQ(DecodeStateRecords(StateFileBytes()), expected);

    // Changes made behind the agent's back are reported by the next check.
    store.Put(b, TextRecord({{"Subject", "b3"}}));
    store.Erase(c);
    const QString d = store.Put(TextRecord({{"Subject", "d"}}));
    EXPECT_EQ(Check(), (ParsedChangeReport{{d}, {b}, {c}}));
}

TEST_P(ItemSync, LoadReplacesTheListAndDropRemovesEveryEntryOfAnIdentifier)
{
    const KindCase& k = GetParam();
    SelectSource(h, k.kind);
    const QString x = NewItemId();
    const QString y = NewItemId();
    h.home.WriteFile(QStringLiteral(".local/share/TwinLark/") + QString::fromUtf8(k.stateFile),
                     EncodeStateRecords({{x, 1}, {y, 2}, {x, 3}}));
    h.agent.items.notesSuffix = QStringLiteral("Notes1");

    Expect(k.load);
    StateList& list = StateListOf(h.agent, k.kind);
    EXPECT_EQ(list.Size(), 3u);
    Expect(k.dropState, Utf16z(x));
    EXPECT_EQ(list.Entries(), (std::vector<StateEntry>{{y, 2}}));
    Expect(k.save);
    EXPECT_EQ(DecodeStateRecords(StateFileBytes()), (std::vector<StateEntry>{{y, 2}}));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ItemSync, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The twenty item requests: their log lines, their failures, the list kept in step, long blobs
// in both directions, the order rule for Outlook appointments and the delete-all requests.
#include <gtest/gtest.h>

#include "common/item_id.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

enum class Op { Get, Set, Add, Del };

struct LineCase {
    const char* name;
    std::uint16_t code;
    Op op;
    const char* slot;    // which source: "contacts", "appointments", "tasks", "notes"
    const char* failOn;  // nothing: the request succeeds
    QStringList lines;   // "{id}" the item's identifier, "{new}" the added one, "{crc}" its checksum
};

FakeItemStore& SourceOf(DispatchHarness& h, const QString& kind)
{
    h.agent.agentId = 14;
    h.agent.notesAgentId = 64;
    if (kind == "contacts") return h.Install(ItemKind::Contacts, 14);
    if (kind == "appointments") return h.Install(ItemKind::Appointments, 14);
    if (kind == "tasks") return h.Install(ItemKind::Tasks, 14);
    return h.Install(ItemKind::Notes, 64);
}

class ItemRequestLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ItemRequestLines, LogTheirLinesAndOnFailureTheRecordAndAnswerError)
{
    const LineCase& c = GetParam();
    DispatchHarness h;
    FakeItemStore& store = SourceOf(h, QString::fromUtf8(c.slot));
    const ItemRecord stored = TextRecord({{"Subject", "Old"}});
    const ItemRecord sent = TextRecord({{"Subject", "New"}});
    const QString id = store.Put(stored);
    StateList& list = c.code < 28   ? h.agent.items.contacts
                      : c.code < 42 ? h.agent.items.appointments
                      : c.code < 56 ? h.agent.items.tasks
                                    : h.agent.items.notes;
    list.Append(id, 1);
    if (c.failOn) store.FailOn(QString::fromUtf8(c.failOn));
    h.TakeLogLines();

    QByteArray payload;
    switch (c.op) {
        case Op::Get:
        case Op::Del:
            payload = Utf16z(id);
            break;
        case Op::Set:
            payload = ItemBlob(id, sent);
            break;
        case Op::Add:
            payload = ItemBlob({}, sent);
            break;
    }
    const SentMessage reply = h.Send(c.code, payload, 0x1234);
    EXPECT_EQ(reply.tag, 0x1234);
    EXPECT_EQ(reply.code, c.failOn ? AS_ERROR : c.code + 1);

    QString added;
    if (c.op == Op::Add && !c.failOn)
        added = QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()),
                                   reply.payload.size() / 2);
    QStringList expected;
    for (QString line : c.lines) {
        line.replace("{id}", id);
        line.replace("{new}", added);
        if (!added.isEmpty())
            line.replace("{crc}", QString::number(FakeItemStore::ChecksumOf(store.Item(added))));
        expected << line;
    }
    EXPECT_EQ(h.TakeLogLines(), expected);

    // The list follows what succeeded and nothing else.
    std::vector<StateEntry> entries = {{id, 1}};
    if (!c.failOn) {
        if (c.op == Op::Set) entries = {{id, FakeItemStore::ChecksumOf(sent)}};
        if (c.op == Op::Add) entries.push_back({added, FakeItemStore::ChecksumOf(sent)});
        if (c.op == Op::Del) entries.clear();
    }
    EXPECT_EQ(list.Entries(), entries);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ItemRequestLines,
    ::testing::Values(
        LineCase{"GetContact",
                 AS_GET_CONTACT,
                 Op::Get,
                 "contacts",
                 nullptr,
                 {"AS_GET_CONTACT - {id}", "AS_GET_CONTACT...ok"}},
        LineCase{
            "GetContactFails",
            AS_GET_CONTACT,
            Op::Get,
            "contacts",
            "Get",
            {"AS_GET_CONTACT - {id}", "AS_GET_CONTACT...error", "\t- Subject - Old", "\treason: Get failed"}},
        LineCase{"SetContact",
                 AS_SET_CONTACT,
                 Op::Set,
                 "contacts",
                 nullptr,
                 {"AS_SET_CONTACT", "{id}", "AS_SET_CONTACT...ok"}},
        LineCase{"AddContact",
                 AS_ADD_CONTACT,
                 Op::Add,
                 "contacts",
                 nullptr,
                 {"AS_ADD_CONTACT", "Id [{new}], crc [{crc}l]", "AS_ADD_CONTACT...ok"}},
        LineCase{"AddContactFails",
                 AS_ADD_CONTACT,
                 Op::Add,
                 "contacts",
                 "Add",
                 {"AS_ADD_CONTACT", "AS_ADD_CONTACT..error", "\t- Subject - New", "\treason: Add failed"}},
        LineCase{"DelContact",
                 AS_DEL_CONTACT,
                 Op::Del,
                 "contacts",
                 nullptr,
                 {"AS_DEL_CONTACT - {id}", "AS_DEL_CONTACT...ok"}},
        LineCase{"GetAppoint",
                 AS_GET_APPOINT,
                 Op::Get,
                 "appointments",
                 nullptr,
                 {"AS_GET_APPOINT - {id}", "AS_GET_APPOINT - ok"}},
        LineCase{"SetAppoint",
                 AS_SET_APPOINT,
                 Op::Set,
                 "appointments",
                 nullptr,
                 {"AS_SET_APPOINT", "", "{id}", "AS_SET_APPOINT...ok", ""}},
        LineCase{"SetAppointFails",
                 AS_SET_APPOINT,
                 Op::Set,
                 "appointments",
                 "Edit",
                 {"AS_SET_APPOINT", "", "{id}", "AS_SET_APPOINT...error", "", "\t- Subject - New",
                  "\treason: Edit failed"}},
        LineCase{"AddAppoint",
                 AS_ADD_APPOINT,
                 Op::Add,
                 "appointments",
                 nullptr,
                 {"AS_ADD_APPOINT", "AS_ADD_APPOINT...ok"}},
        LineCase{"DelAppointFails",
                 AS_DEL_APPOINT,
                 Op::Del,
                 "appointments",
                 "Delete",
                 {"AS_DEL_APPOINT - {id}", "AS_DEL_APPOINT - error", "\treason: Delete failed"}},
        LineCase{"GetTask", AS_GET_TASK, Op::Get, "tasks", nullptr, {"AS_GET_TASK - ok"}},
        LineCase{"GetTaskFailsWithoutDump",
                 AS_GET_TASK,
                 Op::Get,
                 "tasks",
                 "Get",
                 {"AS_GET_TASK - error", "\treason: Get failed"}},
        LineCase{"SetTask",
                 AS_SET_TASK,
                 Op::Set,
                 "tasks",
                 nullptr,
                 {"AS_SET_TASK", "", "{id}", "AS_SET_TASK...ok", ""}},
        LineCase{"AddTask", AS_ADD_TASK, Op::Add, "tasks", nullptr, {"AS_ADD_TASK", "AS_ADD_TASK...ok"}},
        LineCase{"DelTask",
                 AS_DEL_TASK,
                 Op::Del,
                 "tasks",
                 nullptr,
                 {"AS_DEL_TASK", "AS_DEL_TASK - {id}", "AS_DEL_TASK - ok"}},
        LineCase{
            "GetNote", AS_GET_NOTE, Op::Get, "notes", nullptr, {"AS_GET_NOTE - {id}", "AS_GET_NOTE - ok"}},
        LineCase{"SetNoteLogsNoIdentifier",
                 AS_SET_NOTE,
                 Op::Set,
                 "notes",
                 nullptr,
                 {"AS_SET_NOTE", "AS_SET_NOTE - ok"}},
        LineCase{"SetNoteFailsInChecksum",
                 AS_SET_NOTE,
                 Op::Set,
                 "notes",
                 "IDtoCRC32",
                 {"AS_SET_NOTE", "AS_SET_NOTE - error", "\t- Subject - New", "\treason: IDtoCRC32 failed"}},
        LineCase{"AddNote", AS_ADD_NOTE, Op::Add, "notes", nullptr, {"AS_ADD_NOTE", "AS_ADD_NOTE - ok"}},
        LineCase{
            "DelNote", AS_DEL_NOTE, Op::Del, "notes", nullptr, {"AS_DEL_NOTE - {id}", "AS_DEL_NOTE...ok"}}),
    [](const auto& info) { return std::string(info.param.name); });

class ItemRequests : public ::testing::Test {
protected:
    DispatchHarness h;
};

TEST_F(ItemRequests, WithoutAStoreTheyAnswerEmptyAndStillKeepTheList)
{
    h.agent.agentId = 0;  // the address book: no appointments, no tasks; its slot emptied too
    h.agent.notesAgentId = 0;
    h.agent.stores->Replace(ItemKind::Contacts, 0, nullptr);
    const QString id = NewItemId();
    h.agent.items.notes.Append(id, 1);
    h.agent.items.tasks.Append(id, 1);

    SentMessage reply = h.Send(AS_GET_APPOINT, Utf16z(id));
    EXPECT_EQ(reply.code, 29);
    EXPECT_TRUE(reply.payload.isEmpty());
    reply = h.Send(AS_ADD_TASK, ItemBlob({}, TextRecord({{"Subject", "x"}})));
    EXPECT_EQ(reply.code, 47);
    EXPECT_TRUE(reply.payload.isEmpty());
    EXPECT_EQ(h.Send(AS_SET_CONTACT, ItemBlob(id, {})).code, 9);
    EXPECT_EQ(h.Send(AS_DEL_NOTE, Utf16z(id)).code, 201);
    EXPECT_EQ(h.agent.items.notes.Size(), 0u);
    EXPECT_EQ(h.Send(AS_DEL_ALL_TASKS).code, 53);
    EXPECT_EQ(h.agent.items.tasks.Size(), 0u);
}

TEST_F(ItemRequests, SetTakesTheWaitingPiecesAndUpdatesEveryEntryOfItsIdentifier)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    const QString id = store.Put(TextRecord({{"FirstName", "Ann"}}));
    const QString other = NewItemId();
    h.agent.items.contacts.Append(id, 1);
    h.agent.items.contacts.Append(other, 2);
    h.agent.items.contacts.Append(id, 3);

    const ItemRecord record =
        TextRecord({{"FirstName", "Ann"}, {"Body", QString(9000, 'b').toUtf8().constData()}});
    const QByteArray blob = ItemBlob(id, record);
    ASSERT_GT(blob.size(), 2 * 8192);
    EXPECT_TRUE(h.Send(AS_PUT_FRAGMENT_REQUEST, blob.left(8000)).raw);
    EXPECT_TRUE(h.Send(AS_PUT_FRAGMENT_REQUEST, blob.mid(8000, 8000)).raw);
    EXPECT_EQ(h.Send(AS_SET_CONTACT, blob.mid(16000)).code, 9);
    EXPECT_EQ(store.Item(id), record);
    const std::uint32_t crc = FakeItemStore::ChecksumOf(record);
    EXPECT_EQ(h.agent.items.contacts.Entries(), (std::vector<StateEntry>{{id, crc}, {other, 2}, {id, crc}}));
    EXPECT_EQ(h.agent.fragments.Size(), 0);
}

TEST_F(ItemRequests, ASetThatFailsOrFindsNoStoreStillEmptiesThePieces)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    store.FailOn("Edit");
    const QString id = store.Put({});
    const QByteArray set = ItemBlob(id, TextRecord({{"FirstName", "Ann"}}));
    h.Send(AS_PUT_FRAGMENT_REQUEST, set.left(50));
    EXPECT_EQ(h.Send(AS_SET_CONTACT, set.mid(50)).code, AS_ERROR);
    EXPECT_TRUE(store.calls.contains("Edit " + id));
    EXPECT_EQ(h.agent.fragments.Size(), 0);

    h.agent.agentId = 5;
    const QByteArray add = ItemBlob({}, TextRecord({{"FirstName", "Ann"}}));
    h.Send(AS_PUT_FRAGMENT_REQUEST, add.left(10));
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, add.mid(10)).code, 11);
    EXPECT_EQ(h.agent.fragments.Size(), 0);
}

TEST_F(ItemRequests, MalformedBlobAnswersErrorAndChangesNothing)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    QByteArray blob = ItemBlob({}, TextRecord({{"FirstName", "Ann"}}));
    blob.chop(3);
    EXPECT_EQ(h.Send(AS_ADD_CONTACT, blob).code, AS_ERROR);
    EXPECT_FALSE(store.calls.contains("Add"));
    EXPECT_EQ(h.agent.items.contacts.Size(), 0u);
}

TEST_F(ItemRequests, AGetLongerThanOneMessageTravelsInPiecesWithoutOkLine)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    const QString id = store.Put(TextRecord({{"Body", QByteArray(10000, 'z').constData()}}));
    h.TakeLogLines();
    const SentMessage reply = h.Send(AS_GET_CONTACT, Utf16z(id));
    EXPECT_TRUE(reply.longReply);
    EXPECT_GT(reply.payload.size(), 20000);
    EXPECT_EQ(DecodeBlob(reply.payload), store.Item(id));
    EXPECT_EQ(h.TakeLogLines(), QStringList{"AS_GET_CONTACT - " + id});
}

// The order of an appointment's fields is the store's business (Outlook's calendar has a rule of
// its own): the dispatcher hands every store the record as the peer sent it, adds and edits alike.
TEST(AppointmentRecords, ReachTheStoreInThePeersOrder)
{
    for (const std::uint32_t agentId : {14u, 1u}) {
        SCOPED_TRACE(agentId);
        DispatchHarness h;
        h.agent.agentId = agentId;
        FakeItemStore& store = h.Install(ItemKind::Appointments, agentId);
        const QStringList sent{"End", "Subject", "Start"};
        ItemRecord record;
        for (const QString& name : sent) record.Add(name, name.toLower());
        const QString stored = store.Put(TextRecord({{"Subject", "x"}}));
        for (const auto& [code, blob] :
             {std::pair{AS_ADD_APPOINT, ItemBlob({}, record)}, {AS_SET_APPOINT, ItemBlob(stored, record)}}) {
            SCOPED_TRACE(code);
            store.lastWritten = {};
            ASSERT_EQ(h.Send(code, blob).code, code + 1);
            EXPECT_EQ(store.lastWritten.names, sent);
            EXPECT_EQ(store.lastWritten.values, record.values);
        }
    }
}

TEST_F(ItemRequests, WindowsCalendarReindexesAroundItsChanges)
{
    h.agent.agentId = 1;
    FakeItemStore& store = h.Install(ItemKind::Appointments, 1);
    const SentMessage added = h.Send(AS_ADD_APPOINT, ItemBlob({}, TextRecord({{"Subject", "x"}})));
    const QString id = QString::fromUtf16(reinterpret_cast<const char16_t*>(added.payload.constData()), 48);
    h.Send(AS_DEL_APPOINT, Utf16z(id));
    h.Send(AS_DEL_ALL_APPOINTS);
    EXPECT_EQ(store.calls, (QStringList{"Add", "LoadCalendarIndex", "IDtoCRC32 " + id, "Delete " + id,
                                        "LoadCalendarIndex", "LoadCalendarIndex", "DeleteAll"}));
}

// A checksum that fails right after an add leaves no item behind: the peer gets an error and adds
// again, so a kept item would come back from the next check as new and the retry make it twice.
TEST_F(ItemRequests, AnAddWhoseChecksumFailsRemovesTheNewItem)
{
    const struct {
        ItemKind kind;
        std::uint32_t code;
        std::uint16_t add;
        StateList ItemSyncState::*list;
    } kinds[] = {
        {ItemKind::Contacts, 14, AS_ADD_CONTACT, &ItemSyncState::contacts},
        {ItemKind::Appointments, 1, AS_ADD_APPOINT, &ItemSyncState::appointments},
        {ItemKind::Tasks, 14, AS_ADD_TASK, &ItemSyncState::tasks},
        {ItemKind::Notes, 64, AS_ADD_NOTE, &ItemSyncState::notes},
    };
    for (const auto& k : kinds) {
        for (const bool deleteFails : {false, true}) {
            SCOPED_TRACE(testing::Message() << k.add << (deleteFails ? " delete fails" : ""));
            DispatchHarness harness;
            harness.agent.agentId = k.kind == ItemKind::Appointments ? 1 : 14;
            harness.agent.notesAgentId = 64;
            FakeItemStore& store = harness.Install(k.kind, k.code);
            store.FailOn(QStringLiteral("IDtoCRC32"));
            if (deleteFails) store.FailOn(QStringLiteral("Delete"));
            harness.TakeLogLines();

            EXPECT_EQ(harness.Send(k.add, ItemBlob({}, TextRecord({{"Subject", "x"}}))).code, AS_ERROR);
            EXPECT_TRUE((harness.agent.items.*k.list).Entries().empty());
            const QStringList log = harness.TakeLogLines();
            if (deleteFails) {
                ASSERT_EQ(store.Ids().size(), 1);
                EXPECT_TRUE(log.contains(QStringLiteral("%1: the new item %2 could not be removed again: Delete failed")
                                             .arg(log.first(), store.Ids().first())))
                    << log.join(u'|').toStdString();
            } else {
                EXPECT_TRUE(store.Ids().isEmpty());
                // Removed as a delete request would remove it, the calendar index included.
                if (k.kind == ItemKind::Appointments) {
                    EXPECT_EQ(store.calls.last(), QStringLiteral("LoadCalendarIndex"));
                }
            }
            EXPECT_TRUE(log.contains(QStringLiteral("\treason: IDtoCRC32 failed"))) << log.join(u'|').toStdString();
        }
    }
}

class DeleteAll : public ItemRequests {};

TEST_F(DeleteAll, ContactsEmptyTheSourceAndTheListAndAcceptAgain)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    store.Put({});
    h.agent.items.contacts.Append(NewItemId(), 1);
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, 23);
    EXPECT_EQ(store.calls, (QStringList{"Load", "DeleteAll", "Unload"}));
    EXPECT_EQ(h.agent.items.contacts.Size(), 0u);
    EXPECT_FALSE(h.home.Exists(".local/share/TwinLark/PEER.Contact")) << "the state file is left alone";
    EXPECT_EQ(h.host.events, (QStringList{"accept off", "accept on"}));
    EXPECT_EQ(h.TakeLogLines(), (QStringList{"AS_DEL_ALL_CONTACTS", "AS_DEL_ALL_CONTACTS...ok"}));
}

TEST_F(DeleteAll, OtherKindsLeaveNewConnectionsRefusedUntilTheSynchronisationEnds)
{
    h.agent.agentId = 14;
    FakeItemStore& store = h.Install(ItemKind::Appointments, 14);
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_DEL_ALL_APPOINTS).code, 39);
    EXPECT_EQ(store.calls, (QStringList{"SetIdMapName PEER", "DeleteAll"}));
    EXPECT_EQ(store.moments, (QStringList{"Connect", "AfterEmpty emptied"})) << "Outlook started, then released";
    EXPECT_EQ(h.TakeLogLines(), (QStringList{"AS_DEL_ALL_APPOINTS", "AS_DEL_ALL_APPOINTS - ok"}));
    EXPECT_FALSE(h.host.accepting);

    h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF));
    EXPECT_FALSE(h.host.accepting) << "a second client stays unaccepted";
    EXPECT_EQ(h.Send(AS_END_SYNC).code, 231);
    EXPECT_TRUE(h.host.accepting);
}

TEST_F(DeleteAll, FailureReleasesOutlookAndAnswersError)
{
    h.agent.agentId = 12;
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 12);
    contacts.FailOn("Connect");
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, AS_ERROR);
    EXPECT_TRUE(contacts.calls.isEmpty());
    EXPECT_EQ(contacts.moments, (QStringList{"Connect", "AfterEmpty not emptied"}));
    EXPECT_EQ(h.host.events, (QStringList{"accept off", "accept on"}));
    EXPECT_EQ(h.TakeLogLines().mid(0, 2),
              (QStringList{"AS_DEL_ALL_CONTACTS", "AS_DEL_ALL_CONTACTS...error"}));

    h.agent.agentId = 14;
    FakeItemStore& tasks = h.Install(ItemKind::Tasks, 14);
    tasks.FailOn("DeleteAll");
    h.agent.items.tasks.Append(NewItemId(), 1);
    h.host.events.clear();
    EXPECT_EQ(h.Send(AS_DEL_ALL_TASKS).code, AS_ERROR);
    EXPECT_EQ(h.host.events, QStringList{"accept off"});
    EXPECT_EQ(h.agent.items.tasks.Size(), 1u);
    EXPECT_TRUE(h.TakeLogLines().contains("AS_DEL_ALL_TASKS - error"));
}

TEST_F(DeleteAll, OperaSourcesDeleteOnlyWhatOperaHas)
{
    h.agent.notesAgentId = 0x4000;
    FakeItemStore& notes = h.Install(ItemKind::Notes, 0x4000);
    h.agent.items.notes.Append(NewItemId(), 1);
    h.TakeLogLines();
    // No notes file: nothing is deleted, the list is emptied, no ok line.
    EXPECT_EQ(h.Send(AS_DEL_ALL_NOTES).code, 205);
    EXPECT_FALSE(notes.calls.contains("DeleteAll"));
    EXPECT_EQ(h.agent.items.notes.Size(), 0u);
    EXPECT_EQ(h.TakeLogLines(), QStringList{"AS_DEL_ALL_NOTES"});
    h.home.WriteFile(".opera/notes.adr", "Opera Hotlist version 2.0\n");
    EXPECT_EQ(h.Send(AS_DEL_ALL_NOTES).code, 205);
    EXPECT_TRUE(notes.calls.contains("DeleteAll"));

    // Contacts: without Opera nothing happens; Opera without mail fails.
    h.agent.agentId = 7;
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 7);
    EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, 23);
    h.home.WriteFile(".opera/operaprefs.ini", "[Install]\nNewest Used Version=11.64\n");
    EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, AS_ERROR);
    EXPECT_TRUE(h.TakeLogLines().contains("Not installed Opera Contacts"));
    EXPECT_TRUE(contacts.calls.isEmpty());
}

}  // namespace

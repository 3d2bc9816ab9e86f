#include <sys/stat.h>
// The change checks and the state requests: what they report, what they log, and the steps they
// ask of each source.
#include <gtest/gtest.h>

#include "common/item_id.h"
#include "dispatch/request_codes.h"
#include "dispatch/state_file.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "wire/message_header.h"

namespace {

const QString kDataDir = QStringLiteral(".local/share/TwinLark/");

class ChangeCheck : public ::testing::Test {
protected:
    void SaveState(const QString& file, const std::vector<StateEntry>& entries)
    {
        h.home.WriteFile(kDataDir + file, EncodeStateRecords(entries));
    }
    std::uint32_t Crc(FakeItemStore& store, const QString& id)
    {
        return FakeItemStore::ChecksumOf(store.Item(id));
    }
    DispatchHarness h;
};

TEST_F(ChangeCheck, ContactsReportAddedEditedDeletedWithTheirLogLines)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    const QString same = store.Put(TextRecord({{"FirstName", "Ann"}}));
    const QString changed = store.Put(TextRecord({{"FirstName", "Bob"}}));
    const QString fresh = store.Put(TextRecord({{"FirstName", "Cy"}}));
    const QString gone = NewItemId();
    SaveState(QStringLiteral("PEER.Contact"), {{gone, 5}, {same, Crc(store, same)}, {changed, 1}});
    h.TakeLogLines();

    const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    ASSERT_EQ(reply.code, 21);
    EXPECT_EQ(reply.tag, 7);
    EXPECT_EQ(ParseChangeReport(reply.payload), (ParsedChangeReport{{fresh}, {changed}, {gone}}));
    EXPECT_EQ(h.TakeLogLines(),
              (QStringList{
                  "AS_CHECK_CONTACTS",
                  "AS_CHECK_CONTACTS m_IDsContactsFromOutlook.GetCount() = 3",
                  "Edit",
                  "Contactd ID - " + changed,
                  "Add",
                  "Contactd ID - " + fresh,
                  "Del",
                  "Contactd ID - " + gone,
                  "AS_CHECK_CONTACTS: col_AddContacts 1, col_DelContacts 1, col_EditContacts 1",
                  "AS_CHECK_CONTACTS...ok",
              }));
    // The list now equals the store: old entries first in their order, then the added ones.
    EXPECT_EQ(h.agent.items.contacts.Entries(),
              (std::vector<StateEntry>{
                  {same, Crc(store, same)}, {changed, Crc(store, changed)}, {fresh, Crc(store, fresh)}}));
    // The check does not write the state file; only the save does.
    EXPECT_EQ(DecodeStateRecords(*h.home.ReadFile(kDataDir + "PEER.Contact")).size(), 3u);
    EXPECT_EQ(DecodeStateRecords(*h.home.ReadFile(kDataDir + "PEER.Contact"))[0].id, gone);
}

TEST_F(ChangeCheck, EmptyStoreAndStateAnswerThreeZeroCountsAndCreateTheStateFile)
{
    h.agent.agentId = 2;
    h.Install(ItemKind::Contacts, 2);
    const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(reply.code, 21);
    EXPECT_EQ(reply.payload, QByteArray(6, '\0'));
    EXPECT_TRUE(h.home.Exists(kDataDir + "PEER.Contact"));
}

// A store that lists one identifier twice.
class RepeatingStore : public FakeItemStore {
public:
    void GetIDs(QStringList& ids) override
    {
        FakeItemStore::GetIDs(ids);
        ids.append(ids.first());
    }
};

TEST_F(ChangeCheck, DuplicatesAreComparedEntryByEntryAndAddedOnce)
{
    h.agent.agentId = 2;
    auto owned = std::make_unique<RepeatingStore>();
    RepeatingStore& store = *owned;
    h.agent.stores->Replace(ItemKind::Contacts, 2, std::move(owned));
    const QString twice = store.Put(TextRecord({{"FirstName", "Ann"}}));
    const QString saved = store.Put(TextRecord({{"FirstName", "Bob"}}));
    // `saved` has two stale entries; `twice` is new and listed twice by the store.
    SaveState(QStringLiteral("PEER.Contact"), {{saved, 1}, {saved, 2}});

    const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(ParseChangeReport(reply.payload), (ParsedChangeReport{{twice}, {saved, saved}, {}}));
    EXPECT_EQ(h.agent.items.contacts.Entries(),
              (std::vector<StateEntry>{
                  {saved, Crc(store, saved)}, {saved, Crc(store, saved)}, {twice, Crc(store, twice)}}));
}

struct WindowCase {
    const char* name;
    std::uint16_t check;
    QByteArray payload;
    bool filters;                 // new items outside the window stay unreported
    const char* windowArguments;  // as the store saw them
};

class DateWindow : public ::testing::TestWithParam<WindowCase> {};

TEST_P(DateWindow, FiltersOnlyAddedItems)
{
    const WindowCase& c = GetParam();
    DispatchHarness h;
    h.agent.agentId = 14;
    FakeItemStore& store =
        h.Install(c.check == AS_CHECK_APPOINTS ? ItemKind::Appointments : ItemKind::Tasks, 14);
    const QString inside = store.Put(TextRecord({{"Subject", "soon"}}));
    const QString outside = store.Put(TextRecord({{"Subject", "next month"}}));
    const QString editedOutside = store.Put(TextRecord({{"Subject", "edited"}}));
    const QString deleted = NewItemId();
    store.outOfWindow = {outside, editedOutside};
    h.home.WriteFile(kDataDir + (c.check == AS_CHECK_APPOINTS ? "PEER.Appointment" : "PEER.Task"),
                     EncodeStateRecords({{editedOutside, 1}, {deleted, 2}}));

    const SentMessage reply = h.Send(c.check, c.payload);
    ASSERT_EQ(reply.code, c.check + 1);
    const QStringList added = c.filters ? QStringList{inside} : QStringList{inside, outside};
    EXPECT_EQ(ParseChangeReport(reply.payload), (ParsedChangeReport{added, {editedOutside}, {deleted}}));
    StateList& list = c.check == AS_CHECK_APPOINTS ? h.agent.items.appointments : h.agent.items.tasks;
    EXPECT_EQ(list.Size(), 1 + added.size()) << "an item outside the window is not remembered either";
    if (c.filters)
        EXPECT_TRUE(
            store.calls.contains(QStringLiteral("IsInDateWindow %1 %2").arg(outside, c.windowArguments)));
    else
        EXPECT_FALSE(store.calls.join('\n').contains("IsInDateWindow"));
}

INSTANTIATE_TEST_SUITE_P(
    Checks, DateWindow,
    ::testing::Values(
        WindowCase{"AppointsNoBounds", AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF), false, ""},
        WindowCase{"AppointsThisWeek", AS_CHECK_APPOINTS, U16Bytes(0) + U16Bytes(0), true, "0 0"},
        WindowCase{"TasksBackTwoAheadFour", AS_CHECK_TASKS, U16Bytes(2) + U16Bytes(4), true, "2 4"},
        WindowCase{"TasksOnlyBackUnbounded", AS_CHECK_TASKS, U16Bytes(0xFFFF) + U16Bytes(3), true, "-1 3"},
        // Numbers the peer leaves out read as zero.
        WindowCase{"ShortPayloadIsZeroFilled", AS_CHECK_APPOINTS, QByteArray("\xFF\xFF", 2), true, "-1 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChangeCheck, AppointmentsLogEveryComparisonWithSignedChecksums)
{
    h.agent.agentId = 1;
    FakeItemStore& store = h.Install(ItemKind::Appointments, 1);
    const QString id = store.Put(TextRecord({{"Subject", "x"}}));
    SaveState(QStringLiteral("PEER.Appointment"), {{id, 0xFFFFFFFE}});
    h.TakeLogLines();
    h.Send(AS_CHECK_APPOINTS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF));
    const QStringList lines = h.TakeLogLines();
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"AS_CHECK_APPOINTS",
                                            QStringLiteral("Appoint ID - %1, CRC [-2], new CRC [%2]")
                                                .arg(id)
                                                .arg(static_cast<std::int32_t>(Crc(store, id))),
                                            ""}));
    EXPECT_EQ(lines.mid(3),
              (QStringList{"AS_CHECK_APPOINTS: col_AddAppoints 0, col_DelAppoints 0, col_EditAppoints 1",
                           "AS_CHECK_APPOINTS...ok"}));
    EXPECT_EQ(store.calls.mid(0, 3), (QStringList{"CreateCalendarFolders", "LoadCalendarIndex", "GetIDs"}));
}

TEST_F(ChangeCheck, TasksLogNoOkLine)
{
    h.agent.agentId = 14;
    h.Install(ItemKind::Tasks, 14);
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_CHECK_TASKS, U16Bytes(0xFFFF) + U16Bytes(0xFFFF)).code, 51);
    EXPECT_EQ(
        h.TakeLogLines(),
        (QStringList{"AS_CHECK_TASKS", "AS_CHECK_TASKS: col_AddTasks 0, col_DelTasks 0, col_EditTasks 0"}));
}

TEST_F(ChangeCheck, AReportOverOneMessageTravelsInPiecesWithoutOkLine)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    // 170 identifiers fit one message (6 + 170 * 96 bytes); 171 do not.
    for (int i = 0; i < 170; ++i) store.Put(TextRecord({{"FirstName", "n"}}));
    SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_LE(reply.payload.size(), qsizetype(kMaxPayloadBytes));
    EXPECT_EQ(h.TakeLogLines().last(), "AS_CHECK_CONTACTS...ok");

    store.Put(TextRecord({{"FirstName", "n"}}));
    reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_TRUE(reply.longReply);
    EXPECT_EQ(reply.code, 21);
    EXPECT_EQ(ParseChangeReport(reply.payload).added.size(), 171);
    EXPECT_EQ(h.TakeLogLines().last(),
              "AS_CHECK_CONTACTS: col_AddContacts 171, col_DelContacts 0, col_EditContacts 0");
}

TEST_F(ChangeCheck, MoreIdentifiersThanTheCountCanSayAnswerErrorAndLeaveTheSavedState)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    for (int i = 0; i < 0x10000; ++i)
        store.Put(QString::number(i).rightJustified(kItemIdUnits, QLatin1Char('0')), ItemRecord{});
    const QString saved = NewItemId();
    SaveState(QStringLiteral("PEER.Contact"), {{saved, 9}});
    h.TakeLogLines();

    const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(reply.code, AS_ERROR);
    const QStringList lines = h.TakeLogLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], "AS_CHECK_CONTACTS...error");
    EXPECT_TRUE(lines.last().startsWith("\treason: 65536 added identifiers")) << lines.last().toStdString();
    EXPECT_EQ(h.agent.items.contacts.Entries(), (std::vector<StateEntry>{{saved, 9}}))
        << "the list must not remember changes the peer never heard of";
}

TEST_F(ChangeCheck, OutlookThatDoesNotStartAnswersErrorAndLeavesTheList)
{
    h.agent.agentId = 12;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 12);
    store.FailOn("Connect");
    h.agent.items.contacts.Append(NewItemId(), 3);
    h.TakeLogLines();

    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
    EXPECT_EQ(h.TakeLogLines(), QStringList{"AS_CHECK_CONTACTS(=OfficeInit()=)...error"});
    EXPECT_EQ(store.moments, QStringList{"Connect"});
    EXPECT_EQ(h.agent.items.contacts.Size(), 1u);
    EXPECT_TRUE(store.calls.isEmpty());
    EXPECT_FALSE(h.home.Exists(kDataDir + "PEER.Contact"));
}

TEST_F(ChangeCheck, AFailingStoreGivesTheErrorLineAndReason)
{
    h.agent.agentId = 2;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
    store.Put(TextRecord({{"FirstName", "Ann"}}));
    store.FailOn("IDtoCRC32");
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
    const QStringList lines = h.TakeLogLines();
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{"AS_CHECK_CONTACTS...error", "\treason: IDtoCRC32 failed"}));
}

struct SourceStepsCase {
    const char* name;
    std::uint16_t check;
    QByteArray payload;
    std::uint32_t agentId, notesAgentId;
    ItemKind kind;  // of the store whose steps are seen, under its code
    QStringList callsBeforeIds;  // what the store is asked before GetIDs
    bool removesIdMapping;
};

class SourceSteps : public ::testing::TestWithParam<SourceStepsCase> {};

TEST_P(SourceSteps, CheckPreparesTheSourceAndMaintainsItsIdentifierMap)
{
    const SourceStepsCase& c = GetParam();
    DispatchHarness h;
    h.agent.agentId = c.agentId;
    h.agent.notesAgentId = c.notesAgentId;
    FakeItemStore& store = h.Install(c.kind, c.kind == ItemKind::Notes ? c.notesAgentId : c.agentId);
    const QString gone = NewItemId();
    h.agent.items.notesSuffix = QStringLiteral("N");
    const char* file = c.check == AS_CHECK_CONTACTS ? "PEER.Contact"
                       : c.check == AS_CHECK_NOTES  ? "PEER.N"
                                                    : "PEER.Appointment";
    h.home.WriteFile(kDataDir + file, EncodeStateRecords({{gone, 1}}));

    const SentMessage reply = h.Send(c.check, c.payload);
    ASSERT_EQ(reply.code, c.check + 1);
    QStringList expected = c.callsBeforeIds;
    expected << "GetIDs";
    if (c.removesIdMapping) expected << "RemoveIdMapping " + gone;
    EXPECT_EQ(store.calls, expected);
}

const QByteArray kNoWindow = U16Bytes(0xFFFF) + U16Bytes(0xFFFF);

INSTANTIATE_TEST_SUITE_P(
    Sources, SourceSteps,
    ::testing::Values(
        SourceStepsCase{"AddressBook", AS_CHECK_CONTACTS, {}, 0, 0, ItemKind::Contacts, {"Open"}, false},
        SourceStepsCase{"WindowsContacts",
                        AS_CHECK_CONTACTS,
                        {},
                        1,
                        0,
                        ItemKind::Contacts,
                        {"CreateContactsFolder", "Load"},
                        false},
        SourceStepsCase{
            "Outlook12Contacts", AS_CHECK_CONTACTS, {}, 12, 0, ItemKind::Contacts, {"OpenIdMap PEER"}, true},
        SourceStepsCase{"Outlook11Contacts", AS_CHECK_CONTACTS, {}, 11, 0, ItemKind::Contacts, {}, false},
        SourceStepsCase{"Outlook14Appointments",
                        AS_CHECK_APPOINTS,
                        kNoWindow,
                        14,
                        0,
                        ItemKind::Appointments,
                        {"OpenIdMap PEER"},
                        true},
        SourceStepsCase{
            "Outlook12Notes", AS_CHECK_NOTES, Utf16z("N"), 0, 32, ItemKind::Notes, {"OpenIdMap PEER"}, true},
        SourceStepsCase{"StickyNotes", AS_CHECK_NOTES, Utf16z("N"), 0, 0x10000, ItemKind::Notes, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChangeCheck, ACodeWithoutStoreReportsEverySavedEntryAsDeleted)
{
    h.agent.agentId = 5;
    const QString a = NewItemId();
    SaveState(QStringLiteral("PEER.Contact"), {{a, 1}});
    const SentMessage reply = h.Send(AS_CHECK_CONTACTS);
    EXPECT_EQ(ParseChangeReport(reply.payload), (ParsedChangeReport{{}, {}, {a}}));
    EXPECT_EQ(h.agent.items.contacts.Size(), 0u);
}

TEST_F(ChangeCheck, OperaContactsWithoutMailAccountFail)
{
    h.agent.agentId = 7;
    FakeItemStore& store = h.Install(ItemKind::Contacts, 7);
    h.home.WriteFile(".opera/operaprefs.ini", "[Install]\nNewest Used Version=12.16.1860\n");
    h.home.WriteFile(".opera/mail/accounts.ini", "[Accounts]\nCount=0\n");
    h.TakeLogLines();
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
    const QStringList lines = h.TakeLogLines();
    EXPECT_TRUE(lines.contains("Not installed Opera Contacts"));
    EXPECT_TRUE(lines.contains("AS_CHECK_CONTACTS...error"));
    EXPECT_FALSE(store.calls.contains("GetIDs"));

    h.home.WriteFile(".opera/mail/accounts.ini", "[Accounts]\nCount=1\n");
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, 21);
}

TEST_F(ChangeCheck, NotesCheckSetsTheSuffixThatNamesTheStateFile)
{
    h.agent.notesAgentId = 0x4000;
    FakeItemStore& store = h.Install(ItemKind::Notes, 0x4000);
    const QString a = store.Put(TextRecord({{"Body", "x"}}));
    SaveState(QStringLiteral("PEER.Work"), {{a, Crc(store, a)}});
    h.TakeLogLines();

    EXPECT_EQ(ParseChangeReport(h.Send(AS_CHECK_NOTES, Utf16z("Work")).payload), ParsedChangeReport{});
    EXPECT_EQ(h.agent.items.notesSuffix, "Work");
    EXPECT_EQ(h.TakeLogLines().first(), "AS_CHECK_NOTES - Work");

    // An empty suffix names the file that ends in ".".
    EXPECT_EQ(ParseChangeReport(h.Send(AS_CHECK_NOTES).payload), (ParsedChangeReport{{a}, {}, {}}));
    EXPECT_TRUE(h.home.Exists(kDataDir + "PEER."));

    // A suffix that would leave the folder is refused before anything changes.
    h.agent.items.notesSuffix = QStringLiteral("Work");
    const qsizetype callsBefore = store.calls.size();
    EXPECT_EQ(h.Send(AS_CHECK_NOTES, Utf16z("../../x")).code, AS_ERROR);
    EXPECT_EQ(h.agent.items.notesSuffix, "Work");
    EXPECT_EQ(store.calls.size(), callsBefore);
}

TEST_F(ChangeCheck, WithoutMachineIdentifierTheCheckAnswersError)
{
    h.agent.agentId = 2;
    h.agent.machineId.clear();
    h.Install(ItemKind::Contacts, 2);
    EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
}

class StateRequests : public ChangeCheck {};

TEST_F(StateRequests, LoadAndSaveRunTheSourceSteps)
{
    h.agent.agentId = 1;
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 1);
    EXPECT_EQ(h.Send(AS_LOAD_CONTACTS_STATE).code, 131);
    EXPECT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, 25);
    EXPECT_EQ(contacts.calls, (QStringList{"ClearRecords", "Unload"}));

    h.agent.agentId = 14;
    FakeItemStore& tasks = h.Install(ItemKind::Tasks, 14);
    EXPECT_EQ(h.Send(AS_LOAD_TASKS_STATE).code, 139);
    EXPECT_EQ(h.Send(AS_SAVE_TASKS_STATE).code, 55);
    EXPECT_EQ(tasks.calls, (QStringList{"OpenIdMap PEER", "SaveIdMap"}));
    EXPECT_TRUE(h.TakeLogLines().isEmpty()) << "load and save log nothing";
}

TEST_F(StateRequests, AFailingSaveAnswersErrorAndKeepsTheOldFile)
{
    h.agent.agentId = 1;
    FakeItemStore& contacts = h.Install(ItemKind::Contacts, 1);
    contacts.FailOn("Unload");
    SaveState(QStringLiteral("PEER.Contact"), {{NewItemId(), 4}});
    h.agent.items.contacts.Clear();
    EXPECT_EQ(h.Send(AS_SAVE_CONTACTS_STATE).code, AS_ERROR);
    EXPECT_EQ(h.home.ReadFile(kDataDir + "PEER.Contact")->size(), kStateRecordBytes);
    EXPECT_TRUE(h.TakeLogLines().contains("AS_SAVE_CONTACTS_STATE...error"));
}

struct ResetCase {
    const char* name;
    QByteArray payload;
    const char* emptiedFile;  // nothing for kinds without a list
};

class ResetState : public ::testing::TestWithParam<ResetCase> {};

TEST_P(ResetState, EmptiesTheKindsListAndFileAndSetsTheSuffix)
{
    DispatchHarness h;
    const char* files[] = {"PEER.Appointment", "PEER.Contact", "PEER.Task", "PEER.S"};
    StateList* lists[] = {&h.agent.items.appointments, &h.agent.items.contacts, &h.agent.items.tasks,
                          &h.agent.items.notes};
    for (const char* f : files) h.home.WriteFile(kDataDir + f, EncodeStateRecords({{NewItemId(), 1}}));
    for (StateList* l : lists) l->Append(NewItemId(), 1);

    EXPECT_EQ(h.Send(AS_RESET_STATE, GetParam().payload).code, 27);
    for (int i = 0; i < 4; ++i) {
        const bool emptied = GetParam().emptiedFile && QString(files[i]) == GetParam().emptiedFile;
        EXPECT_EQ(h.home.ReadFile(kDataDir + files[i])->size(), emptied ? 0 : kStateRecordBytes) << files[i];
        EXPECT_EQ(lists[i]->Size(), emptied ? 0u : 1u) << files[i];
    }
    EXPECT_EQ(h.agent.items.notesSuffix, "S");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ResetState,
    ::testing::Values(ResetCase{"Appointments", U16Bytes(0) + Utf16z("S"), "PEER.Appointment"},
                      ResetCase{"Contacts", U16Bytes(1) + Utf16z("S"), "PEER.Contact"},
                      ResetCase{"Tasks", U16Bytes(2) + Utf16z("S"), "PEER.Task"},
                      ResetCase{"NotesOfTheNewSuffix", U16Bytes(3) + Utf16z("S"), "PEER.S"},
                      ResetCase{"UnknownKindOnlySetsTheSuffix", U16Bytes(9) + utf16::Bytes("S"), nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StateRequests, ResetWithAnUnsafeSuffixChangesNothing)
{
    h.agent.items.notesSuffix = QStringLiteral("Old");
    h.agent.items.contacts.Append(NewItemId(), 1);
    EXPECT_EQ(h.Send(AS_RESET_STATE, U16Bytes(1) + Utf16z("a/b")).code, AS_ERROR);
    EXPECT_EQ(h.agent.items.notesSuffix, "Old");
    EXPECT_EQ(h.agent.items.contacts.Size(), 1u);
}

TEST_F(StateRequests, ResetOfNotesThenSaveWritesTheFileOfTheNewSuffix)
{
    h.agent.notesAgentId = 0x4000;
    h.Install(ItemKind::Notes, 0x4000);
    EXPECT_EQ(h.Send(AS_RESET_STATE, U16Bytes(3) + Utf16z("Home")).code, 27);
    h.agent.items.notes.Append(NewItemId(), 8);
    EXPECT_EQ(h.Send(AS_SAVE_NOTES_STATE).code, 207);
    EXPECT_EQ(h.home.ReadFile(kDataDir + "PEER.Home")->size(), kStateRecordBytes);
}

}  // namespace

namespace {

// A peer's machine identifier and notes suffix name a file in the agent's data folder; none
// may land on the agent's own files or on another kind's state, whatever the letter case.
TEST(AgentFileNamesTest, PeerTextsNeverReplaceAnotherAgentFile)
{
    const struct {
        const char* machineId;
        const char* suffix;
        const char* victim;
    } clobbering[] = {
        {"MediaLibrary", "xml", "MediaLibrary.xml"}, {"TwinLark", "log", "TwinLark.log"},
        {"logSocket", "LOG", "logSocket.log"},       {"iplist", "dat", "iplist.dat"},
        {"PEER", "Contact", "PEER.Contact"},         {"PEER", "appointment", "PEER.Appointment"},
        {"PEER", "Task", "PEER.Task"},               {"ids_PEER", "xml", "ids_PEER.xml"},
        {"PEER", "Opera_x", "PEER.Opera_x"},         {"AddressBook", "wab", "AddressBook.wab"},
    };
    for (const auto& c : clobbering) {
        SCOPED_TRACE(c.victim);
        DispatchHarness h;
        const QString victim = QStringLiteral(".local/share/TwinLark/") + QString::fromLatin1(c.victim);
        h.home.WriteFile(victim, "precious");
        h.agent.machineId = QString::fromLatin1(c.machineId);
        h.TakeLogLines();
        EXPECT_EQ(h.Send(AS_RESET_STATE, U16Bytes(3) + Utf16z(QString::fromLatin1(c.suffix))).code, AS_ERROR);
        EXPECT_EQ(h.home.ReadFile(victim), QByteArray("precious"));
        EXPECT_FALSE(h.TakeLogLines().isEmpty());
    }
    DispatchHarness h;
    EXPECT_EQ(h.Send(AS_RESET_STATE, U16Bytes(3) + Utf16z(QStringLiteral("Notes"))).code, AS_RESET_STATE + 1);
}

// The data folder holds item dumps and machine identifiers: other local users read nothing there.
TEST(AgentFileNamesTest, TheDataFolderAndItsFilesAreTheUsersAlone)
{
    DispatchHarness h;
    ASSERT_EQ(h.Send(AS_RESET_STATE, U16Bytes(3) + Utf16z(QStringLiteral("Notes"))).code, AS_RESET_STATE + 1);
    const LogFile log;  // the agent's own log in the data folder
    log.IsOpen();
    const auto mode = [&](const char* relative) {
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(h.home.Path(QString::fromLatin1(relative))).constData(), &st), 0) << relative;
        return st.st_mode & 0777;
    };
    EXPECT_EQ(mode(".local/share/TwinLark"), 0700u);
    EXPECT_EQ(mode(".local/share/TwinLark/PEER.Notes"), 0600u);
    EXPECT_EQ(mode(".local/share/TwinLark/TwinLark.log"), 0600u);
}

}  // namespace

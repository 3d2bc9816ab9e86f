// The change checks of the four item kinds and the requests that load, save, drop and reset the
// peer's saved state of them.
#include "common/byte_io.h"
#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/bookmark_sync_state.h"
#include "dispatch/change_check.h"
#include "dispatch/dispatcher.h"
#include "dispatch/item_kinds.h"
#include "dispatch/request_context.h"
#include "dispatch/state_commit.h"
#include "stores/catalog/store_set.h"
#include "wire/message_header.h"

namespace {

// Where a check request logs its name: the kinds differ only in the moment.
enum class NameLine { None, BeforeConnect, AfterConnect };

// Everything in which the four change checks differ; empty texts are lines not logged.
struct CheckTraits {
    ItemKind kind;
    bool hasDateWindow;  // the request carries weeks back and ahead
    NameLine nameLine;
    // Non-null where the request carries the notes state file's suffix: logged with it appended.
    const char* suffixLine;
    const char* countLine;     // with %1 the number of items the source lists
    bool logsSections;         // each section of the comparison is logged by its name
    const char* itemLine;      // followed by the identifier of each added, deleted and edited item
    const char* comparedLine;  // with %1 identifier, %2 saved and %3 current checksum
    // With %1 added, %2 deleted, %3 edited.
    const char* summary;
    bool logsOk;
};

constexpr CheckTraits kContactsCheck = {
    .kind = ItemKind::Contacts,
    .hasDateWindow = false,
    .nameLine = NameLine::AfterConnect,
    .suffixLine = nullptr,
    .countLine = "AS_CHECK_CONTACTS m_IDsContactsFromOutlook.GetCount() = %1",
    .logsSections = true,
    .itemLine = "Contactd ID - ",
    .comparedLine = nullptr,
    .summary = "AS_CHECK_CONTACTS: col_AddContacts %1, col_DelContacts %2, col_EditContacts %3",
    .logsOk = true,
};
constexpr CheckTraits kAppointmentsCheck = {
    .kind = ItemKind::Appointments,
    .hasDateWindow = true,
    .nameLine = NameLine::BeforeConnect,
    .suffixLine = nullptr,
    .countLine = nullptr,
    .logsSections = false,
    .itemLine = nullptr,
    .comparedLine = "Appoint ID - %1, CRC [%2], new CRC [%3]\n",
    .summary = "AS_CHECK_APPOINTS: col_AddAppoints %1, col_DelAppoints %2, col_EditAppoints %3",
    .logsOk = true,
};
constexpr CheckTraits kTasksCheck = {
    .kind = ItemKind::Tasks,
    .hasDateWindow = true,
    .nameLine = NameLine::BeforeConnect,
    .suffixLine = nullptr,
    .countLine = nullptr,
    .logsSections = false,
    .itemLine = nullptr,
    .comparedLine = nullptr,
    .summary = "AS_CHECK_TASKS: col_AddTasks %1, col_DelTasks %2, col_EditTasks %3",
    .logsOk = false,
};
constexpr CheckTraits kNotesCheck = {
    .kind = ItemKind::Notes,
    .hasDateWindow = false,
    .nameLine = NameLine::None,
    .suffixLine = "AS_CHECK_NOTES - ",
    .countLine = nullptr,
    .logsSections = false,
    .itemLine = nullptr,
    .comparedLine = nullptr,
    .summary = "AS_CHECK_NOTES: col_AddNotes %1, col_DelNotes %2, col_EditNotes %3",
    .logsOk = true,
};

// Fails before anything changes when the text cannot end the notes state file's name.
void RequireUsableNotesSuffix(const Agent& agent, const QString& suffix)
{
    (void)StateFilePath(StateFileKind::Notes, agent.machineId, suffix);
}

void CheckItems(RequestContext& ctx, const CheckTraits& traits)
{
    Agent& agent = ctx.agent;
    LogFile& log = agent.log;
    const ItemKind kind = traits.kind;
    const QString name = QString::fromUtf8(ctx.info.name);

    // Weeks back and ahead; a peer that leaves them out asks for a window of 0 and 0.
    std::int16_t weeksBack = -1;
    std::int16_t weeksAhead = -1;
    if (traits.hasDateWindow) {
        const QByteArray window = ctx.PayloadPadded(4);
        ByteReader r(window);
        weeksBack = static_cast<std::int16_t>(r.U16());
        weeksAhead = static_cast<std::int16_t>(r.U16());
    }
    QString newSuffix;
    if (traits.suffixLine) {
        newSuffix = ctx.PayloadText();
        RequireUsableNotesSuffix(agent, newSuffix);
    }

    // Preparation: connect and prepare the source, and reload the saved state.
    const ChosenSource selected = ChosenSourceOf(agent, kind);
    COutlook* store = selected.store;
    if (traits.nameLine == NameLine::BeforeConnect) log.WriteLogLine(name);
    if (store) {
        try {
            store->Connect();
        } catch (const SourceUnreachable& e) {
            log.WriteLogLine(name + e.CheckStep() + QStringLiteral("...error"));
            ctx.ReplyError();
            return;
        }
    }
    if (traits.nameLine == NameLine::AfterConnect) log.WriteLogLine(name);
    if (traits.suffixLine) log.WriteLogLine(QString::fromUtf8(traits.suffixLine) + newSuffix);
    if (store) store->BeforeCheck(agent.machineId);
    if (traits.suffixLine) agent.items.notesSuffix = newSuffix;
    // Always compare with the saved state: list changes that no save wrote are dropped here.
    LoadStateList(agent, kind);

    if (selected.Condition() == SourceCondition::Unusable) FailUnusableSource(agent, selected);

    QStringList ids;
    if (store) store->GetIDs(ids);
    if (traits.countLine) log.WriteLogLine(QString::fromUtf8(traits.countLine).arg(ids.size()));

    ChangeCheckSteps steps;
    steps.checksum = [store](const QString& id) { return store->IDtoCRC32(id); };
    if (store && traits.hasDateWindow && !(weeksBack == -1 && weeksAhead == -1))
        steps.admitsNew = [=](const QString& id) { return store->IsInDateWindow(id, weeksBack, weeksAhead); };
    if (const char* line = traits.comparedLine)
        steps.compared = [&log, line](const QString& id, std::uint32_t saved, std::uint32_t current) {
            log.WriteLogLine(
                QString::fromUtf8(line).arg(id, QString::number(static_cast<std::int32_t>(saved)),
                                            QString::number(static_cast<std::int32_t>(current))));
        };
    if (traits.logsSections)
        steps.sectionStarts = [&log](const char* section) { log.WriteLogLine(QString::fromLatin1(section)); };
    if (const char* prefix = traits.itemLine) {
        const auto itemLine = [&log, prefix](const QString& id) {
            log.WriteLogLine(QString::fromUtf8(prefix) + id);
        };
        steps.edited = itemLine;
        steps.added = itemLine;
        steps.deleted = itemLine;
    }

    const ChangeReport report = RunChangeCheck(StateListOf(agent, kind), ids, steps);
    if (store) store->AfterCheck(report.deleted);
    log.WriteLogLine(QString::fromLatin1(traits.summary)
                         .arg(QString::number(report.added.size()), QString::number(report.deleted.size()),
                              QString::number(report.edited.size())));
    QByteArray payload;
    try {
        payload = report.Encode();
    } catch (const AgentError&) {
        // The peer hears of none of these changes, so the list must not remember them either:
        // back to the saved state.
        LoadStateList(agent, kind);
        throw;
    }
    const bool oneMessage = static_cast<std::size_t>(payload.size()) <= kMaxPayloadBytes;
    ctx.Reply(std::move(payload));
    if (oneMessage && traits.logsOk) log.WriteLogLine(name + QStringLiteral("...ok"));
}

void LoadState(RequestContext& ctx, ItemKind kind)
{
    if (COutlook* store = SelectedStore(ctx.agent, kind)) store->AtStateLoad(ctx.agent.machineId);
    LoadStateList(ctx.agent, kind);
    ctx.Reply();
}

void SaveState(RequestContext& ctx, ItemKind kind)
{
    // The state describes the files: what the store holds in memory is written first, and a
    // commit that fails leaves the old state in place.
    const QStringList unwritten = CommitBeforeStateSave(SelectedStore(ctx.agent, kind), &StateListOf(ctx.agent, kind));
    SaveStateList(ctx.agent, kind);
    FailAfterPartialCommit(unwritten);
    ctx.Reply();
}

void DropStateEntry(RequestContext& ctx, ItemKind kind)
{
    StateListOf(ctx.agent, kind).Remove(ctx.PayloadText());
    ctx.Reply();
}

// The kinds as AS_RESET_STATE numbers them.
enum ResetKind : std::uint16_t {
    kResetAppointments = 0,
    kResetContacts = 1,
    kResetTasks = 2,
    kResetNotes = 3,
    kResetBookmarks = 4
};

void ResetState(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    const QByteArray head = ctx.PayloadPadded(2);
    const std::uint16_t resetKind = ByteReader(head).U16();
    QString suffix;
    if (ctx.payload.size() > 2) suffix = ByteReader(ctx.payload.subspan(2)).ZeroTerminatedUtf16();
    RequireUsableNotesSuffix(agent, suffix);
    agent.items.notesSuffix = suffix;

    const auto reset = [&](ItemKind kind) {
        StateListOf(agent, kind).Clear();
        SaveStateList(agent, kind);
    };
    switch (resetKind) {
        case kResetAppointments:
            reset(ItemKind::Appointments);
            break;
        case kResetContacts:
            reset(ItemKind::Contacts);
            break;
        case kResetTasks:
            reset(ItemKind::Tasks);
            break;
        case kResetNotes:
            reset(ItemKind::Notes);
            break;
        case kResetBookmarks:
            // The bookmark state file named with this request's text; the kept bookmark suffix stays.
            agent.bookmarks->ResetState(agent.browserId, agent.machineId, suffix);
            break;
        default:
            break;
    }
    ctx.Reply();
}

}  // namespace

void RegisterItemStateHandlers(Dispatcher& d)
{
    d.SetHandler(AS_CHECK_CONTACTS, [](RequestContext& ctx) { CheckItems(ctx, kContactsCheck); });
    d.SetHandler(AS_CHECK_APPOINTS, [](RequestContext& ctx) { CheckItems(ctx, kAppointmentsCheck); });
    d.SetHandler(AS_CHECK_TASKS, [](RequestContext& ctx) { CheckItems(ctx, kTasksCheck); });
    d.SetHandler(AS_CHECK_NOTES, [](RequestContext& ctx) { CheckItems(ctx, kNotesCheck); });

    d.SetHandler(AS_LOAD_CONTACTS_STATE, [](RequestContext& ctx) { LoadState(ctx, ItemKind::Contacts); });
    d.SetHandler(AS_LOAD_APPOINTS_STATE, [](RequestContext& ctx) { LoadState(ctx, ItemKind::Appointments); });
    d.SetHandler(AS_LOAD_TASKS_STATE, [](RequestContext& ctx) { LoadState(ctx, ItemKind::Tasks); });
    d.SetHandler(AS_LOAD_NOTES_STATE, [](RequestContext& ctx) { LoadState(ctx, ItemKind::Notes); });

    d.SetHandler(AS_SAVE_CONTACTS_STATE, [](RequestContext& ctx) { SaveState(ctx, ItemKind::Contacts); });
    d.SetHandler(AS_SAVE_APPOINTS_STATE, [](RequestContext& ctx) { SaveState(ctx, ItemKind::Appointments); });
    d.SetHandler(AS_SAVE_TASKS_STATE, [](RequestContext& ctx) { SaveState(ctx, ItemKind::Tasks); });
    d.SetHandler(AS_SAVE_NOTES_STATE, [](RequestContext& ctx) { SaveState(ctx, ItemKind::Notes); });

    d.SetHandler(AS_DEL_CONTACT_STATE, [](RequestContext& ctx) { DropStateEntry(ctx, ItemKind::Contacts); });
    d.SetHandler(AS_DEL_APPOINT_STATE,
                 [](RequestContext& ctx) { DropStateEntry(ctx, ItemKind::Appointments); });
    d.SetHandler(AS_DEL_TASK_STATE, [](RequestContext& ctx) { DropStateEntry(ctx, ItemKind::Tasks); });
    d.SetHandler(AS_DEL_NOTE_STATE, [](RequestContext& ctx) { DropStateEntry(ctx, ItemKind::Notes); });

    d.SetHandler(AS_RESET_STATE, ResetState);
}

// Reading, writing, adding and deleting single items, and emptying a whole source, for the four
// item kinds. Each request keeps its kind's state list in step with what it changed, so that the
// following save records it.
#include <algorithm>

#include "common/errors.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/item_kinds.h"
#include "dispatch/item_record_codec.h"
#include "dispatch/request_context.h"
#include "stores/catalog/store_set.h"
#include "wire/agent_host.h"
#include "wire/message_header.h"

namespace {

// Everything in which one kind's five requests differ: mostly log texts, empty where a request
// logs no such line.
struct KindLines {
    ItemKind kind;
    const char* getFirst;  // followed by the identifier
    const char* getOk;
    const char* setFirst;
    bool setLogsId;
    bool setLogsFirstAfterTake;
    const char* setOk;
    const char* addFirst;
    const char* addChecksumLine;  // with %1 the new identifier and %2 its checksum
    const char* addOk;
    const char* delFirst;   // a line of its own, before the identifier line
    const char* delIdLine;  // followed by the identifier
    const char* delOk;
    const char* delAllFirst;
    const char* delAllOk;
    // Whether emptying the source accepts a new peer again at the request's end rather than at the
    // synchronisation's end or the client's close.
    bool delAllAcceptsAtEnd;
};

constexpr KindLines kContacts = {
    .kind = ItemKind::Contacts,
    .getFirst = "AS_GET_CONTACT - ",
    .getOk = "AS_GET_CONTACT...ok",
    .setFirst = "AS_SET_CONTACT",
    .setLogsId = true,
    .setLogsFirstAfterTake = false,
    .setOk = "AS_SET_CONTACT...ok",
    .addFirst = "AS_ADD_CONTACT",
    .addChecksumLine = "Id [%1], crc [%2l]",
    .addOk = "AS_ADD_CONTACT...ok",
    .delFirst = nullptr,
    .delIdLine = "AS_DEL_CONTACT - ",
    .delOk = "AS_DEL_CONTACT...ok",
    .delAllFirst = "AS_DEL_ALL_CONTACTS",
    .delAllOk = "AS_DEL_ALL_CONTACTS...ok",
    .delAllAcceptsAtEnd = true,
};
constexpr KindLines kAppointments = {
    .kind = ItemKind::Appointments,
    .getFirst = "AS_GET_APPOINT - ",
    .getOk = "AS_GET_APPOINT - ok",
    .setFirst = "AS_SET_APPOINT\n",
    .setLogsId = true,
    .setLogsFirstAfterTake = true,
    .setOk = "AS_SET_APPOINT...ok\n",
    .addFirst = "AS_ADD_APPOINT",
    .addChecksumLine = nullptr,
    .addOk = "AS_ADD_APPOINT...ok",
    .delFirst = nullptr,
    .delIdLine = "AS_DEL_APPOINT - ",
    .delOk = "AS_DEL_APPOINT - ok",
    .delAllFirst = "AS_DEL_ALL_APPOINTS",
    .delAllOk = "AS_DEL_ALL_APPOINTS - ok",
    .delAllAcceptsAtEnd = false,
};
constexpr KindLines kTasks = {
    .kind = ItemKind::Tasks,
    .getFirst = nullptr,
    .getOk = "AS_GET_TASK - ok",
    .setFirst = "AS_SET_TASK\n",
    .setLogsId = true,
    .setLogsFirstAfterTake = true,
    .setOk = "AS_SET_TASK...ok\n",
    .addFirst = "AS_ADD_TASK",
    .addChecksumLine = nullptr,
    .addOk = "AS_ADD_TASK...ok",
    .delFirst = "AS_DEL_TASK",
    .delIdLine = "AS_DEL_TASK - ",
    .delOk = "AS_DEL_TASK - ok",
    .delAllFirst = "AS_DEL_ALL_TASKS",
    .delAllOk = "AS_DEL_ALL_TASKS - ok",
    .delAllAcceptsAtEnd = false,
};
constexpr KindLines kNotes = {
    .kind = ItemKind::Notes,
    .getFirst = "AS_GET_NOTE - ",
    .getOk = "AS_GET_NOTE - ok",
    .setFirst = "AS_SET_NOTE",
    .setLogsId = false,
    .setLogsFirstAfterTake = false,
    .setOk = "AS_SET_NOTE - ok",
    .addFirst = "AS_ADD_NOTE",
    .addChecksumLine = nullptr,
    .addOk = "AS_ADD_NOTE - ok",
    .delFirst = nullptr,
    .delIdLine = "AS_DEL_NOTE - ",
    .delOk = "AS_DEL_NOTE...ok",
    .delAllFirst = "AS_DEL_ALL_NOTES",
    .delAllOk = nullptr,
    .delAllAcceptsAtEnd = false,
};

void Log(RequestContext& ctx, const char* line)
{
    if (line) ctx.agent.log.WriteLogLine(QString::fromUtf8(line));
}

void Log(RequestContext& ctx, const char* prefix, const QString& id)
{
    if (prefix) ctx.agent.log.WriteLogLine(QString::fromUtf8(prefix) + id);
}

void GetItem(RequestContext& ctx, const KindLines& lines)
{
    const QString id = ctx.PayloadText();
    Log(ctx, lines.getFirst, id);
    ItemRecord& record = ctx.LoggedRecord();
    COutlook* store = SelectedStore(ctx.agent, lines.kind);
    QByteArray blob;
    if (store) {
        store->Get(id, record);
        blob = EncodeItemRecord(id, record);
    }
    const bool oneMessage = static_cast<std::size_t>(blob.size()) <= kMaxPayloadBytes;
    ctx.Reply(std::move(blob));
    if (oneMessage) Log(ctx, lines.getOk);
}

void SetItem(RequestContext& ctx, const KindLines& lines)
{
    if (!lines.setLogsFirstAfterTake) Log(ctx, lines.setFirst);
    const QByteArray blob = ctx.TakeConsumingPayload();
    if (lines.setLogsFirstAfterTake) Log(ctx, lines.setFirst);
    ItemRecord& record = ctx.LoggedRecord();
    if (COutlook* store = SelectedStore(ctx.agent, lines.kind)) {
        QString id;
        DecodeItemRecord(AsBytes(blob), true, record, &id);
        if (lines.setLogsId) ctx.agent.log.WriteLogLine(id);
        store->Edit(record, id);
        StateList& list = StateListOf(ctx.agent, lines.kind);
        const auto& entries = list.Entries();
        if (std::any_of(entries.begin(), entries.end(), [&](const StateEntry& e) { return e.id == id; }))
            list.SetChecksum(id, store->IDtoCRC32(id));
    }
    ctx.Reply();
    Log(ctx, lines.setOk);
}

void AddItem(RequestContext& ctx, const KindLines& lines)
{
    Log(ctx, lines.addFirst);
    const QByteArray blob = ctx.TakeConsumingPayload();
    ItemRecord& record = ctx.LoggedRecord();
    DecodeItemRecord(AsBytes(blob), false, record);
    COutlook* store = SelectedStore(ctx.agent, lines.kind);
    if (!store) {
        ctx.Reply();
        Log(ctx, lines.addOk);
        return;
    }
    QString id;
    store->Add(record, id);
    std::uint32_t crc = 0;
    try {
        crc = store->IDtoCRC32(id);
    } catch (...) {
        // The peer gets an error and will add the item again: one left behind would come back
        // from the next check as new, and the retry would make it twice.
        try {
            store->Delete(id);
        } catch (const std::exception& e) {
            ctx.agent.log.WriteLogLine(
                QStringLiteral("%1: the new item %2 could not be removed again: %3")
                    .arg(QString::fromUtf8(lines.addFirst), id, QString::fromUtf8(e.what())));
        } catch (...) {
            ctx.agent.log.WriteLogLine(QStringLiteral("%1: the new item %2 could not be removed again")
                                           .arg(QString::fromUtf8(lines.addFirst), id));
        }
        throw;
    }
    if (lines.addChecksumLine)
        ctx.agent.log.WriteLogLine(QString::fromUtf8(lines.addChecksumLine).arg(id, QString::number(crc)));
    StateListOf(ctx.agent, lines.kind).Append(id, crc);
    ctx.Reply(utf16::Bytes(id));
    Log(ctx, lines.addOk);
}

void DeleteItem(RequestContext& ctx, const KindLines& lines)
{
    const QString id = ctx.PayloadText();
    Log(ctx, lines.delFirst);
    Log(ctx, lines.delIdLine, id);
    if (COutlook* store = SelectedStore(ctx.agent, lines.kind)) store->Delete(id);
    StateListOf(ctx.agent, lines.kind).Remove(id);
    ctx.Reply();
    Log(ctx, lines.delOk);
}

// Empties the chosen source; false when there was nothing to empty.
bool EmptySource(Agent& agent, const ChosenSource& source)
{
    COutlook* store = source.store;
    if (store) store->Connect();
    // A source whose program is not here has nothing to empty.
    const SourceCondition condition = source.Condition();
    if (condition == SourceCondition::Absent) return false;
    if (condition == SourceCondition::Unusable) FailUnusableSource(agent, source);
    if (!store) return false;
    store->BeforeEmpty(agent.machineId);
    store->DeleteAll();
    return true;
}

void DeleteAllItems(RequestContext& ctx, const KindLines& lines)
{
    Agent& agent = ctx.agent;
    // No new peer may take over while a source is being emptied.
    AcceptPause pause(agent.host());
    if (!lines.delAllAcceptsAtEnd) pause.KeepPaused();
    const ChosenSource source = ChosenSourceOf(agent, lines.kind);
    bool emptied = false;
    try {
        Log(ctx, lines.delAllFirst);
        emptied = EmptySource(agent, source);
        // The store's own end of the delete-all (a write-back) belongs to the request.
        if (source.store) source.store->AfterEmpty(emptied);
        StateListOf(agent, lines.kind).Clear();
        ctx.Reply();
        Log(ctx, lines.delAllOk);
    } catch (...) {
        // The dispatcher logs the failure and answers; the store ends the delete-all first all
        // the same (nothing it says then can change the answer).
        if (source.store && !emptied) {
            try {
                source.store->AfterEmpty(false);
            } catch (...) {
            }
        }
        throw;
    }
}

void RegisterKind(Dispatcher& d, const KindLines& lines, RequestCode get, RequestCode set, RequestCode add,
                  RequestCode del, RequestCode delAll)
{
    const KindLines* l = &lines;
    d.SetHandler(get, [l](RequestContext& ctx) { GetItem(ctx, *l); });
    d.SetHandler(set, [l](RequestContext& ctx) { SetItem(ctx, *l); });
    d.SetHandler(add, [l](RequestContext& ctx) { AddItem(ctx, *l); });
    d.SetHandler(del, [l](RequestContext& ctx) { DeleteItem(ctx, *l); });
    d.SetHandler(delAll, [l](RequestContext& ctx) { DeleteAllItems(ctx, *l); });
}

}  // namespace

void RegisterItemHandlers(Dispatcher& d)
{
    RegisterKind(d, kContacts, AS_GET_CONTACT, AS_SET_CONTACT, AS_ADD_CONTACT, AS_DEL_CONTACT,
                 AS_DEL_ALL_CONTACTS);
    RegisterKind(d, kAppointments, AS_GET_APPOINT, AS_SET_APPOINT, AS_ADD_APPOINT, AS_DEL_APPOINT,
                 AS_DEL_ALL_APPOINTS);
    RegisterKind(d, kTasks, AS_GET_TASK, AS_SET_TASK, AS_ADD_TASK, AS_DEL_TASK, AS_DEL_ALL_TASKS);
    RegisterKind(d, kNotes, AS_GET_NOTE, AS_SET_NOTE, AS_ADD_NOTE, AS_DEL_NOTE, AS_DEL_ALL_NOTES);
}

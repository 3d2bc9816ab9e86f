#include "support/fake_item_store.h"

#include "common/crc32.h"
#include "common/errors.h"
#include "common/item_id.h"

QString FakeItemStore::Put(const ItemRecord& record)
{
    const QString id = NewItemId();
    Put(id, record);
    return id;
}

void FakeItemStore::Put(const QString& id, const ItemRecord& record)
{
    if (!items_.contains(id)) order_.append(id);
    items_.insert(id, record);
}

void FakeItemStore::Erase(const QString& id)
{
    items_.remove(id);
    order_.removeAll(id);
}

std::uint32_t FakeItemStore::ChecksumOf(const ItemRecord& record)
{
    QString text;
    for (int i = 0; i < record.FieldCount(); ++i) {
        const ItemValue& v = record.values[static_cast<std::size_t>(i)];
        text += record.names[i] + QLatin1Char('=') +
                (IsIntegerValue(v) ? QString::number(std::get<std::int32_t>(v)) : std::get<QString>(v)) +
                QLatin1Char('\n');
    }
    return Crc32OfUtf16(text);
}

void FakeItemStore::FailOn(const QString& op, const QString& id)
{
    failures_.insert(op, id);
}

void FakeItemStore::Call(const QString& op, const QString& id)
{
    calls.append(id.isEmpty() ? op : op + QLatin1Char(' ') + id);
    if (journal) journal->append(calls.last());
    const auto it = failures_.constFind(op);
    if (it != failures_.cend() && (it->isEmpty() || *it == id))
        throw AgentError((op + QStringLiteral(" failed")).toStdString());
}

void FakeItemStore::Require(const QString& id) const
{
    if (!items_.contains(id)) throw AgentError("no item " + id.toStdString());
}

void FakeItemStore::Add(ItemRecord& record, QString& id)
{
    Call(QStringLiteral("Add"));
    lastWritten = record;
    id = Put(record);
    if (stands_ == FakeStands::WindowsCalendar) LoadCalendarIndex();
}

void FakeItemStore::Edit(ItemRecord& record, const QString& id)
{
    Call(QStringLiteral("Edit"), id);
    Require(id);
    lastWritten = record;
    items_.insert(id, record);
}

void FakeItemStore::Delete(const QString& id)
{
    Call(QStringLiteral("Delete"), id);
    Require(id);
    Erase(id);
    if (stands_ == FakeStands::WindowsCalendar) LoadCalendarIndex();
}

void FakeItemStore::DeleteAll()
{
    Call(QStringLiteral("DeleteAll"));
    items_.clear();
    order_.clear();
}

void FakeItemStore::Get(const QString& id, ItemRecord& record)
{
    // Fills the record before failing, as a store that fails half-way through a read does.
    record = items_.value(id);
    Call(QStringLiteral("Get"), id);
    Require(id);
}

void FakeItemStore::GetIDs(QStringList& ids)
{
    Call(QStringLiteral("GetIDs"));
    ids.append(order_);
}

std::uint32_t FakeItemStore::IDtoCRC32(const QString& id)
{
    Call(QStringLiteral("IDtoCRC32"), id);
    Require(id);
    return ChecksumOf(items_.value(id));
}

QString FakeItemStore::GetCalendarNames()
{
    Call(QStringLiteral("GetCalendarNames"));
    return calendarNames;
}

bool FakeItemStore::IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead)
{
    if (!datedItems_) return true;
    Call(QStringLiteral("IsInDateWindow"), QStringLiteral("%1 %2 %3").arg(id).arg(weeksBack).arg(weeksAhead));
    return !outOfWindow.contains(id);
}

QString FakeItemStore::GetGroupNames()
{
    Call(QStringLiteral("GetGroupNames"));
    return groupNames;
}

void FakeItemStore::PrepareToCheck()
{
    switch (stands_) {
        case FakeStands::WindowsContacts:
            CreateContactsFolder();
            Load();
            break;
        case FakeStands::WindowsCalendar:
            CreateCalendarFolders();
            LoadCalendarIndex();
            break;
        default:
            Open();
            break;
    }
}

void FakeItemStore::Connect()
{
    const bool outlook = stands_ == FakeStands::Outlook || stands_ == FakeStands::OutlookMapped;
    if (outlook) moments << QStringLiteral("Connect");
    if (outlook && failures_.contains(QStringLiteral("Connect")))
        throw SourceUnreachable("Outlook could not be started", QStringLiteral("(=OfficeInit()=)"));
}

void FakeItemStore::BeforeCheck(const QString& peerId)
{
    if (Mapped()) OpenIdMap(peerId);
    if (stands_ == FakeStands::AddressBook || stands_ == FakeStands::WindowsContacts ||
        stands_ == FakeStands::WindowsCalendar)
        PrepareToCheck();
}

void FakeItemStore::AfterCheck(const QStringList& goneIds)
{
    if (Mapped())
        for (const QString& id : goneIds) RemoveIdMapping(id);
}

void FakeItemStore::BeforeEmpty(const QString& peerId)
{
    if (Mapped()) SetIdMapName(peerId);
    if (stands_ == FakeStands::WindowsContacts) Load();
    if (stands_ == FakeStands::WindowsCalendar) LoadCalendarIndex();
}

void FakeItemStore::AfterEmpty(bool emptied)
{
    if (stands_ == FakeStands::Outlook || stands_ == FakeStands::OutlookMapped)
        moments << (emptied ? QStringLiteral("AfterEmpty emptied") : QStringLiteral("AfterEmpty not emptied"));
    if (emptied && stands_ == FakeStands::WindowsContacts) Unload();
}

void FakeItemStore::AtStateLoad(const QString& peerId)
{
    if (Mapped()) OpenIdMap(peerId);
    if (stands_ == FakeStands::WindowsContacts) ClearRecords();
}

CommitOutcome FakeItemStore::AtStateSave()
{
    if (Mapped()) SaveIdMap();
    // Windows Contacts' commit before the state is saved is its Unload; the fake holds nothing
    // between requests.
    if (stands_ == FakeStands::WindowsContacts) Unload();
    return {};
}

bool FakeItemStore::AtSyncStart()
{
    if (stands_ != FakeStands::Session) return false;
    Open();
    return true;
}

void FakeItemStore::AtSyncEnd()
{
    if (stands_ == FakeStands::Session) Close();
}

// The address book's disconnection is its Close.
void FakeItemStore::AtRelease()
{
    if (stands_ == FakeStands::AddressBook) Close();
}

void FakeItemStore::AtDeparture()
{
    if (stands_ == FakeStands::WindowsContacts) ClearRecords();
}

QString FakeItemStore::CategoryNames()
{
    if (stands_ == FakeStands::AddressBook || stands_ == FakeStands::WindowsContacts) return GetGroupNames();
    if (stands_ == FakeStands::WindowsCalendar) return GetCalendarNames();
    // An Outlook contacts store answers its version's names, here without a recorded call.
    if (stands_ == FakeStands::Outlook || stands_ == FakeStands::OutlookMapped) return groupNames;
    return {};
}

std::unique_ptr<FakeItemStore> MakeFakeStoreFor(ItemKind kind, std::uint32_t code)
{
    const bool outlook = code == 8 || code == 9 || code == 11 || code == 12 || code == 14;
    const bool mapped = code == 12 || code == 14;
    const FakeStands outlookStands = mapped ? FakeStands::OutlookMapped : FakeStands::Outlook;
    switch (kind) {
        case ItemKind::Contacts:
            if (code == 0) return std::make_unique<FakeItemStore>(FakeStands::AddressBook);
            if (code == 1 || code == 2) return std::make_unique<FakeItemStore>(FakeStands::WindowsContacts);
            if (code == 7) return std::make_unique<FakeItemStore>(FakeStands::Session);
            if (outlook) return std::make_unique<FakeItemStore>(outlookStands);
            break;
        case ItemKind::Appointments:
            if (code == 1) return std::make_unique<FakeItemStore>(FakeStands::WindowsCalendar, true);
            [[fallthrough]];
        case ItemKind::Tasks:
            if (outlook) return std::make_unique<FakeItemStore>(outlookStands, true);
            break;
        case ItemKind::Notes:
            if (code == 0x4000 || code == 0x10000) return std::make_unique<FakeItemStore>(FakeStands::Session);
            if (code == 32 || code == 64) return std::make_unique<FakeItemStore>(FakeStands::OutlookMapped);
            if (code == 4 || code == 8 || code == 16) return std::make_unique<FakeItemStore>(FakeStands::Outlook);
            break;
    }
    return std::make_unique<FakeItemStore>();
}

#include "stores/outlook/outlook_store_frame.h"

#include "common/clock.h"
#include "common/errors.h"
#include "stores/outlook/date_window.h"
#include "stores/outlook/outlook_categories.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

int DefaultFolderOf(OutlookKind kind)
{
    switch (kind) {
        case OutlookKind::Contacts:
            return outlook::kFolderContacts;
        case OutlookKind::Appointments:
            return outlook::kFolderCalendar;
        case OutlookKind::Tasks:
            return outlook::kFolderTasks;
        case OutlookKind::Notes:
            return outlook::kFolderNotes;
    }
    return 0;
}

}  // namespace

const char* OutlookKindName(OutlookKind kind)
{
    switch (kind) {
        case OutlookKind::Contacts:
            return "contacts";
        case OutlookKind::Appointments:
            return "appointments";
        case OutlookKind::Tasks:
            return "tasks";
        case OutlookKind::Notes:
            return "notes";
    }
    return "";
}

OutlookStoreFrame::OutlookStoreFrame(OutlookKind kind, int version) : kind_(kind), version_(version)
{
    if (version >= 12) idMap_.emplace();
}

QString OutlookStoreFrame::InitFailureMessage() const
{
    if (kind_ == OutlookKind::Tasks) return QStringLiteral("Initialination outlook Error");
    if (kind_ == OutlookKind::Notes && version_ < 12) return QStringLiteral("'Outlook11' Init false");
    return QStringLiteral("'CContact::Add' Init false");
}

void OutlookStoreFrame::Init()
{
    ReleaseOutlook();
    if (!application_.CreateDispatch(QStringLiteral("Outlook.Application"))) {
        if (messageHook_) messageHook_(InitFailureMessage());
        throw AgentError("error");
    }
    nameSpace_ = GetMAPINamespace(application_);
    folder_ = nameSpace_.CallObject(outlook::kGetDefaultFolder, {VariantValue::I4(DefaultFolderOf(kind_))});
    if (folder_.IsEmpty())
        throw AgentError(std::string("Outlook has no default folder of ") + OutlookKindName(kind_));
    if (IsMapped()) {
        // The flag describes the profile Outlook runs now: a profile without Exchange after one
        // with it must not keep translating identifiers through pairs that no longer apply.
        exchangeFlag_ = false;
        DispatchDriver stores = nameSpace_.GetObject(outlook::kStores);
        for (std::int32_t i = 1; i <= GetCollectionCount(stores); ++i) {
            DispatchDriver store = GetCollectionItem(i, stores);
            // An empty answer is no store: read through it, its type would be 0, a primary
            // Exchange mailbox. One such member must not stop every Outlook source either.
            if (store.IsEmpty()) continue;
            if (store.GetI4(outlook::kExchangeStoreType) == outlook::kPrimaryExchangeMailbox) exchangeFlag_ = true;
        }
    }
    connected_ = true;
}

void OutlookStoreFrame::ReleaseOutlook()
{
    connected_ = false;
    pattern_.ReleaseDispatch();
    currentItem_.ReleaseDispatch();
    folderItems_.ReleaseDispatch();
    folder_.ReleaseDispatch();
    nameSpace_.ReleaseDispatch();
    application_.ReleaseDispatch();
}

void OutlookStoreFrame::RequireConnected(const char* operation) const
{
    if (connected_) return;
    throw AgentError("Outlook " + std::to_string(version_) + " " + OutlookKindName(kind_) + ": " + operation +
                     " needs a connection to Outlook " + std::to_string(version_) +
                     ", which is not open (another version, or none, was started)");
}

QString OutlookStoreFrame::EntryIdOf(const QString& id) const
{
    if (!IsMapped() || !exchangeFlag_) return id;
    return idMap_->Find140(id).value_or(id);
}

const DispatchDriver& OutlookStoreFrame::FindItem(const QString& id)
{
    const VariantValue storeId = VariantValue::Text(GetFolderStoreID(folder_));
    currentItem_ = nameSpace_.CallObject(outlook::kGetItemFromID, {VariantValue::Text(EntryIdOf(id)), storeId});
    if (currentItem_.IsEmpty()) throw AgentError("Outlook has no item " + id.toStdString());
    // Outlook finds an identifier in any folder of the store: a contact's identifier sent with an
    // appointment request reaches the contact. Nothing of another kind may be read, changed or
    // deleted through this store.
    const std::int32_t itemClass = currentItem_.GetI4(outlook::kClass);
    if (itemClass != OwnClass()) {
        currentItem_.ReleaseDispatch();
        throw AgentError("Outlook item " + id.toStdString() + " is of class " + std::to_string(itemClass) +
                         ", not one of the " + OutlookKindName(kind_) + " (class " + std::to_string(OwnClass()) +
                         ")");
    }
    return currentItem_;
}

int OutlookStoreFrame::OwnClass() const
{
    switch (kind_) {
        case OutlookKind::Contacts:
            return outlook::kClassContact;
        case OutlookKind::Appointments:
            return outlook::kClassAppointment;
        case OutlookKind::Tasks:
            return outlook::kClassTask;
        case OutlookKind::Notes:
            return outlook::kClassNote;
    }
    return 0;
}

DispatchDriver OutlookStoreFrame::RecurrencePatternOf(const DispatchDriver& item) const
{
    DispatchDriver pattern = item.CallObject(outlook::kGetRecurrencePattern);
    // Puts through an empty pattern would do nothing and its reads answer 0: an appointment
    // saved without its recurrence, a task's end read as 1899.
    if (pattern.IsEmpty())
        throw AgentError(std::string("Outlook gave no recurrence pattern for the ") + OutlookKindName(kind_) +
                         " item " + GetItemEntryID(item).toStdString());
    return pattern;
}

const DispatchDriver& OutlookStoreFrame::CreateNewItem(int itemType)
{
    currentItem_ = application_.CallObject(outlook::kCreateItem, {VariantValue::I4(itemType)});
    if (currentItem_.IsEmpty())
        throw AgentError(std::string("Outlook created no new item of ") + OutlookKindName(kind_));
    return currentItem_;
}

QString OutlookStoreFrame::SaveNewItem()
{
    currentItem_.CallMethod(outlook::kSave);
    try {
        const QString entryId = GetItemEntryID(currentItem_);
        if (entryId.isEmpty()) throw AgentError("Outlook gave the saved item no entry identifier");
        return IsMapped() && exchangeFlag_ ? idMap_->Add(entryId) : entryId;
    } catch (const std::exception& e) {
        std::string failure = e.what();
        try {
            currentItem_.CallMethod(outlook::kDelete);
        } catch (const std::exception& d) {
            failure += std::string("; the new item could not be deleted again: ") + d.what();
        } catch (...) {
            failure += "; the new item could not be deleted again";
        }
        throw AgentError(failure);
    }
}

DispatchDriver OutlookStoreFrame::FolderItems() const
{
    DispatchDriver items = folder_.GetObject(outlook::kItems);
    // Counted through an empty collection the folder would look empty, and a check would report
    // every item deleted.
    if (items.IsEmpty())
        throw AgentError(std::string("Outlook gave no item collection for the folder of ") + OutlookKindName(kind_));
    return items;
}

bool OutlookStoreFrame::IsOwnItem(const DispatchDriver& item) const
{
    return kind_ != OutlookKind::Contacts || item.GetI4(outlook::kClass) == outlook::kClassContact;
}

void OutlookStoreFrame::Delete(const QString& id)
{
    RequireConnected("Delete");
    FindItem(id).CallMethod(outlook::kDelete);
    // The pair goes only once Outlook no longer has the item: a refused delete keeps the item,
    // and the peer still needs its identifier for it.
    if (IsMapped() && exchangeFlag_) idMap_->Remove(id);
}

void OutlookStoreFrame::DeleteAll()
{
    RequireConnected("DeleteAll");
    folderItems_ = FolderItems();
    const std::int32_t count = GetCollectionCount(folderItems_);
    // From the last index down, so the indexes still to come stay valid while the folder shrinks.
    for (std::int32_t i = count; i >= 1; --i) {
        currentItem_ = GetCollectionItem(i, folderItems_);
        if (currentItem_.IsEmpty() || !IsOwnItem(currentItem_)) continue;
        if (!DeleteAllIsGuarded()) {
            currentItem_.CallMethod(outlook::kDelete);
            continue;
        }
        try {
            currentItem_.CallMethod(outlook::kDelete);
        } catch (...) {
            // This version keeps an item Outlook refuses to delete and empties the rest.
            currentItem_.ReleaseDispatch();
        }
    }
    if (IsMapped() && exchangeFlag_) EmptyIdMapAfterDeleteAll();
}

void OutlookStoreFrame::EmptyIdMapAfterDeleteAll()
{
    idMap_->Load(MapKind(), idMapName_);
    idMap_->ClearPairs();
    idMap_->Save();
}

void OutlookStoreFrame::GetIDs(QStringList& ids)
{
    RequireConnected("GetIDs");
    folderItems_ = FolderItems();
    // Every failure ends the listing: an item left out would read as deleted to the peer.
    for (std::int32_t i = 1; i <= GetCollectionCount(folderItems_); ++i) {
        currentItem_ = GetCollectionItem(i, folderItems_);
        if (currentItem_.IsEmpty()) throw AgentError("Outlook gave no item at index " + std::to_string(i));
        if (!IsOwnItem(currentItem_)) continue;
        ids.append(GetItemEntryID(currentItem_));
    }
    if (IsMapped() && exchangeFlag_) idMap_->ConvertIDs(ids);
}

bool OutlookStoreFrame::AppointmentIsInDateWindow(const QString& id, std::int16_t weeksBack,
                                                  std::int16_t weeksAhead)
{
    RequireConnected("IsInDateWindow");
    const DispatchDriver& item = FindItem(id);
    const DateWindow window = MakeDateWindow(LocalNowOleDate(), weeksBack, weeksAhead);
    const double start = item.GetDate(outlook::kStart);
    const double end = item.GetDate(outlook::kEnd);
    const bool recurring = item.GetBool(outlook::kAppointmentIsRecurring) != 0;
    return AppointmentInWindow(window, start, end, recurring);
}

bool OutlookStoreFrame::TaskIsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead)
{
    RequireConnected("IsInDateWindow");
    const DispatchDriver& item = FindItem(id);
    const DateWindow window = MakeDateWindow(LocalNowOleDate(), weeksBack, weeksAhead);
    const double start = item.GetDate(outlook::kStartDate);
    double end = item.GetDate(outlook::kDateCompleted);
    if (item.GetBool(outlook::kTaskIsRecurring) != 0) {
        pattern_ = RecurrencePatternOf(item);
        end = pattern_.GetDate(outlook::kPatternEndDate);
    }
    return TaskInWindow(window, start, end);
}

void OutlookStoreFrame::Add(ItemRecord&, QString&)
{
    throw AgentError(std::string("adding Outlook ") + OutlookKindName(kind_) + " is not available yet");
}

void OutlookStoreFrame::Edit(ItemRecord&, const QString&)
{
    throw AgentError(std::string("changing Outlook ") + OutlookKindName(kind_) + " is not available yet");
}

void OutlookStoreFrame::Get(const QString&, ItemRecord&)
{
    throw AgentError(std::string("reading Outlook ") + OutlookKindName(kind_) + " is not available yet");
}

std::uint32_t OutlookStoreFrame::IDtoCRC32(const QString&)
{
    throw AgentError(std::string("checksums of Outlook ") + OutlookKindName(kind_) + " are not available yet");
}

IdMapKind OutlookStoreFrame::MapKind() const
{
    switch (kind_) {
        case OutlookKind::Contacts:
            return IdMapKind::Contacts;
        case OutlookKind::Appointments:
            return IdMapKind::Appointments;
        case OutlookKind::Tasks:
            return IdMapKind::Tasks;
        case OutlookKind::Notes:
            return IdMapKind::Notes;
    }
    return IdMapKind::Contacts;
}

IdMappedOutlookStore::IdMappedOutlookStore(OutlookKind kind, int version) : OutlookStoreFrame(kind, version) {}

void IdMappedOutlookStore::OpenIdMap(const QString& machineId)
{
    idMap_->Load(MapKind(), machineId);
}

void IdMappedOutlookStore::RemoveIdMapping(const QString& id)
{
    idMap_->Remove(id);
}

void IdMappedOutlookStore::SaveIdMap()
{
    idMap_->Save();
}

void IdMappedOutlookStore::AfterCheck(const QStringList& goneIds)
{
    for (const QString& id : goneIds) RemoveIdMapping(id);
}

CommitOutcome IdMappedOutlookStore::AtStateSave()
{
    // A map that cannot be written fails the save: the state must not name items the map
    // cannot lead back to.
    SaveIdMap();
    return {};
}

void OutlookStoreFrame::Connect()
{
    if (connection_ && connection_->OfficeInit()) return;
    // Whatever started before the failure is let go at once.
    if (connection_) connection_->OfficeDestroy();
    throw SourceUnreachable("Outlook could not be started", QStringLiteral("(=OfficeInit()=)"));
}

void OutlookStoreFrame::AfterEmpty(bool)
{
    if (connection_) connection_->OfficeDestroy();
}

QString OutlookStoreFrame::CategoryNames()
{
    if (kind_ != OutlookKind::Contacts) return {};
    if (version_ < 12) return RegistryCategoryNames(version_);
    if (!connection_) throw AgentError("Error");
    QString text;
    for (const QString& name : connection_->CategoryNames()) text += name + QLatin1Char(';');
    return text;
}

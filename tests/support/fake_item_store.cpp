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
    if (dynamic_cast<ContactFolderStore*>(this)) {
        CreateContactsFolder();
        Load();
    } else if (dynamic_cast<CalendarIndexStore*>(this)) {
        CreateCalendarFolders();
        LoadCalendarIndex();
    } else {
        Open();
    }
}

std::unique_ptr<FakeItemStore> MakeFakeStoreFor(ItemKind kind, std::uint32_t code)
{
    const bool outlook = code == 8 || code == 9 || code == 11 || code == 12 || code == 14;
    const bool mapped = code == 12 || code == 14;
    switch (kind) {
        case ItemKind::Contacts:
            if (code == 0) return std::make_unique<FakeStoreWith<PrepareForCheck, ConnectionStore, GroupNamesSource>>();
            if (code == 1 || code == 2)
                return std::make_unique<FakeStoreWith<PrepareForCheck, ContactFolderStore, CommittingStore, GroupNamesSource>>();
            if (code == 7) return std::make_unique<FakeStoreWith<SessionStore>>();
            if (mapped) return std::make_unique<FakeStoreWith<IdMappedStore>>();
            break;
        case ItemKind::Appointments:
            if (code == 1)
                return std::make_unique<FakeStoreWith<PrepareForCheck, CalendarIndexStore, DateWindowStore>>();
            [[fallthrough]];
        case ItemKind::Tasks:
            if (mapped) return std::make_unique<FakeStoreWith<DateWindowStore, IdMappedStore>>();
            if (outlook) return std::make_unique<FakeStoreWith<DateWindowStore>>();
            break;
        case ItemKind::Notes:
            if (code == 0x4000 || code == 0x10000) return std::make_unique<FakeStoreWith<SessionStore>>();
            if (code == 32 || code == 64) return std::make_unique<FakeStoreWith<IdMappedStore>>();
            break;
    }
    return std::make_unique<FakeItemStore>();
}

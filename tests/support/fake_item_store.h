#pragma once
// An in-memory item store for the request tests: it keeps records in insertion order, computes
// checksums from their fields, takes on every store role (so the requests' extra steps can be
// seen), records each call, and can be told to fail any operation.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "common/outlook_store.h"
#include "stores/store_roles.h"

class FakeItemStore : public COutlook,
                      public SessionStore,
                      public ContactFolderStore,
                      public CalendarIndexStore,
                      public DateWindowStore,
                      public IdMappedStore,
                      public GroupNamesSource {
public:
    // Plants an item with a fresh identifier, or under a given one (replacing an item of that id).
    QString Put(const ItemRecord& record);
    void Put(const QString& id, const ItemRecord& record);
    void Erase(const QString& id);
    bool Has(const QString& id) const { return items_.contains(id); }
    ItemRecord Item(const QString& id) const { return items_.value(id); }
    QStringList Ids() const { return order_; }
    // The checksum the store reports for a record.
    static std::uint32_t ChecksumOf(const ItemRecord& record);

    // Makes operation `op` ("Get", "IDtoCRC32", "Open", "Close", "DeleteAll", ...) throw
    // AgentError("<op> failed"), for every identifier or only for `id`.
    void FailOn(const QString& op, const QString& id = {});

    // Every call in order: the operation's name, then " " and the identifier where it has one.
    QStringList calls;
    // Receives the calls too, and outlives the store (for stores the agent destroys).
    QStringList* journal = nullptr;
    // Items that lie outside every date window.
    QSet<QString> outOfWindow;
    // What GetGroupNames and GetCalendarNames answer.
    QString groupNames;
    QString calendarNames;
    // The last record handed to Add or Edit, as the store saw it.
    ItemRecord lastWritten;

    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Delete(const QString& id) override;
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    void Open() override { Call(QStringLiteral("Open")); }
    void Close() override { Call(QStringLiteral("Close")); }
    void CreateContactsFolder() override { Call(QStringLiteral("CreateContactsFolder")); }
    void Load() override { Call(QStringLiteral("Load")); }
    void Unload() override { Call(QStringLiteral("Unload")); }
    void ClearRecords() override { Call(QStringLiteral("ClearRecords")); }
    void CreateCalendarFolders() override { Call(QStringLiteral("CreateCalendarFolders")); }
    void LoadCalendarIndex() override { Call(QStringLiteral("LoadCalendarIndex")); }
    QString GetCalendarNames() override;
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override;
    void OpenIdMap(const QString& machineId) override { Call(QStringLiteral("OpenIdMap"), machineId); }
    void RemoveIdMapping(const QString& id) override { Call(QStringLiteral("RemoveIdMapping"), id); }
    void SaveIdMap() override { Call(QStringLiteral("SaveIdMap")); }
    void SetIdMapName(const QString& machineId) override { Call(QStringLiteral("SetIdMapName"), machineId); }
    QString GetGroupNames() override;

private:
    // Records the call and throws when it is told to fail.
    void Call(const QString& op, const QString& id = {});
    void Require(const QString& id) const;

    QStringList order_;
    QHash<QString, ItemRecord> items_;
    QHash<QString, QString> failures_;  // op -> id ("" for every id)
};

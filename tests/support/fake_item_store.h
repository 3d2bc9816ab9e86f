#pragma once
// An in-memory item store for the request tests: it keeps records in insertion order, computes
// checksums from their fields, records each call, and can be told to fail any operation.
// A fake may stand for the store of one source (FakeStoreFor, MakeFakeStoreFor): it then answers
// the protocol's moments (StoreLifecycle) as that store does, recording the store's own steps by
// their names, so the requests' extra steps can be seen as they happen for that source.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>

#include <memory>

#include "common/outlook_store.h"
#include "stores/base/source_kind.h"

// The store a fake stands for, as far as the moments of a synchronisation go.
enum class FakeStands {
    Nothing,          // no step at any moment
    AddressBook,      // connects at the check (Open), disconnects at every release (Close); groups
    WindowsContacts,  // loads at the check, forgets at a state load and departure, commits (Unload)
    WindowsCalendar,  // indexes at the check and around adds, deletes, delete-alls; date windows
    Session,          // Open at the synchronisation's start, Close at its end (Opera, Sticky Notes)
    Outlook,          // Outlook's start (Connect) and release; date windows for appointments and tasks
    OutlookMapped,    // the same, with the identifier map of versions 12 and 14
};

class FakeItemStore : public COutlook {
public:
    explicit FakeItemStore(FakeStands stands = FakeStands::Nothing, bool datedItems = false)
        : stands_(stands), datedItems_(datedItems)
    {
    }

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
    // The moments an Outlook store answers with Outlook's start and release, in order:
    // "Connect", "AfterEmpty emptied" or "AfterEmpty not emptied".
    QStringList moments;
    // Receives the calls too, and outlives the store (for stores the agent destroys).
    QStringList* journal = nullptr;
    // Items that lie outside every date window.
    QSet<QString> outOfWindow;
    // What GetGroupNames and GetCalendarNames answer (an Outlook store's CategoryNames: groupNames).
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

    // The moments, answered as the store the fake stands for does. Connect records nothing; told
    // to fail ("Connect"), it throws as a program that does not start.
    void Connect() override;
    void BeforeCheck(const QString& peerId) override;
    void AfterCheck(const QStringList& goneIds) override;
    void BeforeEmpty(const QString& peerId) override;
    void AfterEmpty(bool emptied) override;
    void AtStateLoad(const QString& peerId) override;
    CommitOutcome AtStateSave() override;
    bool AtSyncStart() override;
    void AtSyncEnd() override;
    void AtRelease() override;
    void AtDeparture() override;
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override;
    QString CategoryNames() override;

    // The store's own steps, recorded by their names.
    void PrepareToCheck();
    void Open() { Call(QStringLiteral("Open")); }
    void Close() { Call(QStringLiteral("Close")); }
    void CreateContactsFolder() { Call(QStringLiteral("CreateContactsFolder")); }
    void Load() { Call(QStringLiteral("Load")); }
    void Unload() { Call(QStringLiteral("Unload")); }
    void ClearRecords() { Call(QStringLiteral("ClearRecords")); }
    void CreateCalendarFolders() { Call(QStringLiteral("CreateCalendarFolders")); }
    void LoadCalendarIndex() { Call(QStringLiteral("LoadCalendarIndex")); }
    QString GetCalendarNames();
    void OpenIdMap(const QString& machineId) { Call(QStringLiteral("OpenIdMap"), machineId); }
    void RemoveIdMapping(const QString& id) { Call(QStringLiteral("RemoveIdMapping"), id); }
    void SaveIdMap() { Call(QStringLiteral("SaveIdMap")); }
    void SetIdMapName(const QString& machineId) { Call(QStringLiteral("SetIdMapName"), machineId); }
    QString GetGroupNames();

private:
    bool Mapped() const { return stands_ == FakeStands::OutlookMapped; }
    // Records the call and throws when it is told to fail.
    void Call(const QString& op, const QString& id = {});
    void Require(const QString& id) const;

    QStringList order_;
    QHash<QString, ItemRecord> items_;
    QHash<QString, QString> failures_;  // op -> id ("" for every id)
    FakeStands stands_;
    bool datedItems_;
};

// A fake that stands for the store that serves the source here: the address book (contacts 0),
// Windows Contacts (1, 2), Windows Calendar (appointments 1), Opera's contacts and notes and
// Sticky Notes (sessions), the Outlook stores (date windows for appointments and tasks, the
// identifier map for versions 12 and 14). A fake that stands for nothing for any other code.
std::unique_ptr<FakeItemStore> MakeFakeStoreFor(ItemKind kind, std::uint32_t code);

#pragma once
// An in-memory item store for the request tests: it keeps records in insertion order, computes
// checksums from their fields, records each call, and can be told to fail any operation.
// FakeItemStore itself has no role; FakeStoreWith<Roles...> takes on the roles named (its role
// operations record their calls like the others), and MakeFakeStoreFor gives a fake the roles
// of the store that serves a source, so the requests' extra steps can be seen as they happen
// for that source.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>

#include <memory>

#include "common/outlook_store.h"
#include "stores/base/source_kind.h"
#include "stores/store_roles.h"

class FakeItemStore : public COutlook {
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

    // The role operations, recorded by their names. PrepareToCheck records the steps of the
    // store it stands for: the Windows Contacts, Windows Calendar or address book preparation,
    // chosen by the other roles the fake has.
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
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead);
    void OpenIdMap(const QString& machineId) { Call(QStringLiteral("OpenIdMap"), machineId); }
    void RemoveIdMapping(const QString& id) { Call(QStringLiteral("RemoveIdMapping"), id); }
    void SaveIdMap() { Call(QStringLiteral("SaveIdMap")); }
    void SetIdMapName(const QString& machineId) { Call(QStringLiteral("SetIdMapName"), machineId); }
    QString GetGroupNames();

private:
    // Records the call and throws when it is told to fail.
    void Call(const QString& op, const QString& id = {});
    void Require(const QString& id) const;

    QStringList order_;
    QHash<QString, ItemRecord> items_;
    QHash<QString, QString> failures_;  // op -> id ("" for every id)
};

// One role of a fake, forwarding to the fake's recorded operation.
template <class Role>
class FakeRole;

template <>
class FakeRole<PrepareForCheck> : public PrepareForCheck {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void PrepareToCheck() override { s_.PrepareToCheck(); }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<SessionStore> : public SessionStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void Open() override { s_.Open(); }
    void Close() override { s_.Close(); }

private:
    FakeItemStore& s_;
};

// The address book's disconnection is its Close.
template <>
class FakeRole<ConnectionStore> : public ConnectionStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void Disconnect() override { s_.Close(); }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<ContactFolderStore> : public ContactFolderStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void CreateContactsFolder() override { s_.CreateContactsFolder(); }
    void Load() override { s_.Load(); }
    void Unload() override { s_.Unload(); }
    void ClearRecords() override { s_.ClearRecords(); }

private:
    FakeItemStore& s_;
};

// Windows Contacts' commit before the state is saved is its Unload; the fake holds nothing
// between requests.
template <>
class FakeRole<CommittingStore> : public CommittingStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    bool HoldsUnwrittenChanges() const override { return false; }
    CommitOutcome CommitChanges() override
    {
        s_.Unload();
        return {};
    }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<CalendarIndexStore> : public CalendarIndexStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void CreateCalendarFolders() override { s_.CreateCalendarFolders(); }
    void LoadCalendarIndex() override { s_.LoadCalendarIndex(); }
    QString GetCalendarNames() override { return s_.GetCalendarNames(); }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<DateWindowStore> : public DateWindowStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    bool IsInDateWindow(const QString& id, std::int16_t back, std::int16_t ahead) override
    {
        return s_.IsInDateWindow(id, back, ahead);
    }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<IdMappedStore> : public IdMappedStore {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    void OpenIdMap(const QString& machineId) override { s_.OpenIdMap(machineId); }
    void RemoveIdMapping(const QString& id) override { s_.RemoveIdMapping(id); }
    void SaveIdMap() override { s_.SaveIdMap(); }
    void SetIdMapName(const QString& machineId) override { s_.SetIdMapName(machineId); }

private:
    FakeItemStore& s_;
};

template <>
class FakeRole<GroupNamesSource> : public GroupNamesSource {
public:
    explicit FakeRole(FakeItemStore& s) : s_(s) {}
    QString GetGroupNames() override { return s_.GetGroupNames(); }

private:
    FakeItemStore& s_;
};

template <class... Roles>
class FakeStoreWith : public FakeItemStore, public FakeRole<Roles>... {
public:
    FakeStoreWith() : FakeRole<Roles>(static_cast<FakeItemStore&>(*this))... {}
};

// A fake with the roles of the store that serves the source here: the address book (contacts
// 0), Windows Contacts (1, 2), Windows Calendar (appointments 1), Opera's contacts and notes and
// Sticky Notes (sessions), the Outlook stores (date windows for appointments and tasks, the
// identifier map for versions 12 and 14). A fake without roles for any other code.
std::unique_ptr<FakeItemStore> MakeFakeStoreFor(ItemKind kind, std::uint32_t code);

#pragma once
// What every Outlook store shares, whatever its item kind and object-model version: the Outlook
// objects it holds, attaching to Outlook (Init) and letting go (ReleaseOutlook), finding an
// item by identifier, Delete, DeleteAll and GetIDs. The stores of versions 12 and 14 add the
// identifier map of Exchange profiles (IdMappedOutlookStore).
//
// A store serves only while it is connected: after a successful Init and before the next
// ReleaseOutlook. Every item operation of a store that is not connected (another version was
// started, Outlook was never started or has been released) throws AgentError instead of
// answering from empty objects; the identifier-map members need no connection.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "common/outlook_store.h"
#include "platform/dispatch_driver.h"
#include "stores/outlook/id_convert.h"
#include "stores/outlook/outlook_access.h"

enum class OutlookKind { Contacts, Appointments, Tasks, Notes };

// "contacts", "appointments", "tasks", "notes".
const char* OutlookKindName(OutlookKind kind);

class OutlookStoreFrame : public COutlook {
public:
    OutlookStoreFrame(OutlookKind kind, int version);
    ~OutlookStoreFrame() override = default;
    OutlookStoreFrame(const OutlookStoreFrame&) = delete;
    OutlookStoreFrame& operator=(const OutlookStoreFrame&) = delete;

    OutlookKind Kind() const { return kind_; }
    int Version() const { return version_; }

    // Attaches to the running Outlook ("Outlook.Application"), its MAPI namespace and the
    // kind's default folder; versions 12 and 14 then note whether the profile holds a primary
    // Exchange mailbox. When Outlook cannot be created the store's message goes to the message
    // hook and AgentError("error") is thrown; automation failures pass. The store is connected
    // only when every step succeeded.
    void Init();
    // Releases every Outlook object the store holds; the store is no longer connected. The
    // identifier map, its name and ExchangeFlag stay.
    void ReleaseOutlook();
    bool IsConnected() const { return connected_; }

    // Where Init's message goes when Outlook cannot be created (the window's message box, or
    // the log when there is no window). It never waits for the user.
    void SetMessageHook(std::function<void(const QString&)> hook) { messageHook_ = std::move(hook); }
    // The message Init shows when Outlook cannot be created.
    QString InitFailureMessage() const;

    // Whether the profile seen at the last Init held a primary Exchange mailbox (12 and 14).
    bool ExchangeFlag() const { return exchangeFlag_; }

    // The connection the family's stores share: Connect starts Outlook through it, and the end
    // of a delete-all releases it. A store without one cannot be connected.
    void SetConnection(std::shared_ptr<OutlookAccess> connection) { connection_ = std::move(connection); }

    // Starts Outlook (throws SourceUnreachable when no version starts), and releases it again
    // after a delete-all, whatever the delete-all gave.
    void Connect() override;
    void AfterEmpty(bool emptied) override;
    // The contacts stores: the category names of their version, each followed by ";": Outlook
    // 8, 9 and 11 keep the list in the registry (a missing key or value adds nothing); 12 and 14
    // are asked through the running Outlook (throws AgentError("Error") when it cannot be
    // reached). The other kinds add none.
    QString CategoryNames() override;

    void Delete(const QString& id) override;
    void DeleteAll() override;
    void GetIDs(QStringList& ids) override;
    // Served by the item stores' own code; until it exists these throw AgentError.
    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Get(const QString& id, ItemRecord& record) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

protected:
    // Throws AgentError naming the operation when the store is not connected.
    void RequireConnected(const char* operation) const;
    // The entry identifier Outlook knows for an item identifier: in 12 and 14 with ExchangeFlag
    // set, the long identifier mapped to it; an identifier without a pair is used unchanged.
    QString EntryIdOf(const QString& id) const;
    // Looks the item up by identifier in the default folder's store; it becomes the current
    // item. Throws when Outlook does not know it, and when it is of another kind than the
    // store's (its Class; a distribution list is no contact), naming identifier and class.
    const DispatchDriver& FindItem(const QString& id);
    // The default folder's Items; throws AgentError when Outlook answers with no object.
    DispatchDriver FolderItems() const;
    // The Class of the store's items: appointment, contact, task or note.
    int OwnClass() const;
    // The item's recurrence pattern (GetRecurrencePattern); throws AgentError when Outlook
    // answers with no object.
    DispatchDriver RecurrencePatternOf(const DispatchDriver& item) const;
    // Whether DeleteAll drops each item's failure and goes on (versions 9, 11, 12).
    bool DeleteAllIsGuarded() const { return version_ == 9 || version_ == 11 || version_ == 12; }
    // Whether a folder member belongs to this store (contacts: Class 40; the contacts folder
    // also holds distribution lists, which are not contacts).
    bool IsOwnItem(const DispatchDriver& item) const;
    bool IsMapped() const { return idMap_.has_value(); }
    // A new item of Outlook's item type (CreateItem) becomes the current item.
    const DispatchDriver& CreateNewItem(int itemType);
    // Saves the new current item and answers its identifier: the entry identifier, or in 12 and
    // 14 on an Exchange profile a new short identifier paired with it. When a step after the
    // save fails, the item is deleted again before the failure passes (best effort; a failed
    // delete is added to the failure's text): the peer gets an error and adds the item anew, so
    // a kept one would come back from the next check as new and the retry make it twice.
    QString SaveNewItem();
    // The date-window test of appointments and of tasks (IsInDateWindow).
    bool AppointmentIsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead);
    bool TaskIsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead);

    // The Outlook objects; empty while not connected.
    DispatchDriver application_;
    DispatchDriver nameSpace_;
    DispatchDriver folder_;
    DispatchDriver folderItems_;
    DispatchDriver currentItem_;
    DispatchDriver pattern_;  // appointments and tasks

    // Versions 12 and 14 only.
    std::optional<CIdConvert> idMap_;
    QString idMapName_;
    bool exchangeFlag_ = false;

    IdMapKind MapKind() const;

private:
    void EmptyIdMapAfterDeleteAll();

    OutlookKind kind_;
    int version_;
    bool connected_ = false;
    std::function<void(const QString&)> messageHook_;
    std::shared_ptr<OutlookAccess> connection_;
};

// The stores of versions 12 and 14, which map 140-character Exchange entry identifiers to
// 48-character item identifiers through the peer's identifier map.
class IdMappedOutlookStore : public OutlookStoreFrame {
public:
    IdMappedOutlookStore(OutlookKind kind, int version);

    // The peer's map is opened at its check and at the load of its state, rid of the pairs of
    // the items a check found gone, written at the save of the state, and named for the
    // delete-all that empties it.
    void BeforeCheck(const QString& peerId) override { OpenIdMap(peerId); }
    void AfterCheck(const QStringList& goneIds) override;
    void AtStateLoad(const QString& peerId) override { OpenIdMap(peerId); }
    CommitOutcome AtStateSave() override;
    void BeforeEmpty(const QString& peerId) override { SetIdMapName(peerId); }

    void OpenIdMap(const QString& machineId);
    void RemoveIdMapping(const QString& id);
    void SaveIdMap();
    // The peer whose map a following DeleteAll empties.
    void SetIdMapName(const QString& machineId) { idMapName_ = machineId; }

    const QString& IdMapName() const { return idMapName_; }
    const CIdConvert& IdMap() const { return *idMap_; }
};

template <int Version>
using OutlookFrameOf = std::conditional_t<(Version >= 12), IdMappedOutlookStore, OutlookStoreFrame>;

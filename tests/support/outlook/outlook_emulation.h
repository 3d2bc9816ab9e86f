#pragma once
// An emulation of the parts of Outlook's object model the stores use, registered as the
// automation servers "Outlook.Application.<N>" and "Outlook.Application". Every ProgID reaches
// the same Outlook, of the highest configured version; its members are those of the member
// table (outlook_member_table.h) for that version.
//
//   OutlookEmulation outlook;                         // Outlook 14, one non-Exchange store "S1"
//   QString id = outlook.PlantItem(EmuFolder::Contacts, {{"FirstName", VariantValue::Text("Ann")}});
//   outlook.Register();
//   ... run a store ...
//   EXPECT_EQ(outlook.LiveObjects(), 0);
//
// Behaviour, as Outlook shows it to the stores:
// - Items handed out (CreateItem, GetItemFromID, Items.Item, GetFirst/GetNext) are working
//   copies: a put changes the copy and clears Saved; Save commits the copy whole (a new item gets
//   its EntryID and CreationTime; LastModificationTime is the clock, which moves only when set);
//   Delete removes the stored item.
// - Unset properties read "", 0, false, and dates 949998.0. A note's Subject is its Body up to
//   the first line break. An appointment's Start put keeps Duration (minutes) and moves End, an
//   End put recomputes Duration, a Duration put moves End. GetRecurrencePattern makes an item
//   recurring (RecurrenceType 1, Interval 1, NoEndDate true); with NoEndDate the pattern's end
//   reads 949997.99930555556, and putting (or planting) the end clears NoEndDate. No time-zone
//   conversion.
// - Files, as Outlook treats them: SaveAsFile replaces the file at the path by a new one (the old
//   one removed, a new one created), so a reader must open the path again afterwards; AddPicture
//   notes the path (which must name a readable file) and takes the file's bytes only at Save, so
//   the file must stay until then.
// - Collections are live views in insertion order; Item takes I2 or I4 from 1; GetFirst and
//   GetNext keep an index cursor, so deleting the current item makes GetNext skip one.
// - Rules of the call: an unknown member or invoke kind, a member the version lacks, a put to a
//   read-only property: DISP_E_MEMBERNOTFOUND; a wrong argument count: DISP_E_BADPARAMCOUNT;
//   arguments coerce among I2/I4/BOOL and DATE/R8, text only from BSTR, else
//   DISP_E_TYPEMISMATCH; Outlook's own errors (unknown EntryID or StoreID, index out of range,
//   unknown folder or item type): DISP_E_EXCEPTION. Booleans come back as VT_BOOL (-1).
// - New EntryIDs are the n-th item's number in upper-case hexadecimal, zero-padded to 140
//   characters when the profile's first store is a primary Exchange mailbox (type 0), else 48.

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/automation_servers.h"
#include "support/outlook/outlook_member_table.h"

enum class EmuFolder { Calendar, Contacts, Tasks, Notes };
inline constexpr EmuFolder kEmuFolders[] = {EmuFolder::Calendar, EmuFolder::Contacts, EmuFolder::Tasks,
                                            EmuFolder::Notes};
// "calendar", "contacts", "tasks", "notes".
const char* EmuFolderName(EmuFolder folder);
bool EmuFolderFromName(const QString& name, EmuFolder& folder);

struct EmuAttachment {
    QByteArray bytes;
    bool picture = false;
};

struct EmuItem {
    EmuObject object = EmuObject::Contact;
    EmuFolder folder = EmuFolder::Contacts;
    QString entryId;                     // empty until first saved
    QHash<DispId, VariantValue> values;  // properties that were set
    bool recurring = false;
    QHash<DispId, VariantValue> pattern;  // while recurring
    std::vector<EmuAttachment> attachments;
    std::optional<bool> plantedHasPicture;
    std::vector<QString> picturesToTake;  // AddPicture's files, read at Save
};

// A failure planted for matching calls: the object kind, member and invoke kind, optionally
// only on the item with this EntryID and only the n-th matching call (from 1; 0: every one).
// It answers Outlook's own error, or the COM status; or, with `nothing`, success with an empty
// object (Nothing), as Outlook may answer a call whose result is an object.
struct EmuFault {
    EmuObject object = EmuObject::Contact;
    DispId dispId = 0;
    InvokeKind kind = InvokeKind::Method;
    QString entryId;
    int nth = 0;
    bool outlookError = true;
    ComStatus status = com_status::kFail;
    bool nothing = false;
};

struct EmuCall {
    EmuObject object;
    QString entryId;  // of the item (or of the pattern's or attachment's item); empty otherwise
    DispId dispId;
    InvokeKind kind;
    std::vector<VariantValue> arguments;
};

using EmuProperties = std::vector<std::pair<QString, VariantValue>>;

class OutlookEmulation {
public:
    OutlookEmulation();
    ~OutlookEmulation();
    OutlookEmulation(const OutlookEmulation&) = delete;
    OutlookEmulation& operator=(const OutlookEmulation&) = delete;

    // --- profile and installation ---------------------------------------------------------
    // The installed versions (default {14}); empty: Outlook is not installed.
    void SetVersions(std::vector<int> versions);
    const std::vector<int>& Versions() const;
    int Version() const;  // the highest, whose members every ProgID answers; 0 when none
    void SetCreateFails(const QString& progId, bool fails = true);
    // Outlook gone: every call answers RPC_E_DISCONNECTED and nothing can be created.
    void SetGone(bool gone);
    // The profile's stores in order (StoreID, ExchangeStoreType); the first holds the default
    // folders. Default: {"S1", 3}.
    void SetProfileStores(std::vector<std::pair<QString, int>> stores);
    void SetCategories(const QStringList& names);
    void SetClock(double oleDate);
    double Clock() const;
    // Registers the servers of the configured versions (again, after a change).
    void Register();
    void Unregister();

    // --- items --------------------------------------------------------------------------------
    // A stored item with these properties (any of its kind, read-only ones too, by member-table
    // name; "EntryID" given or generated; "Class" 69 in the contacts folder makes a distribution
    // list). Throws std::invalid_argument for an unknown name or a value of the wrong type.
    QString PlantItem(EmuFolder folder, const EmuProperties& properties = {});
    // Makes the item recurring with these pattern properties (over the defaults).
    void PlantPattern(const QString& entryId, const EmuProperties& pattern = {});
    void PlantAttachment(const QString& entryId, const QByteArray& bytes, bool picture);
    void PlantHasPicture(const QString& entryId, bool hasPicture);

    const EmuItem* FindItem(const QString& entryId) const;
    std::vector<const EmuItem*> ItemsIn(EmuFolder folder) const;
    int ItemCount(EmuFolder folder) const;
    // A property as Outlook would answer it (derived values included), without a call: the
    // emulation's own accessor.
    VariantValue Value(const QString& entryId, DispId dispId) const;
    VariantValue Value(const QString& entryId, const QString& name) const;
    VariantValue PatternValue(const QString& entryId, const QString& name) const;

    // --- faults --------------------------------------------------------------------------------
    void AddFault(const EmuFault& fault);
    void ClearFaults();

    // --- observation -------------------------------------------------------------------------
    // Objects handed out and not released yet.
    int LiveObjects() const;
    int Creations(const QString& progId) const;
    QMap<QString, int> AllCreations() const;
    const std::vector<EmuCall>& Journal() const;
    void ClearJournal();
    // The journal costs time in benchmarks; on by default.
    void SetJournalEnabled(bool enabled);
    // Called after every Save and Delete, and whenever the live-object count falls to 0.
    void SetChangeListener(std::function<void()> listener);
    // Called with every call as it arrives, before it is answered (and whether or not the
    // journal is on): what a test must see at that moment, a file the call names for one.
    void SetCallListener(std::function<void(const EmuCall& call)> listener);

    struct State;

private:
    std::shared_ptr<State> state_;
    QStringList registered_;
};

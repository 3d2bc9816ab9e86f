#pragma once
// Operations that some item stores offer besides the seven of COutlook. A store takes on a role
// by also deriving from its class; the requests find the role with StoreRole<> and call it when
// the selected store has it, whatever the source. No request names a source: a step that one
// source needs and another does not is a role here (or, where it belongs to the source rather
// than to the store object, a field of its catalogue row, stores/catalog/source_catalog.h).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/bookmark_store.h"
#include "common/outlook_store.h"

// What the change check of the store's kind does first, before it reads the identifiers: the
// address book connects, Windows Contacts creates its folder and loads the contact files,
// Windows Calendar creates its folders and indexes the calendar files.
class PrepareForCheck {
public:
    virtual ~PrepareForCheck() = default;
    virtual void PrepareToCheck() = 0;
};

// A store that works on a copy loaded for one synchronisation (Opera's contacts and notes,
// Sticky Notes): the synchronisation's start opens it (loads), and the end of the
// synchronisation or the client's departure closes it (writes back) once for every open. Close
// is only ever called after a successful Open.
class SessionStore {
public:
    virtual ~SessionStore() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
};

// A store that keeps a connection between requests (the address book, which its
// PrepareToCheck connects): every release of the sessions (the end of a synchronisation, the
// client's departure, suspend, exit) ends it. Must be safe when nothing is connected.
class ConnectionStore {
public:
    virtual ~ConnectionStore() = default;
    virtual void Disconnect() = 0;
};

// A store of records loaded from files (Windows Contacts), written back on Unload: the delete-all
// request loads before and unloads after DeleteAll, the save of the state unloads, the load of
// the state and the client's departure forget the records.
class ContactFolderStore {
public:
    virtual ~ContactFolderStore() = default;
    // Creates the Contacts folder when it is missing.
    virtual void CreateContactsFolder() = 0;
    // Reads every contact and group file into the store.
    virtual void Load() = 0;
    // Writes the changes made since Load to the files.
    virtual void Unload() = 0;
    // Forgets the loaded records and group names; touches no file.
    virtual void ClearRecords() = 0;
};

// A store that works on an index of its files (Windows Calendar): rebuilt after every add and
// delete and before the delete-all request's DeleteAll. Its calendar names join the contacts
// source's category names.
class CalendarIndexStore {
public:
    virtual ~CalendarIndexStore() = default;
    // Creates the calendar folders when they are missing.
    virtual void CreateCalendarFolders() = 0;
    // Rebuilds the index of calendar files and their events.
    virtual void LoadCalendarIndex() = 0;
    // Every calendar's title, each followed by ",". Throws when the calendar folder cannot be found.
    virtual QString GetCalendarNames() = 0;
};

// Stores whose items have a date (appointments, tasks): whether one lies within a window of
// whole weeks around today; -1 for a bound means none.
class DateWindowStore {
public:
    virtual ~DateWindowStore() = default;
    virtual bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) = 0;
};

// Stores (Outlook 12 and 14) that map long Exchange entry identifiers to item identifiers
// through a per-peer identifier map.
class IdMappedStore {
public:
    virtual ~IdMappedStore() = default;
    virtual void OpenIdMap(const QString& machineId) = 0;
    virtual void RemoveIdMapping(const QString& id) = 0;
    virtual void SaveIdMap() = 0;
    // The peer whose map a following DeleteAll empties.
    virtual void SetIdMapName(const QString& machineId) = 0;
};

// Contact stores that know groups (the address book, Windows Contacts): each name followed by
// ","; they make the category names of the contacts source.
class GroupNamesSource {
public:
    virtual ~GroupNamesSource() = default;
    virtual QString GetGroupNames() = 0;
};

// What a commit wrote. Failures name each file that kept its old content and why; where a commit
// wrote some changes and not others, `onDisk` gives, for each item whose changes did not all
// reach the files, its checksum as the files hold it now (none: no file holds the item), so
// that the state saved after it describes the files.
struct CommitOutcome {
    struct ItemOnDisk {
        QString id;
        std::optional<std::uint32_t> checksum;
    };
    QStringList failures;
    std::vector<ItemOnDisk> onDisk;
};

// A store that holds changes in memory until it writes them to its files (Opera's hotlists,
// Sticky Notes, Windows Contacts' deletions and group changes). A saved state tells the peer
// what the files hold, so the save of a state commits the store's changes first and writes the
// state only after them; a commit that fails keeps the changes, to be written at the next
// chance (the next save, the end of the synchronisation, the client's departure, the next start).
class CommittingStore {
public:
    virtual ~CommittingStore() = default;
    // Whether changes are held that no commit has written yet.
    virtual bool HoldsUnwrittenChanges() const = 0;
    // Writes the changes held. A store that writes all or nothing throws AgentError naming the
    // file and the reason, and keeps its changes; one that wrote part of them returns what failed.
    virtual CommitOutcome CommitChanges() = 0;
};

template <class Role>
Role* StoreRole(COutlook* store)
{
    return dynamic_cast<Role*>(store);
}

template <class Role>
Role* StoreRole(BookmarkStore* store)
{
    return dynamic_cast<Role*>(store);
}

#pragma once
// Operations that some item stores offer besides the seven of COutlook. A store takes on a role
// by also deriving from its class; the requests find the role with StoreRole<> and skip the step
// when the selected store does not have it.

#include <QString>
#include <cstdint>

#include "common/outlook_store.h"

// A store that works on a copy loaded for a session (the address book, Opera's contacts and
// notes, Sticky Notes): Open loads or connects, Close writes back and releases.
class SessionStore {
public:
    virtual ~SessionStore() = default;
    virtual void Open() = 0;
    virtual void Close() = 0;
};

// The Windows Contacts store: records loaded from the Contacts folder, written back on Unload.
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

// The Windows Calendar store, which works on an index of its calendar files.
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

// The Outlook 12 and 14 stores, which map long Exchange entry identifiers to item identifiers
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

// Contact stores that know groups (the address book, Windows Contacts): each name followed by ",".
class GroupNamesSource {
public:
    virtual ~GroupNamesSource() = default;
    virtual QString GetGroupNames() = 0;
};

template <class Role>
Role* StoreRole(COutlook* store)
{
    return dynamic_cast<Role*>(store);
}

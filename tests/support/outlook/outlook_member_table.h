#pragma once
// The members of Outlook's object model that the emulation answers, written out by hand from
// what the stores are meant to call. It shares no header with the stores, so a store that calls
// a wrong DISPID, a member its version lacks, or puts a read-only property fails its tests.

#include <QString>
#include <cstdint>
#include <vector>

#include "platform/automation_servers.h"

enum class EmuObject {
    Application,
    Namespace,
    Folder,
    Items,  // every collection: folder items, stores, categories
    Store,
    Category,
    Appointment,
    Contact,
    DistList,
    Task,
    Note,
    RecurrencePattern,
    Attachments,
    Attachment,
};

// How the seed, the state and fault descriptions name an object kind: "application", ...,
// "recurrencePattern".
const char* EmuObjectName(EmuObject object);
bool EmuObjectFromName(const QString& name, EmuObject& object);
bool IsItemObject(EmuObject object);

// Index: a collection index, I2 or I4.
enum class EmuType { None, Text, I4, Bool, Date, Object, Index };

struct EmuMember {
    EmuObject object;
    const char* name;
    DispId dispId;
    bool method;
    EmuType type;                    // a property's type, or a method's result
    bool readOnly;                   // properties
    int firstVersion;                // the lowest version that has it
    int writableFrom;                // a property read-only before this version (0: as readOnly says)
    std::vector<EmuType> arguments;  // methods
    int optionalArguments;           // trailing arguments a caller may leave out

    bool IsReadOnlyIn(int version) const { return readOnly || (writableFrom != 0 && version < writableFrom); }
};

const std::vector<EmuMember>& OutlookMemberTable();
const EmuMember* FindEmuMember(EmuObject object, DispId dispId);
const EmuMember* FindEmuMember(EmuObject object, const QString& name);
// The properties (not methods, not objects) of an object kind in a version, in table order.
std::vector<const EmuMember*> EmuMembersOf(EmuObject object, int version);

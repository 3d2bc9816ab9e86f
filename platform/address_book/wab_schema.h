#pragma once
// The tables of an address-book file. A file without tables is given them; a file whose tables
// are not these (besides the sequence table SQLite keeps for AUTOINCREMENT) is not an address
// book and is never changed.
//
// entries: one row per contact or list; `id` is the entry identifier's number, never reused.
// props:   one row per property value; `tag` is the whole property tag, `seq` numbers the values
//          of a multi-valued property from 0 (0 for the others).
// members: a list's members in `seq` order.

namespace wab {

inline constexpr char kAddressBookSchema[] = R"sql(
CREATE TABLE entries(id INTEGER PRIMARY KEY AUTOINCREMENT, object_type INTEGER NOT NULL);
CREATE TABLE props(entry INTEGER NOT NULL, tag INTEGER NOT NULL, seq INTEGER NOT NULL DEFAULT 0,
                   value, PRIMARY KEY(entry, tag, seq));
CREATE TABLE members(list INTEGER NOT NULL, seq INTEGER NOT NULL, member INTEGER NOT NULL,
                     PRIMARY KEY(list, seq));
)sql";

// The tables the schema makes, and the one SQLite adds for AUTOINCREMENT.
inline constexpr const char* kAddressBookTables[] = {"entries", "props", "members"};
inline constexpr char kSequenceTable[] = "sqlite_sequence";

}  // namespace wab

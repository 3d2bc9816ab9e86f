#pragma once
// The tables of an address-book file. An empty file is given them; a file whose schema is not
// exactly what these statements make (the tables, their indexes and the sequence table SQLite
// keeps for AUTOINCREMENT; no trigger, view or anything else) is not an address book and is
// never changed.
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

}  // namespace wab

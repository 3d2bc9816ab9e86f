#pragma once
#include <QByteArray>

#include "common/bookmark_store.h"
#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"

// A bookmark's fields on the wire: a u16 field count, then per field a u32 byte length and the
// UTF-16 name, a u32 byte length and the UTF-16 value, neither with a terminator. The fields
// are "Path", "Name" and "Url".

// The count 3 and the three fields in the order Path, Name, Url.
void EncodeBookmarkFields(const BookmarkRecord& record, ByteWriter& w);

// Reads the count and that many fields, in any order. A field of another name is skipped by
// its length; a field the payload lacks stays empty; a value ends at its first zero unit; a
// later field of the same name wins. Throws MalformedData when a length overruns the payload.
BookmarkRecord DecodeBookmarkFields(ByteReader& r);

// The reply of AS_GET_BOOKMARK: the identifier, the fields and two zero bytes. A browser whose
// bookmarks have no identifier (Safari's row, BookmarkNaming::NoIdentifier): the reply starts
// with the count, and the identifier's 8 bytes trail as zeros so the length stays that of every
// other browser's.
QByteArray EncodeBookmarkReply(BrowserKind kind, BookmarkId id, const BookmarkRecord& record);

#pragma once
// The parts of a bookmark request as a peer sends them.
#include <QByteArray>

#include "common/byte_io.h"
#include "dispatch/bookmark_id.h"
#include "dispatch/bookmark_record_codec.h"

inline QByteArray IdBytes(BookmarkId id)
{
    QByteArray out;
    ByteWriter w(out);
    id.Write(w);
    return out;
}

inline QByteArray Fields(const BookmarkRecord& record)
{
    QByteArray out;
    ByteWriter w(out);
    EncodeBookmarkFields(record, w);
    return out;
}

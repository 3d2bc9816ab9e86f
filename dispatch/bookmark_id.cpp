#include "dispatch/bookmark_id.h"

#include "common/bookmark_checksums.h"
#include "common/byte_io.h"
#include "stores/catalog/source_catalog.h"

BookmarkId BookmarkId::OfFavoritePath(const QString& path)
{
    const FavoriteId id = FavoriteIdOfPath(path);
    return {id.low, id.high};
}

BookmarkId BookmarkId::Read(ByteReader& r)
{
    BookmarkId id;
    id.low = r.U32();
    id.high = r.U32();
    return id;
}

void BookmarkId::Write(ByteWriter& w) const
{
    w.U32(low);
    w.U32(high);
}

BookmarkNaming NamingOf(BrowserKind kind)
{
    const SourceRow* row = FindSource(kind);
    return row ? row->bookmarkNaming : BookmarkNaming::NoIdentifier;
}

QString BookmarkKeyText(BrowserKind kind, BookmarkId id)
{
    return BookmarkKeyOfId(NamingOf(kind), id.Value());
}

BookmarkId BookmarkIdOfKey(BrowserKind kind, const QString& key)
{
    return BookmarkId::FromValue(BookmarkIdOfKeyText(NamingOf(kind), key));
}

#include "dispatch/bookmark_record_codec.h"

#include <limits>

#include "stores/catalog/source_catalog.h"

namespace {

void PutText(ByteWriter& w, const QString& text)
{
    const qsizetype bytes = 2 * text.size();
    if (bytes > std::numeric_limits<std::int32_t>::max())
        throw AgentError("bookmark field of " + std::to_string(bytes) + " bytes is too long to encode");
    w.U32(static_cast<std::uint32_t>(bytes));
    w.Utf16(text);
}

QString TakeText(ByteReader& r)
{
    const std::uint32_t bytes = r.U32();
    return utf16::FromBytesUpToZero(r.Bytes(bytes));
}

}  // namespace

void EncodeBookmarkFields(const BookmarkRecord& record, ByteWriter& w)
{
    w.U16(3);
    PutText(w, QStringLiteral("Path"));
    PutText(w, record.path);
    PutText(w, QStringLiteral("Name"));
    PutText(w, record.name);
    PutText(w, QStringLiteral("Url"));
    PutText(w, record.url);
}

BookmarkRecord DecodeBookmarkFields(ByteReader& r)
{
    BookmarkRecord record;
    const std::uint16_t count = r.U16();
    for (std::uint16_t i = 0; i < count; ++i) {
        const QString name = TakeText(r);
        // Every field's value is read (or skipped) by its own length, known name or not, so
        // the fields after an unknown one are still found where they are.
        QString value = TakeText(r);
        if (name == QLatin1String("Path"))
            record.path = std::move(value);
        else if (name == QLatin1String("Name"))
            record.name = std::move(value);
        else if (name == QLatin1String("Url"))
            record.url = std::move(value);
    }
    return record;
}

QByteArray EncodeBookmarkReply(BrowserKind kind, BookmarkId id, const BookmarkRecord& record)
{
    QByteArray payload;
    ByteWriter w(payload);
    // A kind without a row answers as the browsers with identifiers do.
    const SourceRow* row = FindSource(kind);
    const bool identified = !row || HasIdentifiers(row->bookmarkNaming);
    if (identified) id.Write(w);
    EncodeBookmarkFields(record, w);
    w.Zeros(identified ? 2 : 10);
    return payload;
}

#include "dispatch/item_record_codec.h"

#include <QSet>
#include <limits>
#include <variant>

#include "common/item_id.h"

namespace {

const QString kPicture = QStringLiteral("Picture");

std::int32_t CheckedLength(qsizetype bytes)
{
    if (bytes < 0 || bytes > std::numeric_limits<std::int32_t>::max())
        throw AgentError("item field of " + std::to_string(bytes) + " bytes is too long to encode");
    return static_cast<std::int32_t>(bytes);
}

// The image bytes that follow the count in the picture bytes, validated against what is there.
ByteView PictureImageView(const ItemRecord& record)
{
    if (record.pictureBytes.size() < 4)
        throw AgentError("a \"Picture\" field without picture bytes");
    const auto* p = reinterpret_cast<const std::uint8_t*>(record.pictureBytes.constData());
    const std::uint64_t count = GetU32(p);
    if (count > static_cast<std::uint64_t>(record.pictureBytes.size() - 4) ||
        count > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw AgentError("picture bytes shorter than their count of " + std::to_string(count));
    return {p + 4, static_cast<std::size_t>(count)};
}

}  // namespace

const QStringList& IntegerFieldNames()
{
    static const QStringList names = {
        "Color", "Journal", "Gender", "NoAging", "AllDayEvent", "ReminderOverrideDefault",
        "ReminderPlaySound", "ReminderSet", "UnRead", "BusyStatus", "Duration", "Importance",
        "MeetingStatus", "Sensitivity", "ReminderMinutesBeforeStart", "IsRecurring", "RecurrenceType",
        "MonthOfYear", "DayOfMonth", "DayOfWeekMask", "Instance", "Interval", "Regenerate", "NoEndDate",
        "Occurrences", "DownloadState", "IsConflict", "RecurrenceState", "AutoResolvedWinner", "Class",
        "MarkForDownload", "OutlookInternalVersion", "ResponseStatus", "Saved", "Size", "Complete",
        "TeamTask"};
    return names;
}

bool IsIntegerFieldName(const QString& name)
{
    static const QSet<QString> set(IntegerFieldNames().begin(), IntegerFieldNames().end());
    return set.contains(name);
}

QByteArray EncodeItemRecord(const QString& id, ItemRecord& record)
{
    // First pass: drop empty texts and size the blob, so it is allocated once.
    qsizetype total = kItemIdBytes + 2;
    for (int i = 0; i < record.FieldCount();) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        qsizetype valueBytes;
        if (name == kPicture) {
            valueBytes = static_cast<qsizetype>(PictureImageView(record).size());
        } else if (IsIntegerValue(value)) {
            valueBytes = 4;
        } else {
            const QString& text = std::get<QString>(value);
            const qsizetype zero = text.indexOf(QChar(0));
            const qsizetype units = zero < 0 ? text.size() : zero;
            if (units == 0) {
                record.RemoveAt(i);
                continue;
            }
            valueBytes = 2 * units;
        }
        total += 8 + 2 * name.size() + valueBytes;
        CheckedLength(2 * name.size());
        CheckedLength(valueBytes);
        ++i;
    }
    if (record.FieldCount() > std::numeric_limits<std::uint16_t>::max())
        throw AgentError("an item of " + std::to_string(record.FieldCount()) + " fields cannot be encoded");

    QByteArray blob;
    blob.reserve(total);
    ByteWriter w(blob);
    w.Utf16Fixed(id, kItemIdUnits);
    w.U16(static_cast<std::uint16_t>(record.FieldCount()));
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        w.I32(CheckedLength(2 * name.size()));
        w.Utf16(name);
        if (name == kPicture) {
            ByteView image = PictureImageView(record);
            w.I32(static_cast<std::int32_t>(image.size()));
            w.Bytes(image);
        } else if (const auto* n = std::get_if<std::int32_t>(&value)) {
            w.I32(4);
            w.I32(*n);
        } else {
            const QString text = utf16::UpToZero(std::get<QString>(value));
            w.I32(CheckedLength(2 * text.size()));
            w.Utf16(text);
        }
    }
    Q_ASSERT(blob.size() == total);
    return blob;
}

void DecodeItemRecord(ByteView blob, bool withId, ItemRecord& record, QString* id)
{
    ByteReader r(blob);
    if (withId) {
        QString itemId = r.Utf16(kItemIdBytes);
        if (id)
            *id = itemId;
    }
    const std::uint16_t count = r.U16();
    auto length = [&r](const char* what) -> std::size_t {
        const std::int32_t n = r.I32();
        if (n < 0)
            throw MalformedData(std::string("negative ") + what + " length " + std::to_string(n));
        if (static_cast<std::size_t>(n) > r.Remaining())
            throw MalformedData(std::string(what) + " length " + std::to_string(n) + " runs past the item's end");
        return static_cast<std::size_t>(n);
    };
    for (std::uint32_t field = 0; field < count; ++field) {
        const std::size_t nameBytes = length("field name");
        const QString name = r.Utf16(nameBytes);
        if (name == kPicture) {
            const std::size_t valueBytes = length("picture");
            ByteView image = r.Bytes(valueBytes);
            record.Add(name, kPicture);
            ByteWriter pictures(record.pictureBytes);
            pictures.U32(static_cast<std::uint32_t>(valueBytes));
            pictures.Bytes(image);
        } else if (IsIntegerFieldName(name)) {
            // The integer is always 4 bytes, whatever its length field says.
            (void)r.I32();
            record.Add(name, r.I32());
        } else {
            const std::size_t valueBytes = length("text");
            record.Add(name, r.Utf16(valueBytes));
        }
    }
}

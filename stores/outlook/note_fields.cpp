#include "stores/outlook/note_fields.h"

#include <QtEndian>
#include <optional>
#include <vector>

#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_field_values.h"
#include "stores/outlook/outlook_wrappers.h"

namespace {

constexpr DispId kColor = 0x8B00;

const QString kBodyKey = QStringLiteral("Body");
const QString kCategoriesKey = QStringLiteral("Categories");
const QString kColorKey = QStringLiteral("Color");

}  // namespace

void WriteNoteFields(const DispatchDriver& note, const ItemRecord& record)
{
    // Every value is checked before the first put, so a refused record changes nothing.
    std::vector<std::optional<std::int32_t>> colors(static_cast<std::size_t>(record.FieldCount()));
    for (int i = 0; i < record.FieldCount(); ++i) {
        if (record.names[i] != kColorKey) continue;
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        colors[static_cast<std::size_t>(i)] = RequireOutlookInteger("note", kColorKey, value);
    }
    for (int i = 0; i < record.FieldCount(); ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        if (name == kBodyKey)
            PutItemText(note, outlook::kBody, ItemValueText(value));
        else if (name == kCategoriesKey)
            PutItemText(note, outlook::kCategoriesText, ItemValueText(value));
        else if (name == kColorKey)
            note.PutI4(kColor, *colors[static_cast<std::size_t>(i)]);
    }
}

void ReadNoteFields(const DispatchDriver& note, ItemRecord& record)
{
    QString body = GetItemBody(note);
    QString categories = GetItemCategories(note).replace(QLatin1Char(';'), QLatin1Char(','));
    QString entryId = GetItemEntryID(note);
    QString subject = GetNoteSubject(note);
    const std::int32_t color = note.GetI4(kColor);
    record.Add(kBodyKey, std::move(body));
    record.Add(kCategoriesKey, std::move(categories));
    record.Add(QStringLiteral("EntryID"), std::move(entryId));
    record.Add(QStringLiteral("Subject"), std::move(subject));
    record.Add(kColorKey, color);
}

std::uint32_t NoteChecksum(const DispatchDriver& note)
{
    const std::int32_t color = note.GetI4(kColor);
    const QString modified = DateToText(note.GetDate(outlook::kLastModificationTime));
    const QString body = GetItemBody(note);
    const std::uint32_t colorBytes = qToLittleEndian(static_cast<std::uint32_t>(color));
    std::uint32_t crc = Crc32Update(0, &colorBytes, sizeof colorBytes);
    // The body and the time joined, without a separator.
    crc = Crc32Update(crc, body.utf16(), static_cast<std::size_t>(body.size()) * sizeof(char16_t));
    return Crc32Update(crc, modified.utf16(), static_cast<std::size_t>(modified.size()) * sizeof(char16_t));
}

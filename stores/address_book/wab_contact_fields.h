#pragma once
// A contact of the address book in the peer's vocabulary: which record field stands for which
// property, how values turn into record texts and back, and the text whose checksum tells the
// peer that a contact changed. Pure functions over property values, so they are tested (and
// fuzzed) without a book.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "common/item_record.h"
#include "platform/address_book/wab_types.h"

namespace ContactsXp {

enum class WabFieldKind { Text, TextList, Date };

struct WabField {
    const char16_t* name;
    wab::PropTag tag;
    WabFieldKind kind;
};

// The record fields in the order Get appends them ("Categories", the groups, comes first and is
// not a property). "FullName" and "FileAS" are both the display name.
const std::vector<WabField>& WabContactFields();

// The properties a contact is read with, each once, in one GetProps.
const wab::PropTagArray& ContactPropertyTags();

// The record of a contact from its properties (in ContactPropertyTags() order) and the names of
// its groups in list order.
ItemRecord ContactRecord(const wab::PropRow& props, const QStringList& groupNames);

// The text whose checksum stands for the contact's synchronised content.
QString ContactChecksumText(const wab::PropRow& props, const QStringList& groupNames);

enum class ContactWrite { Add, Edit };

// What a record from the peer changes of a contact: the values to set and the properties to
// delete (a property appears in one of the two at most: of "FullName" and "FileAS" the later
// field wins), and the group names of "Categories" when the record carries it (Edit; Add only
// when not empty). Add passes over empty values; Edit deletes the property of an empty text or
// date and leaves the lists of an empty "emails" or "Children" as they are. Throws AgentError
// naming the field when a date text fits no date form.
struct ContactChanges {
    std::vector<wab::PropValue> set;
    wab::PropTagArray remove;
    std::optional<QStringList> groups;
};
ContactChanges ContactChangesFrom(const ItemRecord& record, ContactWrite mode);

// A text split at every "," into its non-empty parts, in order, spaces kept.
QStringList SplitNames(const QString& text);

// A date property as the record carries it ("MM-DD-YYYY"), and the date of a record text; both
// keep the day only, without any time-zone conversion. Nothing for a time outside what the
// platform's dates can hold, or a text that fits no date form.
std::optional<QString> FileTimeToDateText(wab::FileTime time);
std::optional<wab::FileTime> DateTextToFileTime(const QString& text);

}  // namespace ContactsXp

#pragma once
// An address book of our own with the shape of the platform's: one container (the personal
// address book, PAB) holding contacts (MAPI_MAILUSER) and distribution lists (MAPI_DISTLIST),
// each a set of typed properties under the platform's tags, kept in one SQLite file
// (platform/address_book/wab_schema.h).
//
// Objects own what they hold; there are no buffers to free. Every object keeps the book's file
// open for as long as it lives, so none can outlive what it works on. Calls that fail throw
// WabError; opening an identifier that names nothing is not a failure and gives no object.
//
// Changes made through SetProps and DeleteProps wait in the object and are written by its
// SaveChanges in one transaction: when that fails, nothing of them is written and they stay
// pending. Creating and deleting entries and list members is written at once.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/address_book/wab_types.h"

namespace wab {

struct BookFile;
struct StoredProps;

// The rows of a container or a list, in table order: every entry of the container by identifier,
// the members of a list in the order they joined (members whose entry no longer exists are left
// out). The rows are taken when first asked for.
class ContentsTable {
public:
    ContentsTable(std::shared_ptr<BookFile> book, std::optional<std::int64_t> list);
    // The columns each row gives, in this order.
    void SetColumns(const PropTagArray& columns, std::uint32_t flags = 0);
    std::uint32_t GetRowCount(std::uint32_t flags = 0);
    // Up to `count` further rows.
    std::vector<PropRow> QueryRows(std::uint32_t count, std::uint32_t flags = 0);

private:
    struct Row {
        std::int64_t id;
        std::int32_t objectType;
    };
    void TakeRows();

    std::shared_ptr<BookFile> book_;
    std::optional<std::int64_t> list_;  // none: the container
    PropTagArray columns_{PR_ENTRYID, PR_OBJECT_TYPE};
    std::optional<std::vector<Row>> rows_;
    std::size_t next_ = 0;
};

// An entry's properties: IMAPIProp.
class MapiProp {
public:
    virtual ~MapiProp();
    MapiProp(const MapiProp&) = delete;
    MapiProp& operator=(const MapiProp&) = delete;

    std::int32_t ObjectType() const { return objectType_; }
    // The identifier; empty for a new entry until it is saved.
    EntryId Id() const;

    // Values in the order of `tags`, unsaved changes included. A missing property, or one whose
    // stored value does not fit its type, comes back as PT_ERROR. Asked as PT_UNICODE, a property
    // stored as PT_STRING8 comes back as PT_STRING8 (8-bit text in the system code page, UTF-8).
    PropRow GetProps(const PropTagArray& tags, std::uint32_t flags = MAPI_UNICODE);
    // Replaces each property (of any type under the same identifier) with the value. A
    // multi-valued value with no values removes the property.
    void SetProps(const std::vector<PropValue>& values);
    void DeleteProps(const PropTagArray& tags);
    // Writes the pending changes (and a new entry itself) in one transaction.
    virtual void SaveChanges(std::uint32_t flags = FORCE_SAVE);

    // Made by the book only (BookFile is its own).
    MapiProp(std::shared_ptr<BookFile> book, std::int64_t row, std::int32_t objectType, bool modifiable);

protected:
    // A value the book computes for this object, or nothing for a stored property.
    virtual std::optional<PropValue> Computed(PropTag tag) const;
    void RequireModifiable() const;

    std::shared_ptr<BookFile> book_;
    std::int64_t row_;  // 0 until a new entry is saved
    std::int32_t objectType_;
    bool modifiable_;
    std::uint32_t createFlags_ = 0;
    // Pending changes by property identifier; nothing: delete the property.
    std::map<std::uint16_t, std::optional<PropValue>> pending_;
    // The stored properties as read at the opening (or first asked for), until a save.
    std::unique_ptr<StoredProps> stored_;

    friend class ABContainer;
    friend std::unique_ptr<MapiProp> OpenStoredEntry(const std::shared_ptr<BookFile>&, const EntryId&, std::uint32_t);
};

class MailUser : public MapiProp {
public:
    using MapiProp::MapiProp;
};

class DistList : public MapiProp {
public:
    using MapiProp::MapiProp;
    void SaveChanges(std::uint32_t flags = FORCE_SAVE) override;
    ContentsTable GetContentsTable(std::uint32_t flags = 0);
    // Adds the entry to the list's members (after those there), stored at once. The entry must
    // exist and not be the list itself.
    void CreateEntry(const EntryId& member, std::uint32_t flags = 0);
    // Takes every membership of each entry out of the list in one transaction. Returns how many
    // identifiers were no member (the others are removed all the same).
    std::uint32_t DeleteEntries(const EntryList& members, std::uint32_t flags = 0);
};

// The personal address book.
class ABContainer : public MapiProp {
public:
    ABContainer(std::shared_ptr<BookFile> book, bool modifiable);
    void SaveChanges(std::uint32_t flags = FORCE_SAVE) override;
    ContentsTable GetContentsTable(std::uint32_t flags = 0);
    // A contact or list by its identifier; nothing when it names none.
    std::unique_ptr<MapiProp> OpenEntry(const EntryId& id, std::uint32_t flags = 0);
    // A new entry, stored by its SaveChanges: a contact for an empty template, a list for the
    // template that PR_DEF_CREATE_DL gives. With CREATE_CHECK_DUP_STRICT, saving a list whose
    // display name another list has fails with Collision; CREATE_MERGE always makes a new entry.
    std::unique_ptr<MapiProp> CreateEntry(const EntryId& templateId, std::uint32_t flags);
    // Deletes each entry with its properties and, for a list, its members, in one transaction.
    // Returns how many identifiers named no entry (the others are deleted all the same).
    std::uint32_t DeleteEntries(const EntryList& entries, std::uint32_t flags = 0);

protected:
    std::optional<PropValue> Computed(PropTag tag) const override;
};

// The template identifier of a new distribution list, as the container's PR_DEF_CREATE_DL gives it.
EntryId DistListTemplateId();

// The book: IAddrBook.
class AddressBook {
public:
    // Opens the book file at `path`, creating it (mode 0600) when missing and giving a file without
    // tables the book's tables. A file that is not SQLite, or holds other tables, is not changed:
    // WabError(Failed) naming the file.
    static std::unique_ptr<AddressBook> OpenFile(const QString& path);
    ~AddressBook();

    const QString& Path() const;
    // The reads that follow see the book as it is now, until EndReads or the next change through
    // this book, without each taking the file's locks anew (a change check reads every contact).
    // Other programs go on writing meanwhile; their changes show after EndReads.
    void HoldReads();
    void EndReads();
    EntryId GetPAB() const;
    // The container for the PAB's identifier, a contact or a list for theirs; nothing when the
    // identifier names nothing (any length but 4 bytes included).
    std::unique_ptr<MapiProp> OpenEntry(const EntryId& id, std::uint32_t flags = 0);

private:
    explicit AddressBook(std::shared_ptr<BookFile> book);
    std::shared_ptr<BookFile> book_;
};

// The object as the type asked for; nothing when it is none or another type.
template <class T>
std::unique_ptr<T> As(std::unique_ptr<MapiProp> object)
{
    if (auto* typed = dynamic_cast<T*>(object.get())) {
        object.release();
        return std::unique_ptr<T>(typed);
    }
    return nullptr;
}

}  // namespace wab

#pragma once
#include <QString>
#include <functional>

#include "common/new_item_numbers.h"

#include "stores/opera/opera_hotlist_item_store.h"

// Opera Mail's contacts ("contacts.adr" in Opera's profile folder), loaded at the start of a
// synchronisation and written back at its end, presented with the field names of every contact
// source. Contacts in trash folders stay in the file but are invisible to the peer: Get and Edit
// refuse their identifiers as they refuse unknown ones, Delete finds nothing to remove. Pictures are
// files in Opera's profile folder named by the contact's identifier, referred to by a file URL.
class COperaContacts : public OperaHotlistItemStore {
public:
    COperaContacts();
    // Works on the file at `path`, pictures beside it (tests, benchmarks).
    explicit COperaContacts(const QString& path);

    // Where lines for the agent's log go (a picture that is not served, for one).
    void SetLogSink(std::function<void(const QString&)> sink) { log_ = std::move(sink); }

    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Get(const QString& id, ItemRecord& record) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The CREATED number of a new contact, which Opera shows as its creation time: `now` in Unix
    // seconds, or one past the largest taken, or one past the last `handed` out, whichever is
    // largest (common/new_item_numbers.h), and at least 1000000001, so ten digits; once ten
    // digits run out, the lowest free ten-digit number.
    static std::int64_t NewContactNumber(const std::vector<std::int64_t>& taken, std::int64_t now,
                                         const NewItemNumbers& handed = {});

private:
    void WritePicture(AdrDocument& doc, int block, const QString& id, const ItemRecord& record);
    void ReadPicture(const QString& url, ItemRecord& record);
    void Log(const QString& line) const;

    std::function<void(const QString&)> log_;
    NewItemNumbers numbers_;
};

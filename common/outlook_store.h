#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

#include "common/item_record.h"

// The item store behind every contact, appointment, task and note request. Stores report
// every failure by throwing; the requests catch everything and answer the peer with an error.
class COutlook {
public:
    virtual ~COutlook() = default;
    // Creates one item from the record's fields; `id` receives the new item's identifier.
    virtual void Add(ItemRecord& record, QString& id) = 0;
    // Overwrites the item that has this identifier with the record's fields.
    virtual void Edit(ItemRecord& record, const QString& id) = 0;
    virtual void Delete(const QString& id) = 0;
    virtual void DeleteAll() = 0;
    // Reads the item into the (empty) record.
    virtual void Get(const QString& id, ItemRecord& record) = 0;
    // Appends the identifier of every item, in the store's own order.
    virtual void GetIDs(QStringList& ids) = 0;
    // A checksum over a fixed selection of the item's fields that changes when the item does.
    virtual std::uint32_t IDtoCRC32(const QString& id) = 0;
};

#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

#include "common/item_record.h"
#include "common/store_lifecycle.h"

// The item store behind every contact, appointment, task and note request. Stores report
// every failure by throwing; the requests catch everything and answer the peer with an error.
class COutlook : public StoreLifecycle {
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

    // Whether an item with a date (an appointment, a task) lies within a window of whole weeks
    // around today; -1 for a bound means none. A store of items without dates admits every one.
    virtual bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) { return true; }
    // What the store adds to its source's category names, each name followed by "," or ";"
    // (a contacts store's groups, a calendar's titles).
    virtual QString CategoryNames() { return {}; }
};

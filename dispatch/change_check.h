#pragma once
// The comparison at the heart of the four item change checks: the identifiers a store holds now
// against the state list of the last synchronisation. It takes time in proportion to the number
// of items (the list is indexed by identifier once per check).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "dispatch/state_file.h"

// The reply of a change check: identifiers added, edited and deleted since the saved state.
struct ChangeReport {
    QStringList added;
    QStringList edited;
    QStringList deleted;

    // Three sections in the order added, edited, deleted, each a u16 count followed by the
    // identifiers' UTF-16 units without separators. Throws AgentError when a section holds more
    // identifiers than its 16-bit count can say, rather than sending a count that lies.
    QByteArray Encode() const;
};

// What a check asks of its store and tells its log; every member but `checksum` may be empty.
struct ChangeCheckSteps {
    // The store's current checksum of an item.
    std::function<std::uint32_t(const QString& id)> checksum;
    // Whether a new item is reported (and remembered) now; the date window of appointments and
    // tasks leaves items outside it for a later check.
    std::function<bool(const QString& id)> admitsNew;
    // Every list entry of a current identifier, before its checksum is compared.
    std::function<void(const QString& id, std::uint32_t saved, std::uint32_t current)> compared;
    // At the start of each section: "Edit", "Add", "Del".
    std::function<void(const char* section)> sectionStarts;
    std::function<void(const QString& id)> edited;
    std::function<void(const QString& id)> added;
    // Before a deleted entry is removed from the list.
    std::function<void(const QString& id)> deleted;
};

// Compares and brings the list in step with the store: entries of edited items take their new
// checksum, added items are appended, entries of deleted items are removed (the others keep their
// order). Afterwards the list holds every current (admitted) item with its current checksum.
// A store failure passes; what the list took before it stays.
ChangeReport RunChangeCheck(StateList& list, const QStringList& current, const ChangeCheckSteps& steps);

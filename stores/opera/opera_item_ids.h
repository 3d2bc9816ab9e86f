#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

#include "stores/opera/opera_hotlist.h"

// The 48-unit identifiers of the visible contacts or notes of a hotlist. An item's identifier
// is the value of its identifying key (CREATED for contacts, UNIQUEID for notes) padded with "0"
// to 48 units, or cut to 48. Opera gives many contacts one CREATED value, so when several visible
// items share that padded value each of them ends instead in its own "ID=" number, right-aligned
// in the padding: the numbers are unique in a file and kept as read, so such an identifier does
// not change when another item is deleted. A sharing item without an "ID=" number takes the
// first free running number.
//
// Identifiers are assigned when the hotlist is read and then kept for the session: an edit keeps
// its item's identifier, a new item gets its own.
class OperaItemIds {
public:
    // Assigns identifiers to the visible items, given in listing order.
    void Assign(const AdrDocument& doc, const std::vector<int>& visibleItems, const QString& identifyingKey);
    void Clear();

    // The item an identifier names, or -1.
    int BlockOf(const QString& id) const { return blockOf_.value(id, -1); }
    QString IdOf(int block) const
    {
        return static_cast<std::size_t>(block) < idOf_.size() ? idOf_[static_cast<std::size_t>(block)]
                                                              : QString();
    }
    bool Contains(const QString& id) const { return blockOf_.contains(id); }

    void Set(int block, const QString& id);
    void Forget(int block);

    // A value padded with "0" to 48 units, or cut to 48.
    static QString Padded(QStringView value);

private:
    QHash<QString, int> blockOf_;
    // Indexed by block: the change check reads every item's identifier in listing order, and a
    // table read in that order stays in the processor's cache where a hash would not.
    std::vector<QString> idOf_;
};

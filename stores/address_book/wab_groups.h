#pragma once
// The distribution lists of the address book as the contact groups the peer sees in a contact's
// "Categories": read whole at every opening, then kept in step with the changes the store makes,
// and indexed by contact so that a contact's groups are found without walking every list.
// Names and hex texts compare case-sensitively, whole texts.

#include <QHash>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "platform/address_book/address_book.h"

namespace ContactsXp {

// One distribution list.
struct WabGroupRecord {
    QString name;         // its display name; empty when it has none
    QString id;           // hex text of its entry identifier
    QStringList members;  // hex texts of its contact members in list order (lists inside it left out)

    friend bool operator==(const WabGroupRecord&, const WabGroupRecord&) = default;
};

// (group name, group hex id)
using WabGroupPair = std::pair<QString, QString>;

class WabGroupList {
public:
    // Every list of the container in the order of its contents table. Throws when a table or a
    // list cannot be read: a group read only in part would take contacts out of it at the peer.
    static WabGroupList Load(wab::ABContainer& pab);

    const std::vector<WabGroupRecord>& Records() const { return records_; }
    // Every name followed by ",", in list order.
    QString Names() const;
    // The pairs of every record whose name is `name`, in list order.
    std::vector<WabGroupPair> PairsNamed(const QString& name) const;
    bool HasName(const QString& name) const;
    // (name, id) of every record holding the contact, once per membership, in list order.
    std::vector<WabGroupPair> GroupsOfContact(const QString& contact) const;

    // Creates a list of that name in the book (refused when another list has it) and appends its
    // record; returns its hex id. Throws naming the group when it cannot be created.
    QString Create(wab::ABContainer& pab, const QString& name);
    // Adds the contact to the list of each pair, in order, and to that list's record. Every pair
    // is tried; throws at the end naming the groups it could not join.
    void AddTo(wab::ABContainer& pab, const QString& contact, const std::vector<WabGroupPair>& pairs);
    // Takes the contact out of the records named (all records when `names` is null) and their
    // lists, every membership of it. Every list is tried; throws at the end naming the groups it
    // could not leave, which keep it.
    void RemoveFrom(wab::ABContainer& pab, const QString& contact, const QStringList* names = nullptr);
    // Takes many contacts out of every list, one change per list; best effort (contacts just
    // deleted: the lists no longer show a deleted entry).
    void RemoveEverywhere(wab::ABContainer& pab, const QStringList& contacts);

private:
    void Index(std::size_t record, const QString& contact);
    void Unindex(std::size_t record, const QString& contact);

    std::vector<WabGroupRecord> records_;
    // contact hex text -> the records holding it, once per membership, ascending
    QHash<QString, std::vector<std::size_t>> byContact_;
};

}  // namespace ContactsXp
